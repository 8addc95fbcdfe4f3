// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

namespace kelvaro {

class Listening;

// Keeps the computer from suspending for idleness while any session plays
// (Listening::keepsAwake()), and lets it go again at once when that ends,
// and when the program ends. Asks, in this order, whichever the desktop offers: the
// desktop portal (Inhibit with the suspend flag), logind on the system bus
// (an inhibitor lock: what "sleep", mode "block", held as a file descriptor)
// or the session manager (Inhibit with the suspend flag). Each of these goes
// with the process when it dies: the descriptor is closed, the bus name
// vanishes. The screen saver is never held off. Every call is asynchronous.
class SleepInhibitor : public QObject {
    Q_OBJECT
public:
    explicit SleepInhibitor(Listening &listening, QObject *parent = nullptr);
    ~SleepInhibitor() override;

    // Starts following what plays. False (and nothing is done) without a
    // session bus.
    bool start();

private:
    enum class Way { Portal, Logind, SessionManager, None };

    void follow(bool keepAwake);
    // Takes or releases the inhibitor as wanted_ says, unless a call is on
    // its way (its answer comes back here).
    void settle();
    void ask(Way way);
    void release();

    Listening &listening_;
    bool wanted_ = false;
    bool asking_ = false;
    bool held_ = false;
    Way way_ = Way::Portal;   // the first way still worth trying
    Way heldBy_ = Way::None;
    QString portalRequest_;          // the portal's handle of the held inhibitor
    QDBusUnixFileDescriptor lock_;   // logind's lock
    uint cookie_ = 0;                // the session manager's
};

}  // namespace kelvaro
