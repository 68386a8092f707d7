#include "objc/ObjcObject.h"

#include <dlfcn.h>
#include <link.h>

#include <string>

namespace lidora::vmac {

namespace {

struct ClassSearch {
    std::string symbol;
    const LidoraObjcClass* found = nullptr;
};

int searchImage(dl_phdr_info* info, size_t /*size*/, void* data) {
    auto* search = static_cast<ClassSearch*>(data);
    // The program itself has an empty name; dlopen(NULL) stands for it.
    const char* name = info->dlpi_name != nullptr && info->dlpi_name[0] != '\0' ? info->dlpi_name : nullptr;
    void* handle = ::dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        return 0;
    }
    search->found = static_cast<const LidoraObjcClass*>(::dlsym(handle, search->symbol.c_str()));
    ::dlclose(handle);
    return search->found != nullptr ? 1 : 0;
}

}  // namespace

const LidoraObjcClass* lookUpClass(std::string_view name) {
    if (name.empty()) {
        return nullptr;
    }
    ClassSearch search{LIDORA_OBJC_CLASS_SYMBOL_PREFIX + std::string(name)};
    ::dl_iterate_phdr(searchImage, &search);
    return search.found;
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
