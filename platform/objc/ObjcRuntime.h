#pragma once

// The few pieces of the Objective-C runtime the virtual Mac's frameworks
// need, as a C ABI: a framework defines its classes as LidoraObjcClass
// descriptors exported under OBJC_CLASS_$_<name>, as Mach-O images name
// them, and the runtime finds them in whatever images are loaded.

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

struct LidoraObjcClass;

// Every instance starts with its class, like an id.
struct LidoraObjcObject {
    const struct LidoraObjcClass* isa;
};

// An implementation is called with the receiver and the selector's name,
// then the method's arguments, like an IMP.
typedef void (*LidoraObjcImp)(void);

struct LidoraObjcMethod {
    const char* selector;
    LidoraObjcImp imp;
};

struct LidoraObjcClass {
    const char* name;
    // Non-zero when the class descends from NSObject, so it has alloc,
    // init, release, respondsToSelector: and methodForSelector:.
    int inheritsFromNSObject;
    // +alloc: a zeroed instance whose isa is set, owned by the caller; NULL
    // when memory runs out.
    struct LidoraObjcObject* (*alloc)(const struct LidoraObjcClass* cls);
    // Instance methods; "init" returns the receiver or NULL (and then has
    // released it), "release" frees it.
    const struct LidoraObjcMethod* methods;
    size_t methodCount;
};

// Signatures of the methods every NSObject class has.
typedef struct LidoraObjcObject* (*LidoraObjcInitImp)(struct LidoraObjcObject* self, const char* cmd);
typedef void (*LidoraObjcReleaseImp)(struct LidoraObjcObject* self, const char* cmd);

#define LIDORA_OBJC_CLASS_SYMBOL_PREFIX "OBJC_CLASS_$_"

#ifdef __cplusplus
}
#endif
