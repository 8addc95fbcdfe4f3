// SPDX-License-Identifier: GPL-3.0-or-later
// A window holding only the media player, for measurements: plays argv[1]
// and prints "URLSET <steady-clock ns>" the moment the address is set (same
// clock as Python's time.monotonic_ns on Linux and Windows). Quits after
// argv[2] seconds (default: never), then prints "DESTROY_MS <ms>", the time
// the player's destructor took. With KELVARO_PROBE_WARM set, the engine is
// warmed up first and the address set 1.5 s later, as when a user picks a
// station after reading the tree.

#include "media_player.h"

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: player_probe URL [SECONDS]\n");
        return 2;
    }
    auto *playerPtr = new kelvaro::MediaPlayer;
    kelvaro::MediaPlayer &player = *playerPtr;
    player.resize(256, 77);
    player.show();
    player.settings().setVolume(100);
    const QString url = QString::fromLocal8Bit(argv[1]);
    const bool warm = qEnvironmentVariableIsSet("KELVARO_PROBE_WARM");
    if (warm)
        player.session()->warmUp();
    QTimer::singleShot(warm ? 1500 : 0, &player, [&] {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        std::printf("URLSET %lld\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
        std::fflush(stdout);
        player.setURL(url);
    });
    QObject::connect(&player, &kelvaro::MediaPlayer::statusChanged, [](const QString &text) {
        std::printf("STATUS %s\n", text.toUtf8().constData());
        std::fflush(stdout);
    });
    QObject::connect(&player, &kelvaro::MediaPlayer::titleChanged, [](const QString &title) {
        std::printf("TITLE %s\n", title.toUtf8().constData());
        std::fflush(stdout);
    });
    if (argc > 2)
        QTimer::singleShot(int(QString::fromLocal8Bit(argv[2]).toDouble() * 1000), &app, &QApplication::quit);
    const int code = app.exec();
    const auto before = std::chrono::steady_clock::now();
    delete playerPtr;
    const auto took = std::chrono::steady_clock::now() - before;
    std::printf("DESTROY_MS %.3f\n", std::chrono::duration<double, std::milli>(took).count());
    std::fflush(stdout);
    return code;
}
