// SPDX-License-Identifier: GPL-3.0-or-later
#include "accessibility_bus.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QTest>

namespace kelvaro::testing {

namespace {

const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kRegistry = QStringLiteral("org.a11y.atspi.Registry");
const QString kRoot = QStringLiteral("/org/a11y/atspi/accessible/root");
constexpr int kCallTimeoutMs = 10000;

QDBusMessage call(const QDBusConnection &bus, const QString &service, const QString &path, const QString &interface,
                  const QString &member, const QVariantList &args = {})
{
    QDBusMessage m = QDBusMessage::createMethodCall(service, path, interface, member);
    m.setArguments(args);
    return bus.call(m, QDBus::Block, kCallTimeoutMs);
}

QVariant property(const QDBusConnection &bus, const QString &service, const QString &path, const QString &interface,
                  const QString &name)
{
    const QDBusMessage reply = call(bus, service, path, kProperties, QStringLiteral("Get"), {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

// The (bus name, object path) pairs of an a(so) reply.
QList<QPair<QString, QString>> references(const QDBusMessage &reply)
{
    QList<QPair<QString, QString>> out;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return out;
    const QDBusArgument arg = reply.arguments().constFirst().value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        QString service;
        QDBusObjectPath path;
        arg.beginStructure();
        arg >> service >> path;
        arg.endStructure();
        out.append({service, path.path()});
    }
    arg.endArray();
    return out;
}

}  // namespace

bool PrivateSessionBus::start(const char *variable)
{
    if (!bus_.start(QStringLiteral("python3"),
                    {supportScript(QStringLiteral("tied_child.py")), QStringLiteral("dbus-daemon"),
                     QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                     QStringLiteral("--print-address=1")}))
        return false;
    QDeadlineTimer deadline(30000);
    while (!bus_.output().contains('\n') && !deadline.hasExpired())
        QTest::qWait(50);
    address_ = QString::fromUtf8(bus_.output()).trimmed();
    if (!address_.startsWith(QLatin1String("unix:")))
        return false;
    if (variable != nullptr)
        qputenv(variable, address_.toUtf8());
    return true;
}

QList<const AccessibleNode *> AccessibleNode::find(const std::function<bool(const AccessibleNode &)> &match) const
{
    QList<const AccessibleNode *> out;
    if (match(*this))
        out.append(this);
    for (const AccessibleNode &child : children)
        out += child.find(match);
    return out;
}

const AccessibleNode *AccessibleNode::findRole(const QString &role, const QString &name) const
{
    return find([&](const AccessibleNode &n) { return n.role == role && n.name == name; }).value(0, nullptr);
}

QString AccessibleNode::dump(int depth) const
{
    static const QList<QPair<AtspiState, const char *>> shown = {
        {AtspiState::Checked, "checked"},     {AtspiState::Expandable, "expandable"},
        {AtspiState::Expanded, "expanded"},   {AtspiState::Focusable, "focusable"},
        {AtspiState::Focused, "focused"},
    };
    QString line = QString(depth * 2, QLatin1Char(' ')) + role + QStringLiteral(" \"") + name + QLatin1Char('"');
    if (!description.isEmpty())
        line += QStringLiteral(" (") + description + QLatin1Char(')');
    if (interfaces.contains(QStringLiteral("org.a11y.atspi.Value")))
        line += QStringLiteral(" value=%1").arg(value);
    QStringList states;
    for (const auto &[state, word] : shown) {
        if (has(state))
            states << QLatin1String(word);
    }
    if (!states.isEmpty())
        line += QStringLiteral(" [") + states.join(QLatin1Char(',')) + QLatin1Char(']');
    if (!actions.isEmpty())
        line += QStringLiteral(" actions=") + actions.join(QLatin1Char(','));
    line += QLatin1Char('\n');
    for (const AccessibleNode &child : children)
        line += child.dump(depth + 1);
    return line;
}

bool AccessibilityBus::start()
{
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected())
        return false;
    if (!launcher_.start(QStringLiteral("python3"), {supportScript(QStringLiteral("tied_child.py")),
                                                     QStringLiteral("/usr/libexec/at-spi-bus-launcher"),
                                                     QStringLiteral("--launch-immediately")}))
        return false;
    const QString a11yService = QStringLiteral("org.a11y.Bus");
    QDeadlineTimer deadline(30000);
    while (!session.interface()->isServiceRegistered(a11yService) && !deadline.hasExpired())
        QTest::qWait(50);
    // What a screen reader does when it starts: tell the applications that
    // one is listening.
    const QDBusMessage on = call(session, a11yService, QStringLiteral("/org/a11y/bus"), kProperties,
                                 QStringLiteral("Set"),
                                 {QStringLiteral("org.a11y.Status"), QStringLiteral("ScreenReaderEnabled"),
                                  QVariant::fromValue(QDBusVariant(true))});
    if (on.type() != QDBusMessage::ReplyMessage)
        return false;
    const QDBusMessage address =
        call(session, a11yService, QStringLiteral("/org/a11y/bus"), a11yService, QStringLiteral("GetAddress"));
    if (address.type() != QDBusMessage::ReplyMessage || address.arguments().isEmpty())
        return false;
    connectionName_ = QStringLiteral("kelvaro-test-a11y");
    return QDBusConnection::connectToBus(address.arguments().constFirst().toString(), connectionName_).isConnected();
}

void AccessibilityBus::stop()
{
    if (!connectionName_.isEmpty())
        QDBusConnection::disconnectFromBus(std::exchange(connectionName_, QString()));
    launcher_.stop();
}

AccessibleNode AccessibilityBus::application(qint64 pid)
{
    const QDBusConnection a11y = bus();
    for (const auto &[service, path] :
         references(call(a11y, kRegistry, kRoot, kAccessible, QStringLiteral("GetChildren")))) {
        const QDBusMessage owner =
            call(a11y, QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                 QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"), {service});
        if (owner.type() == QDBusMessage::ReplyMessage && owner.arguments().value(0).toLongLong() == pid)
            return read(service, path);
    }
    return {};
}

AccessibleNode AccessibilityBus::read(const QString &service, const QString &path, int depth)
{
    const QDBusConnection a11y = bus();
    AccessibleNode node;
    node.service = service;
    node.path = path;
    node.role = call(a11y, service, path, kAccessible, QStringLiteral("GetRoleName")).arguments().value(0).toString();
    node.name = property(a11y, service, path, kAccessible, QStringLiteral("Name")).toString();
    node.description = property(a11y, service, path, kAccessible, QStringLiteral("Description")).toString();
    const QDBusMessage state = call(a11y, service, path, kAccessible, QStringLiteral("GetState"));
    const QList<uint> words = qdbus_cast<QList<uint>>(state.arguments().value(0));
    if (words.size() == 2)
        node.states = words[0] | (quint64(words[1]) << 32);
    node.interfaces = qdbus_cast<QStringList>(
        call(a11y, service, path, kAccessible, QStringLiteral("GetInterfaces")).arguments().value(0));
    if (node.interfaces.contains(QStringLiteral("org.a11y.atspi.Value")))
        node.value = property(a11y, service, path, QStringLiteral("org.a11y.atspi.Value"),
                              QStringLiteral("CurrentValue")).toDouble();
    if (node.interfaces.contains(QStringLiteral("org.a11y.atspi.Action"))) {
        const QDBusMessage reply =
            call(a11y, service, path, QStringLiteral("org.a11y.atspi.Action"), QStringLiteral("GetActions"));
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            const QDBusArgument arg = reply.arguments().constFirst().value<QDBusArgument>();
            arg.beginArray();
            while (!arg.atEnd()) {
                QString name, description, keys;
                arg.beginStructure();
                arg >> name >> description >> keys;
                arg.endStructure();
                node.actions << name;
            }
            arg.endArray();
        }
    }
    // A guard against a tree that loops back on itself.
    if (depth < 20) {
        for (const auto &[childService, childPath] :
             references(call(a11y, service, path, kAccessible, QStringLiteral("GetChildren"))))
            node.children.append(read(childService, childPath, depth + 1));
    }
    return node;
}

bool AccessibilityBus::doAction(const AccessibleNode &node, const QString &action)
{
    const int index = node.actions.indexOf(action);
    if (index < 0)
        return false;
    const QDBusMessage reply = call(bus(), node.service, node.path, QStringLiteral("org.a11y.atspi.Action"),
                                    QStringLiteral("DoAction"), {index});
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

bool AccessibilityBus::setValue(const AccessibleNode &node, double value)
{
    const QDBusMessage reply = call(bus(), node.service, node.path, kProperties, QStringLiteral("Set"),
                                    {QStringLiteral("org.a11y.atspi.Value"), QStringLiteral("CurrentValue"),
                                     QVariant::fromValue(QDBusVariant(value))});
    return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace kelvaro::testing
