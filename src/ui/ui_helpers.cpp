#include "ui/ui_helpers.h"

#include "util/colour.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QBuffer>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTextDocument>
#include <QWidget>

namespace kx {

void prepareWindowSystem() {
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
}

namespace {
QString plain(QString text) {
    return text.remove(u'&').simplified();
}

// The context a value label is read with in its name (Context::InName).
constexpr char kContextProperty[] = "kxValueContext";

// Every label reads its text as it is at the moment of asking, with the context of a value
// in front where one was given. Qt's own label interface does the former but not the latter,
// and a label's interface is cached on first use (which may be before showsValue), so all
// labels get this one.
class LabelAccessible : public QAccessibleWidget {
public:
    explicit LabelAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !widget()->accessibleName().isEmpty())
            return QAccessibleWidget::text(t);
        const auto* l = static_cast<const QLabel*>(widget());
        QString shown = l->text();
        if (l->textFormat() == Qt::RichText ||
            (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(shown))) {
            QTextDocument doc;
            doc.setHtml(shown);
            shown = doc.toPlainText();
        }
        shown = plain(shown);
        const QString context = l->property(kContextProperty).toString();
        return context.isEmpty() ? shown : context + QStringLiteral(": ") + shown;
    }

    QList<std::pair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override {
        auto result = QAccessibleWidget::relations(match);
        const auto* l = static_cast<const QLabel*>(widget());
        if ((match & QAccessible::Labelled) && l->buddy())
            if (auto* buddy = QAccessible::queryAccessibleInterface(l->buddy()))
                result.append({buddy, QAccessible::Labelled});
        return result;
    }
};

QAccessibleInterface* labelFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("QLabel") && object && object->isWidgetType())
        return new LabelAccessible(static_cast<QLabel*>(object));
    return nullptr;
}

void installLabelAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(labelFactory);
        return true;
    }();
    (void)installed;
}

// A control's own caption names it, and follows the caption when it changes.
bool namedByCaption(QWidget* w) {
    return qobject_cast<QLabel*>(w) || qobject_cast<QGroupBox*>(w) ||
           (qobject_cast<QAbstractButton*>(w) &&
            !static_cast<QAbstractButton*>(w)->text().isEmpty());
}
} // namespace

void nameForAccessibility(QWidget* root) {
    installLabelAccessibility();
    QHash<QWidget*, QString> buddyTexts;
    for (QLabel* label : root->findChildren<QLabel*>())
        if (label->buddy()) buddyTexts.insert(label->buddy(), plain(label->text()));
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->accessibleName().isEmpty() || namedByCaption(w)) continue;
        if (QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w)) {
            if (iface->role() == QAccessible::Dial) continue; // named by the gauge it shows
            if (!iface->text(QAccessible::Name).isEmpty() && !buddyTexts.contains(w)) continue;
        }
        const QString name = buddyTexts.value(w, w->objectName());
        if (!name.isEmpty()) w->setAccessibleName(name);
    }
}

void showsValue(QLabel* label, const QString& context, Context where) {
    installLabelAccessibility();
    // A label whose text was set before our factory was installed has Qt's interface cached.
    if (QAccessibleInterface* cached = QAccessible::queryAccessibleInterface(label);
        cached && !dynamic_cast<LabelAccessible*>(cached))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(cached));
    label->setAccessibleName(QString());
    label->setAccessibleDescription(where == Context::Description ? context : QString());
    label->setProperty(kContextProperty, where == Context::InName ? context : QString());
    QAccessibleEvent changed(label, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

void showsValue(QPlainTextEdit* text, const QString& context) {
    // The text is the value; the name only says what it is.
    text->setAccessibleName(context);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

QLabel* namedLabel(QWidget* parent, const QString& name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QLabel* noteBanner(QWidget* parent, const QString& name, const QString& context) {
    QLabel* l = namedLabel(parent, name, QString());
    l->setAlignment(Qt::AlignCenter);
    l->setWordWrap(true);
    l->setFrameShape(QFrame::StyledPanel);
    l->setMargin(6);
    // Dark on pale yellow whatever the window's own colours, so it never reads as a value.
    l->setStyleSheet(QStringLiteral("QLabel { background: #fff4ce; color: #3b2f00; }"));
    l->hide();
    showsValue(l, context);
    return l;
}

QPushButton* namedButton(QWidget* parent, const QString& name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

void setColour(QWidget* widget, QPalette::ColorRole role, uint32_t colour) {
    QPalette p = widget->palette();
    p.setColor(role, colourFromBgr(colour));
    widget->setPalette(p);
}

QHBoxLayout* saveCancelRow(QWidget* window, const std::function<void()>& accept,
                           const QString& acceptCaption, const QString& cancelCaption) {
    auto* ok = new QPushButton(acceptCaption);
    ok->setObjectName(QStringLiteral("btn") + acceptCaption);
    ok->setDefault(true);
    auto* cancel = new QPushButton(cancelCaption);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    QObject::connect(ok, &QPushButton::clicked, window, accept);
    QObject::connect(cancel, &QPushButton::clicked, window, &QWidget::close);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

QHBoxLayout* saveCancelRow(QWidget* window, const std::function<void()>& accept) {
    return saveCancelRow(window, accept, QStringLiteral("Save"), QStringLiteral("Cancel"));
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

QFont fittedFont(QFont font, const QString& text, double points, int room) {
    font.setPointSizeF(std::max(points, 1.0));
    const int wide = QFontMetrics(font).horizontalAdvance(text);
    if (wide > room && room > 0) font.setPointSizeF(std::max(points * room / wide, 1.0));
    return font;
}

void setFontSize(QWidget* widget, double points) {
    widget->setFont(fittedFont(widget->font(), QString(), points));
}

void fitLabelFont(QLabel* label, double points) {
    label->setFont(fittedFont(label->font(), label->text(), points, label->width() - 4));
}

std::optional<QString> savePng(const QImage& image, const QString& path, ExistingFile existing) {
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return QStringLiteral("Cannot write '%1': the picture could not be made").arg(path);
    return writeUserText(path, png, existing);
}

} // namespace kx
