#include "app/MenuBarIcon.h"

#include "app/SymbolCatalog.h"

namespace lidora::app {

QImage menuBarIconImage(const MenuBarIconAppearance& appearance, bool darkAppearance, double scale) {
    const QColor contrast = darkAppearance ? QColor(Qt::white) : QColor(Qt::black);
    if (appearance.isTemplate) {
        return SymbolCatalog::render(appearance.symbol, kMenuBarIconPointSize, scale, contrast, contrast);
    }
    return SymbolCatalog::render(appearance.symbol, kMenuBarIconPointSize, scale, kSystemYellow, contrast);
}

QIcon menuBarIcon(const MenuBarIconAppearance& appearance, bool darkAppearance) {
    QIcon icon;
    for (const double scale : {1.0, 2.0}) {
        icon.addPixmap(QPixmap::fromImage(menuBarIconImage(appearance, darkAppearance, scale)));
    }
    return icon;
}

}  // namespace lidora::app
