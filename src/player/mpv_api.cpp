// SPDX-License-Identifier: GPL-3.0-or-later
#include "mpv_api.h"

#include <QLibrary>

#include <memory>

namespace kelvaro {

namespace {

// Names the library goes by: Debian's libmpv.so.2, and the DLL names of the
// Windows builds.
std::unique_ptr<QLibrary> openLibmpv()
{
    auto lib = std::make_unique<QLibrary>(QStringLiteral("mpv"), 2);
    if (lib->load())
        return lib;
    for (const char *name : {"mpv-2", "libmpv-2", "mpv"}) {
        lib->setFileName(QLatin1String(name));
        if (lib->load())
            return lib;
    }
    return nullptr;
}

template <typename F>
bool resolve(QLibrary &lib, F &slot, const char *name)
{
    slot = reinterpret_cast<F>(lib.resolve(name));
    return slot != nullptr;
}

const MpvApi *load()
{
    // The library stays loaded for the program's life (QLibrary's destructor
    // does not unload it); the object itself is freed at exit.
    static std::unique_ptr<QLibrary> lib = openLibmpv();
    if (lib == nullptr)
        return nullptr;
    static MpvApi api;
    const bool ok = resolve(*lib, api.create, "mpv_create")
        && resolve(*lib, api.initialize, "mpv_initialize")
        && resolve(*lib, api.terminate_destroy, "mpv_terminate_destroy")
        && resolve(*lib, api.set_option_string, "mpv_set_option_string")
        && resolve(*lib, api.set_wakeup_callback, "mpv_set_wakeup_callback")
        && resolve(*lib, api.wait_event, "mpv_wait_event")
        && resolve(*lib, api.request_log_messages, "mpv_request_log_messages")
        && resolve(*lib, api.observe_property, "mpv_observe_property")
        && resolve(*lib, api.hook_add, "mpv_hook_add")
        && resolve(*lib, api.hook_continue, "mpv_hook_continue")
        && resolve(*lib, api.command_async, "mpv_command_async")
        && resolve(*lib, api.get_property_async, "mpv_get_property_async")
        && resolve(*lib, api.get_property, "mpv_get_property")
        && resolve(*lib, api.get_property_string, "mpv_get_property_string")
        && resolve(*lib, api.set_property_async, "mpv_set_property_async")
        && resolve(*lib, api.set_property_string, "mpv_set_property_string")
        && resolve(*lib, api.free, "mpv_free");
    return ok ? &api : nullptr;
}

}  // namespace

const MpvApi *MpvApi::get()
{
    static const MpvApi *api = load();
    return api;
}

}  // namespace kelvaro
