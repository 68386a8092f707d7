#include "core/shell/MenuBarIconModel.h"

namespace lidora {

MenuBarIconAppearance menuBarIconAppearance(std::optional<LightState> state, bool colored) {
    if (!state) {
        return {"lightbulb", true};
    }
    if (*state == LightState::off) {
        return {"lightbulb.slash", true};
    }
    return {"lightbulb.fill", !colored};
}

}  // namespace lidora
