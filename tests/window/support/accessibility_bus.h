// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "player_test_support.h"

#include <QDBusConnection>
#include <QList>
#include <QString>

namespace kelvaro::testing {

// A private D-Bus bus, started by the test and stopped by its PID (also
// when the test dies: see tied_child.py).
class PrivateSessionBus {
public:
    // Starts the bus and points `variable` of this process at it (none when
    // null: the address is then only told).
    bool start(const char *variable = "DBUS_SESSION_BUS_ADDRESS");
    void stop() { bus_.stop(); }
    QString address() const { return address_; }

private:
    ChildProcess bus_;
    QString address_;
};

// AT-SPI state numbers (atspi-constants.h) that the tests look at.
enum class AtspiState { Checked = 4, Expandable = 9, Expanded = 10, Focusable = 11, Focused = 12, Showing = 25 };

// One object of an application's accessible tree, as a screen reader reads
// it over the accessibility bus.
struct AccessibleNode {
    QString service;  // the application's name on the accessibility bus
    QString path;
    QString role;     // the role's name, e.g. "push button"
    QString name;
    QString description;
    quint64 states = 0;
    QStringList interfaces;
    QStringList actions;
    double value = 0;  // the Value interface's current value, where there is one
    QList<AccessibleNode> children;

    bool has(AtspiState s) const { return states & (quint64(1) << int(s)); }
    // The nodes below this one (itself included) that satisfy `match`.
    QList<const AccessibleNode *> find(const std::function<bool(const AccessibleNode &)> &match) const;
    const AccessibleNode *findRole(const QString &role, const QString &name) const;
    // One line per node, indented by depth: role, name, description, value, states.
    QString dump(int depth = 0) const;
};

// The accessibility bus of the private session bus: at-spi-bus-launcher
// started with accessibility switched on (what the desktop does when a screen
// reader runs), and a connection to the bus it launches.
class AccessibilityBus {
public:
    ~AccessibilityBus() { stop(); }
    bool start();
    void stop();

    // The accessible tree of the application that process `pid` runs, read
    // through the registry as assistive technology does; an empty node
    // (no role) when it has not joined the bus.
    AccessibleNode application(qint64 pid);
    AccessibleNode read(const QString &service, const QString &path, int depth = 0);

    bool doAction(const AccessibleNode &node, const QString &action);
    bool setValue(const AccessibleNode &node, double value);

private:
    ChildProcess launcher_;
    QString connectionName_;
    QDBusConnection bus() const { return QDBusConnection(connectionName_); }
};

}  // namespace kelvaro::testing
