#include "form1.h"
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

    kelvaro::Form1 form;
    form.show();
    return app.exec();
}
