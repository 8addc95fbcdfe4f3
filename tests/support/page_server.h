// SPDX-License-Identifier: GPL-3.0-or-later
// Web pages for a test: a folder (the shared test pages unless told another)
// served by tests/web/pages/serve.py on a free port of 127.0.0.1. The server
// ends with the test: stopped by its process id, or when its input closes.
#pragma once

#include "player_test_support.h"

#include <QDeadlineTimer>
#include <QString>

namespace kelvaro::testing {

class PageServer {
public:
    bool start(const QString &folder = QStringLiteral(KELVARO_SOURCE_DIR "/tests/web/pages"))
    {
        if (!m_process.start(QStringLiteral("python3"),
                             {QStringLiteral(KELVARO_SOURCE_DIR "/tests/web/pages/serve.py"), folder}))
            return false;
        // The server's first line is its port.
        const QDeadlineTimer deadline(30000);
        while (m_port == 0 && !deadline.hasExpired()) {
            m_process.process()->waitForReadyRead(200);
            const QByteArray out = m_process.output();
            if (out.endsWith('\n'))
                m_port = out.trimmed().toUShort();
        }
        return m_port != 0;
    }
    void stop() { m_process.stop(); }
    quint16 port() const { return m_port; }
    // The address of `path` (no leading slash) on the server.
    QString url(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_port).arg(path);
    }

private:
    ChildProcess m_process;
    quint16 m_port = 0;
};

}  // namespace kelvaro::testing
