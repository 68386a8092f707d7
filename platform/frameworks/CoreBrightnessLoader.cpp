#include "platform/frameworks/CoreBrightnessLoader.h"

#include <dlfcn.h>

#include "platform/frameworks/FrameworkBrightnessClient.h"

namespace lidora::vmac {

namespace {

using GetBrightnessFunction = int (*)(std::uint32_t display, float* brightness);
using SetBrightnessFunction = int (*)(std::uint32_t display, float brightness);

class DisplayServicesGetBrightness final : public DisplayBrightnessGetter {
public:
    explicit DisplayServicesGetBrightness(GetBrightnessFunction function) : function_(function) {}
    std::int32_t operator()(DisplayID display, float* brightness) override { return function_(display, brightness); }

private:
    GetBrightnessFunction function_;
};

class DisplayServicesSetBrightness final : public DisplayBrightnessSetter {
public:
    explicit DisplayServicesSetBrightness(SetBrightnessFunction function) : function_(function) {}
    std::int32_t operator()(DisplayID display, float brightness) override { return function_(display, brightness); }

private:
    SetBrightnessFunction function_;
};

// The handle is dropped on purpose: a framework stays loaded for the life of
// the process, as objects and functions taken from it may be used until exit.
bool openFramework(const VmacPaths& paths, std::string_view macPath, void** handle) {
    *handle = ::dlopen(paths.systemPath(macPath).c_str(), RTLD_NOW);
    return *handle != nullptr;
}

template <typename Function>
Function symbol(void* handle, const char* name) {
    return reinterpret_cast<Function>(::dlsym(handle, name));
}

}  // namespace

CoreBrightnessFrameworks loadCoreBrightnessFrameworks(const VmacPaths& paths) {
    CoreBrightnessFrameworks frameworks;

    void* coreBrightness = nullptr;
    (void)openFramework(paths, kCoreBrightnessFrameworkPath, &coreBrightness);
    if (const auto* cls = lookUpClass(kBrightnessSystemClientClass); cls != nullptr && cls->inheritsFromNSObject) {
        if (auto client = ObjcObject::allocInit(*cls)) {
            frameworks.client = std::make_shared<FrameworkBrightnessClient>(std::move(client));
        }
    }

    void* displayServices = nullptr;
    if (openFramework(paths, kDisplayServicesFrameworkPath, &displayServices)) {
        if (const auto get = symbol<GetBrightnessFunction>(displayServices, "DisplayServicesGetBrightness")) {
            frameworks.getBrightness = std::make_shared<DisplayServicesGetBrightness>(get);
        }
        if (const auto set = symbol<SetBrightnessFunction>(displayServices, "DisplayServicesSetBrightness")) {
            frameworks.setBrightness = std::make_shared<DisplayServicesSetBrightness>(set);
        }
    }
    return frameworks;
}

}  // namespace lidora::vmac
