#include "platform/objc/ObjcObject.h"

#include <dlfcn.h>
#include <link.h>

#include <string>
#include <vector>

namespace lidora::vmac {

namespace {

// Names of the loaded images; the program itself has an empty one.
int collectImage(dl_phdr_info* info, size_t /*size*/, void* data) {
    static_cast<std::vector<std::string>*>(data)->emplace_back(info->dlpi_name != nullptr ? info->dlpi_name : "");
    return 0;
}

}  // namespace

const LidoraObjcClass* lookUpClass(std::string_view name) {
    if (name.empty()) {
        return nullptr;
    }
    std::vector<std::string> images;
    ::dl_iterate_phdr(collectImage, &images);
    const std::string symbol = LIDORA_OBJC_CLASS_SYMBOL_PREFIX + std::string(name);
    for (const auto& image : images) {
        // Only images already loaded; dlopen(NULL) stands for the program.
        void* handle = ::dlopen(image.empty() ? nullptr : image.c_str(), RTLD_LAZY | RTLD_NOLOAD);
        if (handle == nullptr) {
            continue;
        }
        const auto* found = static_cast<const LidoraObjcClass*>(::dlsym(handle, symbol.c_str()));
        ::dlclose(handle);
        if (found != nullptr) {
            return found;
        }
    }
    return nullptr;
}

LidoraObjcImp methodImplementation(const LidoraObjcClass& cls, std::string_view selector) {
    for (size_t i = 0; i < cls.methodCount; ++i) {
        if (cls.methods[i].selector != nullptr && selector == cls.methods[i].selector) {
            return cls.methods[i].imp;
        }
    }
    return nullptr;
}

ObjcObject ObjcObject::allocInit(const LidoraObjcClass& cls) {
    const auto init = methodImplementation(cls, "init");
    if (cls.inheritsFromNSObject == 0 || cls.alloc == nullptr || init == nullptr ||
        methodImplementation(cls, "release") == nullptr) {
        return {};
    }
    LidoraObjcObject* allocated = cls.alloc(&cls);
    if (allocated == nullptr) {
        return {};
    }
    // A failing init has released the instance itself.
    return ObjcObject(reinterpret_cast<LidoraObjcInitImp>(init)(allocated, "init"));
}

bool ObjcObject::respondsToSelector(std::string_view selector) const {
    return methodForSelector(selector) != nullptr;
}

LidoraObjcImp ObjcObject::methodForSelector(std::string_view selector) const {
    if (!object_ || object_->isa == nullptr) {
        return nullptr;
    }
    return methodImplementation(*object_->isa, selector);
}

void ObjcObject::Release::operator()(LidoraObjcObject* object) const {
    if (object != nullptr && object->isa != nullptr) {
        if (const auto release = methodImplementation(*object->isa, "release")) {
            reinterpret_cast<LidoraObjcReleaseImp>(release)(object, "release");
        }
    }
}

}  // namespace lidora::vmac
