#include "desktop_session.h"

#include "form1.h"

#ifdef KELVARO_HAVE_DBUS
#include "mpris.h"
#endif

#include <QEvent>
#include <QTimer>

namespace kelvaro {

namespace {

#ifdef KELVARO_HAVE_DBUS
void publish(Form1 &form)
{
    auto *service = new MprisService(form);
    if (!service->publish())
        delete service;
}
#endif

// Waits for the window's first paint, then runs the desktop work from the
// event loop (after the painted picture has been handed to the window
// system). A window that is never painted gets it after a while anyway.
class FirstPaintWatcher : public QObject {
public:
    explicit FirstPaintWatcher(Form1 &form) : QObject(&form), form_(form)
    {
        form.installEventFilter(this);
        QTimer::singleShot(kLatestMs, this, &FirstPaintWatcher::fire);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !fired_)
            QTimer::singleShot(0, this, &FirstPaintWatcher::fire);
        return QObject::eventFilter(watched, event);
    }

private:
    static constexpr int kLatestMs = 3000;

    void fire()
    {
        if (fired_)
            return;
        fired_ = true;
        form_.removeEventFilter(this);
#ifdef KELVARO_HAVE_DBUS
        publish(form_);
#endif
        deleteLater();
    }

    Form1 &form_;
    bool fired_ = false;
};

}  // namespace

void joinDesktopAfterFirstPaint(Form1 &form)
{
    new FirstPaintWatcher(form);
}

}  // namespace kelvaro
