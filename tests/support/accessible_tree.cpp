#include "support/accessible_tree.h"

#include "gauges/GaugePicture.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QAccessibleValueInterface>
#include <QGroupBox>
#include <QLabel>
#include <QMetaEnum>

namespace kx::test {

namespace {
void dump(QAccessibleInterface* iface, int depth, QString& out) {
    if (!iface || iface->state().invisible) return;
    QString line =
        QString(depth * 2, u' ') +
        QString::fromLatin1(QMetaEnum::fromType<QAccessible::Role>().valueToKey(iface->role()));
    line += QStringLiteral(" \"%1\"").arg(iface->text(QAccessible::Name));
    QString value = iface->text(QAccessible::Value);
    if (auto* v = iface->valueInterface())
        value = QStringLiteral("%1 [%2..%3]")
                    .arg(value.isEmpty() ? v->currentValue().toString() : value,
                         v->minimumValue().toString(), v->maximumValue().toString());
    if (!value.isEmpty()) line += QStringLiteral(" value=\"%1\"").arg(value);
    const QString description = iface->text(QAccessible::Description);
    if (!description.isEmpty()) line += QStringLiteral(" description=\"%1\"").arg(description);
    out += line + u'\n';
    for (int i = 0; i < iface->childCount(); ++i)
        dump(iface->child(i), depth + 1, out);
}
} // namespace

QString spokenName(QObject* object) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QString();
}

bool showsNothing(QWidget* w) {
    if (auto* dial = qobject_cast<GaugePicture*>(w))
        return !dial->reading().name || dial->reading().name->text().isEmpty();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text().isEmpty();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title().isEmpty();
    return false;
}

QString accessibleTree(QObject* root) {
    QString out;
    dump(QAccessible::queryAccessibleInterface(root), 0, out);
    return out;
}

} // namespace kx::test
