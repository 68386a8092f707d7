#pragma once

#include <QIcon>
#include <QImage>

#include "core/shell/MenuBarIconModel.h"

namespace lidora::app {

inline const QColor kSystemYellow{255, 204, 0};

// The menu-bar item's image. A template image has no colour of its own: it
// is drawn in the menu bar's text colour for `darkAppearance`.
QImage menuBarIconImage(const MenuBarIconAppearance& appearance, bool darkAppearance, double scale);
QIcon menuBarIcon(const MenuBarIconAppearance& appearance, bool darkAppearance);

}  // namespace lidora::app
