// SPDX-License-Identifier: GPL-3.0-or-later
#include "page_accessibility.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

namespace kelvaro {

namespace {

QPointer<QWidget> g_page;

// The application as assistive technology sees it: its one child is the
// page window, named as the program names it (the station's name); below
// it the engine's view and the page's own content.
class HelperApplication : public QAccessibleApplication
{
public:
    int childCount() const override { return g_page ? 1 : 0; }

    QAccessibleInterface *child(int index) const override
    {
        return index == 0 && g_page ? QAccessible::queryAccessibleInterface(g_page) : nullptr;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && g_page && child->object() == g_page ? 0 : -1;
    }

    // The same name as the program's own window, which shows the page.
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return QStringLiteral("Kelvaro");
        return QAccessibleApplication::text(t);
    }
};

QAccessibleInterface *helperInterfaces(const QString &, QObject *object)
{
    if (object && object == QCoreApplication::instance())
        return new HelperApplication;
    return nullptr;
}

} // namespace

void exposePageWindow(QWidget *page)
{
    g_page = page;
    QAccessible::installFactory(helperInterfaces);
}

} // namespace kelvaro
