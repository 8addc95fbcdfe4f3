// SPDX-License-Identifier: GPL-3.0-or-later
// The window system: which one Qt uses, and asking a Wayland compositor for
// an activation token (Qt 6.4 asks for one itself only while a window of the
// program has the keyboard, which a window someone wants back never has).
#include "window_system.h"

#include <QGuiApplication>

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
#include <dlfcn.h>
// Types only: the Wayland client library is loaded at run time, when a token
// is needed. By then Qt's Wayland platform has loaded it; linking it would
// make every start, on X11 too, load it before the first frame.
#include <wayland-client-core.h>

#include <cstring>
#include <type_traits>
#endif

namespace kelvaro {

namespace {

constexpr char kToken[] = "XDG_ACTIVATION_TOKEN";

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)

// The part of the xdg-activation-v1 protocol (wayland-protocols, staging)
// the program uses, as the protocol's description defines it: requests and
// events in their order there, which gives their numbers. A message's
// types name the interface of each object argument it has, one entry per
// argument (two at most here).
const wl_interface *noTypes[2] = {nullptr, nullptr};
const wl_message kTokenRequests[] = {{"set_serial", "uo", noTypes}, {"set_app_id", "s", noTypes},
                                     {"set_surface", "o", noTypes}, {"commit", "", noTypes},
                                     {"destroy", "", noTypes}};
const wl_message kTokenEvents[] = {{"done", "s", noTypes}};
const wl_interface kTokenInterface = {"xdg_activation_token_v1", 1, 5, kTokenRequests, 1, kTokenEvents};
const wl_interface *tokenTypes[2] = {&kTokenInterface, nullptr};
const wl_message kActivationRequests[] = {
    {"destroy", "", noTypes}, {"get_activation_token", "n", tokenTypes}, {"activate", "so", noTypes}};
const wl_interface kActivationInterface = {"xdg_activation_v1", 1, 3, kActivationRequests, 0, nullptr};
enum : uint32_t { GetRegistry = 1, Bind = 0, GetActivationToken = 1, SetAppId = 1, Commit = 3, DestroyToken = 4,
                  DestroyActivation = 0 };

// The client library's functions the request needs.
struct WaylandClient {
    decltype(&wl_display_connect) connect = nullptr;
    decltype(&wl_display_disconnect) disconnect = nullptr;
    decltype(&wl_display_roundtrip) roundtrip = nullptr;
    decltype(&wl_proxy_marshal_flags) marshal = nullptr;
    decltype(&wl_proxy_add_listener) addListener = nullptr;
    decltype(&wl_proxy_get_version) version = nullptr;
    decltype(&wl_proxy_destroy) destroy = nullptr;
    const wl_interface *registryInterface = nullptr;

    static const WaylandClient *load()
    {
        static const WaylandClient client = [] {
            WaylandClient c;
            void *library = dlopen("libwayland-client.so.0", RTLD_NOW | RTLD_LOCAL);
            if (library == nullptr)
                return c;
            const auto symbol = [library](auto &to, const char *name) {
                to = reinterpret_cast<std::remove_reference_t<decltype(to)>>(dlsym(library, name));
                return to != nullptr;
            };
            if (!(symbol(c.disconnect, "wl_display_disconnect") && symbol(c.roundtrip, "wl_display_roundtrip")
                  && symbol(c.marshal, "wl_proxy_marshal_flags") && symbol(c.addListener, "wl_proxy_add_listener")
                  && symbol(c.version, "wl_proxy_get_version") && symbol(c.destroy, "wl_proxy_destroy")
                  && symbol(c.registryInterface, "wl_registry_interface")
                  && symbol(c.connect, "wl_display_connect")))
                c.connect = nullptr;
            return c;
        }();
        return client.connect != nullptr ? &client : nullptr;
    }
};

struct TokenRequest {
    const WaylandClient *client = nullptr;
    wl_proxy *activation = nullptr;
    QByteArray token;
    bool done = false;
};

struct RegistryListener {
    void (*global)(void *, wl_proxy *, uint32_t, const char *, uint32_t);
    void (*globalRemove)(void *, wl_proxy *, uint32_t);
};
struct TokenListener {
    void (*done)(void *, wl_proxy *, const char *);
};

const RegistryListener kRegistryListener = {
    [](void *data, wl_proxy *registry, uint32_t name, const char *interface, uint32_t) {
        auto *request = static_cast<TokenRequest *>(data);
        if (std::strcmp(interface, kActivationInterface.name) == 0 && request->activation == nullptr)
            request->activation = request->client->marshal(registry, Bind, &kActivationInterface, 1, 0, name,
                                                           kActivationInterface.name, 1u, nullptr);
    },
    [](void *, wl_proxy *, uint32_t) {},
};
const TokenListener kTokenListener = {
    [](void *data, wl_proxy *, const char *token) {
        auto *request = static_cast<TokenRequest *>(data);
        request->token = token;
        request->done = true;
    },
};

template <typename Listener>
void listen(const WaylandClient &client, wl_proxy *proxy, const Listener &listener, TokenRequest *request)
{
    client.addListener(proxy, reinterpret_cast<void (**)(void)>(const_cast<Listener *>(&listener)), request);
}

// A token from a connection of its own to the compositor (Qt's own
// connection is not reachable through Qt 6.4's public interface). It names
// no input event, so the compositor may grant only attention. Empty when the
// compositor has no xdg-activation.
QByteArray ownToken()
{
    const WaylandClient *client = WaylandClient::load();
    if (client == nullptr)
        return {};
    wl_display *display = client->connect(nullptr);
    if (display == nullptr)
        return {};
    auto *displayProxy = reinterpret_cast<wl_proxy *>(display);
    TokenRequest request;
    request.client = client;
    wl_proxy *registry = client->marshal(displayProxy, GetRegistry, client->registryInterface,
                                         client->version(displayProxy), 0, nullptr);
    listen(*client, registry, kRegistryListener, &request);
    client->roundtrip(display);
    if (request.activation != nullptr) {
        wl_proxy *token = client->marshal(request.activation, GetActivationToken, &kTokenInterface, 1, 0, nullptr);
        listen(*client, token, kTokenListener, &request);
        const QByteArray appId = QGuiApplication::desktopFileName().toUtf8();
        if (!appId.isEmpty())
            client->marshal(token, SetAppId, nullptr, 1, 0, appId.constData());
        client->marshal(token, Commit, nullptr, 1, 0);
        // Compositors answer the commit at once; one that does not within a
        // few round trips is taken as giving none.
        for (int i = 0; i < 4 && !request.done; ++i) {
            if (client->roundtrip(display) < 0)
                break;
        }
        client->marshal(token, DestroyToken, nullptr, 1, WL_MARSHAL_FLAG_DESTROY);
        client->marshal(request.activation, DestroyActivation, nullptr, 1, WL_MARSHAL_FLAG_DESTROY);
    }
    client->destroy(registry);
    client->disconnect(display);
    return request.token;
}

#endif

}  // namespace

void chooseWindowSystem()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return;
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "wayland" : "xcb");
#endif
}

QByteArray takeLaunchActivationToken()
{
    const QByteArray token = qgetenv(kToken);
    qunsetenv(kToken);
    return token;
}

bool nativeWayland()
{
    return QGuiApplication::platformName() == QLatin1String("wayland");
}

void prepareActivation(const QByteArray &token)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (!nativeWayland())
        return;
    const QByteArray use = !token.isEmpty() ? token : qEnvironmentVariableIsEmpty(kToken) ? ownToken() : QByteArray();
    if (!use.isEmpty())
        qputenv(kToken, use);
#else
    Q_UNUSED(token);
#endif
}

}  // namespace kelvaro
