#pragma once

#include <memory>
#include <string_view>

#include "platform/objc/ObjcRuntime.h"

namespace lidora::vmac {

// NSClassFromString: the class exported under that name by any loaded
// image (the program, its libraries, frameworks opened with dlopen).
const LidoraObjcClass* lookUpClass(std::string_view name);

// The implementation of an instance method; null when the class has none.
LidoraObjcImp methodImplementation(const LidoraObjcClass& cls, std::string_view selector);

// A strong reference to an instance, released when it goes.
class ObjcObject {
public:
    ObjcObject() = default;

    // [[cls alloc] init]; empty when either fails or the class does not
    // descend from NSObject.
    static ObjcObject allocInit(const LidoraObjcClass& cls);

    [[nodiscard]] explicit operator bool() const { return object_ != nullptr; }
    [[nodiscard]] LidoraObjcObject* get() const { return object_.get(); }

    [[nodiscard]] bool respondsToSelector(std::string_view selector) const;
    // methodForSelector:; null when the object does not respond.
    [[nodiscard]] LidoraObjcImp methodForSelector(std::string_view selector) const;

private:
    struct Release {
        void operator()(LidoraObjcObject* object) const;
    };

    explicit ObjcObject(LidoraObjcObject* object) : object_(object) {}

    std::unique_ptr<LidoraObjcObject, Release> object_;
};

}  // namespace lidora::vmac
