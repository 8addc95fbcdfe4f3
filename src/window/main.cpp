#include "desktop_session.h"
#include "form1.h"
#include "single_instance.h"
#include "web_view.h"

#include <QApplication>
#include <QIcon>

namespace {

// In normal use the program prints nothing; Qt's own diagnostics are shown
// only when KELVARO_DEBUG is set in the environment.
void quietMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

}  // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("KELVARO_DEBUG"))
        qInstallMessageHandler(quietMessages);
    kelvaro::prepareWebViewBeforeApplication();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvaro"));
    QApplication::setApplicationVersion(QStringLiteral(KELVARO_VERSION_TEXT));
    QApplication::setDesktopFileName(QStringLiteral("org.example.Kelvaro"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kelvaro-32.png")));

    // A second start hands over to the running instance and ends.
    kelvaro::SingleInstance instance;
    if (instance.handOverToRunningInstance())
        return 0;

    kelvaro::Form1 form;
    QObject::connect(&instance, &kelvaro::SingleInstance::showRequested, &form, &kelvaro::Form1::restore);
    form.show();
    kelvaro::joinDesktopAfterFirstPaint(form);
    return app.exec();
}
