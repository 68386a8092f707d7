#include "app/ModuleSliderAccessibility.h"

#include <QAccessibleWidget>

#include "app/ModuleSlider.h"
#include "core/shell/PanelModel.h"

namespace lidora::app {

namespace {

class AccessibleModuleSlider final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit AccessibleModuleSlider(ModuleSlider* slider) : QAccessibleWidget(slider, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ValueInterface ? static_cast<QAccessibleValueInterface*>(this)
                                                   : QAccessibleWidget::interface_cast(type);
    }

    [[nodiscard]] QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value) {
            return slider()->accessibleDescription();
        }
        return QAccessibleWidget::text(kind);
    }

    // The children (track and fill) are drawing, not elements.
    [[nodiscard]] int childCount() const override { return 0; }

    [[nodiscard]] QStringList actionNames() const override { return {increaseAction(), decreaseAction()}; }
    void doAction(const QString& action) override {
        if (action == increaseAction()) {
            slider()->step(1);
        } else if (action == decreaseAction()) {
            slider()->step(-1);
        }
    }

    [[nodiscard]] QVariant currentValue() const override { return slider()->value(); }
    void setCurrentValue(const QVariant& value) override { slider()->setValueFromUser(value.toDouble()); }
    [[nodiscard]] QVariant maximumValue() const override { return 1.0; }
    [[nodiscard]] QVariant minimumValue() const override { return 0.0; }
    [[nodiscard]] QVariant minimumStepSize() const override { return 0.1; }

private:
    [[nodiscard]] ModuleSlider* slider() const { return static_cast<ModuleSlider*>(widget()); }
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (className == QLatin1String("lidora::app::ModuleSlider") && object != nullptr && object->isWidgetType()) {
        return new AccessibleModuleSlider(static_cast<ModuleSlider*>(object));  // owned by Qt's cache
    }
    return nullptr;
}

}  // namespace

void installModuleSliderAccessibility() {
    QAccessible::installFactory(factory);
}

}  // namespace lidora::app
