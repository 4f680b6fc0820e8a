#include "app/ui_helpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QShortcut>
#include <QWidget>

namespace kx {

namespace {
QString plain(QString text) {
    return text.remove(u'&').simplified();
}
} // namespace

void nameForAccessibility(QWidget* root) {
    const auto widgets = root->findChildren<QWidget*>();
    for (QLabel* label : root->findChildren<QLabel*>())
        if (label->buddy() && label->buddy()->accessibleName().isEmpty())
            label->buddy()->setAccessibleName(plain(label->text()));
    for (QWidget* w : widgets) {
        if (!w->accessibleName().isEmpty()) continue;
        QString name;
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            name = plain(b->text());
        else if (auto* l = qobject_cast<QLabel*>(w))
            name = plain(l->text());
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            name = plain(g->title());
        if (name.isEmpty()) name = w->objectName();
        if (!name.isEmpty()) w->setAccessibleName(name);
    }
}

void closeOnEscape(QWidget* window) {
    auto* sc = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    sc->setContext(Qt::WindowShortcut);
    QObject::connect(sc, &QShortcut::activated, window, &QWidget::close);
}

BusyCursor::BusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
BusyCursor::~BusyCursor() {
    QApplication::restoreOverrideCursor();
}

} // namespace kx
