// SPDX-License-Identifier: GPL-3.0-or-later
#include "sleep_resume.h"

#include "listening.h"

#include <QDBusConnection>

namespace kelvaro {

SleepResume::SleepResume(Listening &listening, QObject *parent) : QObject(parent), listening_(listening) {}

bool SleepResume::start()
{
    // Only a system bus that is there; the library would not start one.
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return false;
    // From any sender on logind's object: naming logind's service would
    // make the library ask the bus for its owner and wait for the answer.
    // A stray signal would only open the station afresh.
    return bus.connect(QString(), QStringLiteral("/org/freedesktop/login1"),
                       QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                       SLOT(onPrepareForSleep(bool)));
}

void SleepResume::onPrepareForSleep(bool goingToSleep)
{
    if (!goingToSleep)
        listening_.resumedFromSleep();
}

}  // namespace kelvaro
