// SPDX-License-Identifier: GPL-3.0-or-later
// The window system: which one Qt uses, and asking a Wayland compositor for
// an activation token (Qt 6.4 asks for one itself only while a window of the
// program has the keyboard, which a window someone wants back never has).
#include "window_system.h"

#include <QGuiApplication>

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
#include <wayland-client.h>

#include "xdg-activation-v1-client-protocol.h"

#include <cstring>
#endif

namespace kelvaro {

namespace {

constexpr char kToken[] = "XDG_ACTIVATION_TOKEN";

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)

struct TokenRequest {
    xdg_activation_v1 *activation = nullptr;
    QByteArray token;
    bool done = false;
};

void announced(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    auto *request = static_cast<TokenRequest *>(data);
    if (std::strcmp(interface, xdg_activation_v1_interface.name) == 0 && request->activation == nullptr)
        request->activation =
            static_cast<xdg_activation_v1 *>(wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
}

void withdrawn(void *, wl_registry *, uint32_t) {}

void tokenDone(void *data, xdg_activation_token_v1 *, const char *token)
{
    auto *request = static_cast<TokenRequest *>(data);
    request->token = token;
    request->done = true;
}

const wl_registry_listener kRegistryListener = {announced, withdrawn};
const xdg_activation_token_v1_listener kTokenListener = {tokenDone};

// A token from a connection of its own to the compositor (Qt's own
// connection is not reachable through Qt 6.4's public interface). It names
// no input event, so the compositor may grant only attention. Empty when the
// compositor has no xdg-activation.
QByteArray ownToken()
{
    wl_display *display = wl_display_connect(nullptr);
    if (display == nullptr)
        return {};
    TokenRequest request;
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &request);
    wl_display_roundtrip(display);
    if (request.activation != nullptr) {
        xdg_activation_token_v1 *token = xdg_activation_v1_get_activation_token(request.activation);
        xdg_activation_token_v1_add_listener(token, &kTokenListener, &request);
        const QByteArray appId = QGuiApplication::desktopFileName().toUtf8();
        if (!appId.isEmpty())
            xdg_activation_token_v1_set_app_id(token, appId.constData());
        xdg_activation_token_v1_commit(token);
        // Compositors answer the commit at once; one that does not within a
        // few round trips is taken as giving none.
        for (int i = 0; i < 4 && !request.done; ++i) {
            if (wl_display_roundtrip(display) < 0)
                break;
        }
        xdg_activation_token_v1_destroy(token);
        xdg_activation_v1_destroy(request.activation);
    }
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
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
