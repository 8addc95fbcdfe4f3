// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mpv/client.h>

namespace kelvaro {

// The libmpv functions the player uses, looked up when the first engine is
// made instead of linked into the program. libmpv brings the whole of FFmpeg
// and its codecs with it (some 190 shared libraries here); loading them only
// when a station is first played keeps the program's start-up and its memory
// in the tray as small as a plain Qt window's.
struct MpvApi {
    decltype(&::mpv_create) create;
    decltype(&::mpv_initialize) initialize;
    decltype(&::mpv_terminate_destroy) terminate_destroy;
    decltype(&::mpv_set_option_string) set_option_string;
    decltype(&::mpv_set_wakeup_callback) set_wakeup_callback;
    decltype(&::mpv_wait_event) wait_event;
    decltype(&::mpv_request_log_messages) request_log_messages;
    decltype(&::mpv_observe_property) observe_property;
    decltype(&::mpv_hook_add) hook_add;
    decltype(&::mpv_hook_continue) hook_continue;
    decltype(&::mpv_command_async) command_async;
    decltype(&::mpv_get_property_async) get_property_async;
    decltype(&::mpv_get_property) get_property;
    decltype(&::mpv_get_property_string) get_property_string;
    decltype(&::mpv_set_property_async) set_property_async;
    decltype(&::mpv_set_property_string) set_property_string;
    decltype(&::mpv_free) free;

    // The loaded library's functions; null when libmpv cannot be loaded or
    // lacks one of them (the player then reports that it cannot play).
    static const MpvApi *get();
};

}  // namespace kelvaro
