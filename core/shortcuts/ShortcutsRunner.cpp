#include "core/shortcuts/ShortcutsRunner.h"

#include "core/shortcuts/LidoraActions.h"

namespace lidora {

namespace {

std::string quoted(std::string_view text) {
    return "\u201C" + std::string(text) + "\u201D";
}

std::string choices(const AppEnum& appEnum) {
    std::string out;
    for (const auto& c : appEnum.cases) {
        out += (out.empty() ? "" : ", ") + std::string(c.rawValue);
    }
    return out;
}

Expected<void, std::string> checkValue(const ActionParameter& parameter, const ArgumentValue& value) {
    switch (parameter.kind) {
        case ParameterKind::appEnum: {
            const auto* raw = std::get_if<std::string>(&value);
            if (raw == nullptr || !caseIndex(*parameter.appEnum, *raw)) {
                return unexpected(quoted(parameter.title) + " must be one of: " + choices(*parameter.appEnum) + ".");
            }
            return {};
        }
        case ParameterKind::integer:
            if (!std::holds_alternative<std::int64_t>(value)) {
                return unexpected(quoted(parameter.title) + " must be a whole number.");
            }
            return {};
        case ParameterKind::boolean:
            if (!std::holds_alternative<bool>(value)) {
                return unexpected(quoted(parameter.title) + " must be true or false.");
            }
            return {};
        case ParameterKind::text:
            if (!std::holds_alternative<std::string>(value)) {
                return unexpected(quoted(parameter.title) + " must be text.");
            }
            return {};
    }
    return {};
}

}  // namespace

Expected<void, std::string> checkArguments(const ShortcutsAction& action, const ActionArguments& arguments) {
    for (const auto& [name, value] : arguments) {
        const ActionParameter* parameter = nullptr;
        for (const auto& candidate : action.parameters) {
            if (candidate.name == name) {
                parameter = &candidate;
            }
        }
        if (parameter == nullptr) {
            return unexpected(quoted(action.title) + " has no parameter " + quoted(name) + ".");
        }
        if (auto checked = checkValue(*parameter, value); !checked) {
            return checked;
        }
    }
    for (const auto& parameter : action.parameters) {
        if (!parameter.optional && !arguments.contains(parameter.name)) {
            return unexpected(quoted(action.title) + " needs a value for " + quoted(parameter.title) + ".");
        }
    }
    return {};
}

Task<ActionResult> runShortcutsAction(ShortcutsContext& context, std::string identifier, ActionArguments arguments) {
    const ShortcutsAction* action = findAction(identifier);
    if (action == nullptr) {
        co_return unexpected(HelperError{"Lidora has no action " + quoted(identifier) + "."});
    }
    if (auto checked = checkArguments(*action, arguments); !checked) {
        co_return unexpected(HelperError{checked.error()});
    }
    co_return co_await action->perform(context, arguments);
}

}  // namespace lidora
