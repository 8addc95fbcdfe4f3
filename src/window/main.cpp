#include "form1.h"
#include "startup_trace.h"
#include "web_view.h"

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QTimer>

#include <functional>
#include <utility>

namespace {

// In normal use the program prints nothing; Qt's own diagnostics are shown
// only when KELVARO_DEBUG is set in the environment.
void quietMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

// Runs start-up work that the first frame does not need once the window has
// painted it (queued, so the paint reaches the screen first).
class AfterFirstPaint : public QObject {
public:
    explicit AfterFirstPaint(std::function<void()> work) : work_(std::move(work)) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && work_) {
            watched->removeEventFilter(this);
            kelvaro::startupMark("first paint");
            QTimer::singleShot(0, this, std::exchange(work_, nullptr));
        }
        return false;
    }

private:
    std::function<void()> work_;
};

}  // namespace

int main(int argc, char *argv[])
{
    kelvaro::startupMark("main");
    if (qEnvironmentVariableIsEmpty("KELVARO_DEBUG"))
        qInstallMessageHandler(quietMessages);
    kelvaro::prepareWebViewBeforeApplication();

    QApplication app(argc, argv);
    kelvaro::startupMark("application");
    QApplication::setApplicationName(QStringLiteral("Kelvaro"));
    QApplication::setApplicationVersion(QStringLiteral(KELVARO_VERSION_TEXT));
    QApplication::setDesktopFileName(QStringLiteral("org.example.Kelvaro"));

    kelvaro::Form1 form;
    kelvaro::startupMark("window made and loaded");
    // The program-wide icon (for any window without its own) costs a PNG
    // decode and a round of window updates; the window has its own icon
    // already, so this waits until the first frame is on the screen.
    AfterFirstPaint afterFirstPaint([] {
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kelvaro-32.png")));
        kelvaro::startupMark("application icon");
    });
    form.installEventFilter(&afterFirstPaint);
    form.show();
    kelvaro::startupMark("shown");
    return app.exec();
}
