// SPDX-License-Identifier: GPL-3.0-or-later
#include "web_helper_surface.h"

#include "component_folders.h"
#include "web_helper/helper_protocol.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <utility>

namespace kelvaro {

namespace {

// A helper that does not end within this time after being asked is killed.
constexpr int kEndGraceMs = 5000;

// True when window system time a is before b (32-bit milliseconds that
// wrap, on X11 as on Windows).
bool isEarlier(quint64 a, quint64 b)
{
    return qint32(quint32(a) - quint32(b)) < 0;
}

QString helperProgram()
{
    static const QString program = [] {
        QString name = QLatin1String(helper::kProgramName);
#ifdef Q_OS_WIN
        name += QLatin1String(".exe");
#endif
        for (const QString &folder : webComponentFolders()) {
            const QFileInfo info(QDir(folder).filePath(name));
            if (info.isFile() && info.isExecutable())
                return info.absoluteFilePath();
        }
        return QString();
    }();
    return program;
}

} // namespace

bool HelperSurface::available()
{
    if (!qEnvironmentVariableIsEmpty("KELVARO_WEB_IN_PROCESS"))
        return false;
    // Windows of other programs can be made children of ours on X11 and on
    // Windows; Wayland has no such thing.
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && platform != QLatin1String("windows"))
        return false;
    return !helperProgram().isEmpty();
}

HelperSurface *HelperSurface::create(QWidget *parent, std::function<void(bool)> onLoadFinished)
{
    if (!available())
        return nullptr;
    return new HelperSurface(parent, std::move(onLoadFinished));
}

HelperSurface::HelperSurface(QWidget *parent, std::function<void(bool)> onLoadFinished)
    : QWidget(parent), m_onLoadFinished(std::move(onLoadFinished))
{
    // A window of its own for the helper's page window to live in. Its
    // siblings elsewhere in the window stay plain widgets.
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    setAttribute(Qt::WA_NativeWindow);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    if (parent)
        setGeometry(parent->rect());
    // Presses in the window, for the order of clicks here and in the page.
    qApp->installEventFilter(this);
}

HelperSurface::~HelperSurface()
{
    // The program is ending: ask every helper to end, give it a moment, and
    // kill what is left (QProcess's destructor).
    if (m_process)
        m_ending << m_process;
    m_process = nullptr;
    const QList<QPointer<QProcess>> ending = std::exchange(m_ending, {});
    for (const QPointer<QProcess> &p : ending) {
        if (!p)
            continue;
        p->disconnect(this);
        if (p->state() != QProcess::NotRunning) {
            p->closeWriteChannel();
            p->waitForFinished(1000);
        }
        delete p.data();
    }
}

bool HelperSurface::start()
{
    const QString program = helperProgram();
    if (program.isEmpty())
        return false;
    auto *process = new QProcess(this);
    process->setProgram(program);
    const QSize size = this->size().expandedTo(QSize(1, 1));
    process->setArguments({QStringLiteral("--parent"), QString::number(quintptr(winId())),
                           QStringLiteral("--size"),
                           QStringLiteral("%1x%2").arg(size.width()).arg(size.height())});
    // The engine talks a lot on its error output; the program prints nothing.
    if (qEnvironmentVariableIsEmpty("KELVARO_DEBUG"))
        process->setStandardErrorFile(QProcess::nullDevice());
    else
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(process, &QProcess::readyReadStandardOutput, this,
            [this, process] { readMessages(process); });
    connect(process, &QProcess::finished, this, [this, process] { ended(process); });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            ended(process);
    });
    m_process = process;
    process->start();
    if (!m_pageName.isEmpty())
        sendPageName();
    return true;
}

void HelperSurface::send(const QByteArray &line)
{
    if (m_process)
        m_process->write(line + '\n');
}

void HelperSurface::load(const QUrl &url)
{
    if (!m_process && !start())
        return;
    send(QByteArray(helper::kLoad) + ' ' + url.toEncoded());
}

void HelperSurface::setPageName(const QString &name)
{
    m_pageName = name;
    sendPageName();
}

void HelperSurface::sendPageName()
{
    send(QByteArray(helper::kName) + ' ' + QUrl::toPercentEncoding(m_pageName));
}

void HelperSurface::setDiscarded(bool discarded)
{
    if (!discarded) {
        if (!m_process)
            start();
        return;
    }
    if (!m_process)
        return;
    QProcess *process = m_process;
    m_process = nullptr;
    m_audible = false;
    m_rendererPid = 0;
    // End of input tells the helper to end; it is killed if it does not.
    process->write(QByteArray(helper::kQuit) + '\n');
    process->closeWriteChannel();
    m_ending << process;
    QTimer::singleShot(kEndGraceMs, process, [process] {
        if (process->state() != QProcess::NotRunning) {
            qWarning("kelvaro: the web page helper did not end when asked; killed");
            process->kill();
        }
    });
}

bool HelperSurface::isDiscarded() const
{
    return m_process == nullptr;
}

qint64 HelperSurface::helperPid() const
{
    return m_process ? m_process->processId() : 0;
}

void HelperSurface::readMessages(QProcess *process)
{
    while (process->canReadLine()) {
        const QByteArray line = process->readLine().trimmed();
        if (process != m_process)
            continue;   // a helper on its way out has nothing more to say
        const qsizetype space = line.indexOf(' ');
        const QByteArray word = space < 0 ? line : line.left(space);
        const QByteArray arg = space < 0 ? QByteArray() : line.mid(space + 1);
        if (word == helper::kLoaded) {
            if (m_onLoadFinished)
                m_onLoadFinished(arg == "1");
        } else if (word == helper::kAudible) {
            m_audible = arg == "1";
        } else if (word == helper::kRenderer) {
            m_rendererPid = arg.toLongLong();
        } else if (word == helper::kFocused) {
            const quint64 clickedAt = arg.toULongLong();
            if (clickedAt != 0 && m_lastPressInWindow != 0
                && isEarlier(clickedAt, m_lastPressInWindow)) {
                // The user clicked into the window after clicking into the
                // page, and this message comes late: the window keeps the
                // keyboard. The later click's time also makes the window
                // system prefer this request to the helper's, whichever it
                // handled first.
                if (window()->windowHandle())
                    window()->windowHandle()->requestActivate();
            } else if (!hasFocus()) {
                // The user clicked into the page: the view holds the keyboard
                // now, so that a click elsewhere in the window takes it back.
                m_focusFromHelper = true;
                setFocus(Qt::MouseFocusReason);
                m_focusFromHelper = false;
            }
        }
    }
}

void HelperSurface::ended(QProcess *process)
{
    if (process == m_process) {
        // Ended on its own (it crashed, or could not start): the page is gone
        // as if released, and the next page starts a new helper.
        m_process = nullptr;
        m_audible = false;
        m_rendererPid = 0;
    }
    m_ending.removeAll(process);
    process->deleteLater();
}

bool HelperSurface::eventFilter(QObject *watched, QEvent *event)
{
    // Each press reaches the window once, then its widgets: count it once.
    if ((event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress)
        && watched->isWindowType() && watched == window()->windowHandle()) {
        const quint64 time = static_cast<QInputEvent *>(event)->timestamp();
        if (event->type() == QEvent::MouseButtonPress) {
            m_lastPressInWindow = time;
        } else {
            // Known only while this key is handled: focus given "by Tab" from
            // code later on has no key behind it.
            m_keyTime = time;
            QMetaObject::invokeMethod(this, [this] { m_keyTime = 0; }, Qt::QueuedConnection);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void HelperSurface::focusInEvent(QFocusEvent *event)
{
    // Keyboard focus reaches the page only when its own window has the
    // window system's input focus: the helper takes it. Moved here by Tab,
    // the request carries the key's time, so that a click elsewhere made
    // after it wins however late the helper gets to it.
    if (!m_focusFromHelper && event->reason() != Qt::ActiveWindowFocusReason) {
        const bool byKey =
            event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
        send(QByteArray(helper::kFocus) + ' ' + QByteArray::number(byKey ? m_keyTime : 0));
    }
    QWidget::focusInEvent(event);
}

void HelperSurface::focusOutEvent(QFocusEvent *event)
{
    // Focus moved on inside our window (a click on the tree, Tab): take the
    // window system's input focus back from the page's window.
    if (event->reason() != Qt::ActiveWindowFocusReason && window()->windowHandle())
        window()->windowHandle()->requestActivate();
    QWidget::focusOutEvent(event);
}

} // namespace kelvaro
