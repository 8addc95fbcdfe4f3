// SPDX-License-Identifier: GPL-3.0-or-later
// The stand-in station directory (tests/support/directory_server.py) run by a
// test: started on a free port of 127.0.0.1, ended with the test.
#pragma once

#include "player_test_support.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QStringList>

namespace kelvaro::testing {

class DirectoryStandIn {
public:
    bool start(const QStringList &args)
    {
        if (!m_process.start(QStringLiteral("python3"),
                             QStringList{QStringLiteral(KELVARO_SOURCE_DIR "/tests/support/directory_server.py")} + args))
            return false;
        const QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            m_process.process()->waitForReadyRead(200);
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("PORT (\\d+)")).match(QString::fromLatin1(m_process.output()));
            if (m.hasMatch()) {
                m_url = QStringLiteral("http://127.0.0.1:") + m.captured(1);
                return true;
            }
        }
        return false;
    }
    QString url() const { return m_url; }
    // Output lines starting with `prefix`, the prefix cut off.
    QStringList lines(const QString &prefix)
    {
        // What the server has written by now, read even if the event loop
        // has not come to it yet.
        while (m_process.process()->waitForReadyRead(0)) {
        }
        QStringList out;
        for (const QString &line : QString::fromUtf8(m_process.output()).split(QLatin1Char('\n'))) {
            if (line.startsWith(prefix))
                out << line.mid(prefix.size());
        }
        return out;
    }
    // The requests for `path`, as logged.
    QStringList requests(const QString &path)
    {
        return lines(QStringLiteral("REQUEST ")).filter(QLatin1Char(' ') + path + QLatin1Char(' '));
    }
    ChildProcess &process() { return m_process; }

private:
    ChildProcess m_process;
    QString m_url;
};

}  // namespace kelvaro::testing
