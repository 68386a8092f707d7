// The virtual Mac's CoreBrightness framework: the BrightnessSystemClient
// class, whose instances ask corebrightnessd for its properties. Values
// cross as single-line JSON text; a copied value is the caller's to free().
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "platform/corebrightness/PropertyWire.h"
#include "platform/frameworks/PropertyConnection.h"
#include "platform/objc/ObjcRuntime.h"
#include "platform/xpc/MachService.h"

namespace {

using lidora::vmac::PropertyConnection;

struct BrightnessSystemClient : LidoraObjcObject {
    std::unique_ptr<PropertyConnection> connection;
};

BrightnessSystemClient* client(LidoraObjcObject* self) {
    return static_cast<BrightnessSystemClient*>(self);
}

LidoraObjcObject* allocClient(const LidoraObjcClass* cls) noexcept {
    auto instance = std::unique_ptr<BrightnessSystemClient>(new (std::nothrow) BrightnessSystemClient{});
    if (!instance) {
        return nullptr;
    }
    instance->isa = cls;
    return instance.release();
}

void releaseClient(LidoraObjcObject* self, const char* /*cmd*/) noexcept {
    std::unique_ptr<BrightnessSystemClient>(client(self)).reset();
}

LidoraObjcObject* initClient(LidoraObjcObject* self, const char* /*cmd*/) noexcept {
    try {
        const auto paths = lidora::vmac::VmacPaths::fromEnvironment();
        client(self)->connection = std::make_unique<PropertyConnection>(
            lidora::vmac::machServiceSocket(paths, lidora::vmac::kCoreBrightnessService));
        return self;
    } catch (...) {
        releaseClient(self, "release");
        return nullptr;
    }
}

// -copyPropertyForKey: nil when the daemon has no such property or cannot
// be reached.
char* copyPropertyForKey(LidoraObjcObject* self, const char* /*cmd*/, const char* key) noexcept {
    try {
        if (key == nullptr || !lidora::vmac::validPropertyKey(key)) {
            return nullptr;
        }
        const auto reply = client(self)->connection->exchange(lidora::vmac::copyRequestLine(key));
        if (!reply || *reply == lidora::vmac::kNullReply) {
            return nullptr;
        }
        return ::strdup(reply->c_str());
    } catch (...) {
        return nullptr;
    }
}

// -setProperty:forKey:, YES when the daemon took the value.
signed char setPropertyForKey(LidoraObjcObject* self, const char* /*cmd*/, const char* valueJson,
                              const char* key) noexcept {
    try {
        if (valueJson == nullptr || key == nullptr || !lidora::vmac::validPropertyKey(key) ||
            std::strchr(valueJson, '\n') != nullptr) {
            return 0;
        }
        const auto reply = client(self)->connection->exchange(lidora::vmac::setRequestLine(key, valueJson));
        return reply && *reply == lidora::vmac::kTrueReply ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

template <typename F>
LidoraObjcImp imp(F function) {
    return reinterpret_cast<LidoraObjcImp>(function);
}

const LidoraObjcMethod kMethods[] = {
    {"init", imp(initClient)},
    {"release", imp(releaseClient)},
    {"copyPropertyForKey:", imp(copyPropertyForKey)},
    {"setProperty:forKey:", imp(setPropertyForKey)},
};

}  // namespace

extern "C" __attribute__((visibility("default")))
const LidoraObjcClass kBrightnessSystemClientClass __asm__(LIDORA_OBJC_CLASS_SYMBOL_PREFIX "BrightnessSystemClient");
extern "C" const LidoraObjcClass kBrightnessSystemClientClass = {"BrightnessSystemClient", 1, allocClient, kMethods,
                                                                 sizeof(kMethods) / sizeof(kMethods[0])};
