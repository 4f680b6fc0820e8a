#include "gauges/gauge_accessible.h"

#include "gauges/GaugePicture.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

namespace kx {

namespace {

class DialAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit DialAccessible(GaugePicture* dial) : QAccessibleWidget(dial, QAccessible::Dial) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override {
        const DialReading& r = reading();
        switch (t) {
        case QAccessible::Name: // the gauge's name, as the dial shows it now
            return r.name ? r.name->text() : QString();
        case QAccessible::Value:
            if (r.value) return r.value->text();
            break;
        case QAccessible::Description:
            if (r.peak) return QStringLiteral("Peak ") + r.peak->text();
            break;
        default:
            break;
        }
        return QAccessibleWidget::text(t);
    }

    // The needle and the three texts are the dial's drawing, read through the dial itself.
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QVariant currentValue() const override { return reading().current; }
    void setCurrentValue(const QVariant&) override {} // a dial shows; it is not set
    QVariant maximumValue() const override { return reading().maximum; }
    QVariant minimumValue() const override { return reading().minimum; }
    QVariant minimumStepSize() const override { return 0.0; }

private:
    const DialReading& reading() const { return static_cast<GaugePicture*>(widget())->reading(); }
};

QAccessibleInterface* dialFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("kx::GaugePicture") && object && object->isWidgetType())
        return new DialAccessible(static_cast<GaugePicture*>(object));
    return nullptr;
}

} // namespace

void installGaugeAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(dialFactory);
        return true;
    }();
    (void)installed;
}

void sendDialValueChange(GaugePicture* dial) {
    QAccessibleValueChangeEvent event(dial, dial->reading().current);
    QAccessible::updateAccessibility(&event);
}

} // namespace kx
