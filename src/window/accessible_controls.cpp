// SPDX-License-Identifier: GPL-3.0-or-later
#include "accessible_controls.h"

#include "form1.h"
#include "media_player.h"
#include "plain_controls.h"

#include <QAccessibleWidget>
#include <QMetaObject>

namespace kelvaro {

namespace {

// The home-page label: a link named by its text, whose press action is the
// same as a click on it.
class AccessibleLink : public QAccessibleWidget {
public:
    explicit AccessibleLink(Label *label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<Label *>(widget())->text();
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override
    {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &actionName) override
    {
        if (actionName != pressAction()) {
            QAccessibleWidget::doAction(actionName);
            return;
        }
        // After the accessibility call has returned: opening the browser is
        // the label's own business.
        QMetaObject::invokeMethod(static_cast<Label *>(widget()), &Label::clicked, Qt::QueuedConnection);
    }
};

QAccessibleInterface *accessibleControl(const QString &className, QObject *object)
{
    // The program's windows are plain widgets, which Qt would offer as a
    // nameless area; a screen reader announces them as windows.
    if (className == QLatin1String("kelvaro::Form1") || className == QLatin1String("kelvaro::FindWindow")
        || className == QLatin1String("kelvaro::HistoryWindow"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    if (className == QLatin1String("kelvaro::Line"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Separator);
    if (className == QLatin1String("kelvaro::MediaPlayer"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Grouping);
    if (className == QLatin1String("kelvaro::Label")) {
        auto *label = static_cast<Label *>(object);
        if (label->isLink())
            return new AccessibleLink(label);
    }
    // Anything else: Qt's own interface for the class or one it inherits.
    return nullptr;
}

}  // namespace

void installAccessibleControls()
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleControl);
        return true;
    }();
    Q_UNUSED(installed);
}

}  // namespace kelvaro
