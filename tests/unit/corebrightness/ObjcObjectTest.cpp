#include <gtest/gtest.h>

#include <memory>

#include "platform/objc/ObjcObject.h"

namespace lidora::vmac {
namespace {

// Instances count themselves in their class's tally.
struct Tally {
    int alive = 0;
    bool failInit = false;
};

struct Instance : LidoraObjcObject {
    Tally* tally = nullptr;
};

struct TestClass {
    LidoraObjcClass cls;
    Tally tally;
};

LidoraObjcObject* allocInstance(const LidoraObjcClass* cls) {
    auto instance = std::make_unique<Instance>();
    instance->isa = cls;
    // The descriptor is the first member of its TestClass.
    instance->tally = const_cast<Tally*>(&reinterpret_cast<const TestClass*>(cls)->tally);
    ++instance->tally->alive;
    return instance.release();
}

void releaseInstance(LidoraObjcObject* self, const char* /*cmd*/) {
    std::unique_ptr<Instance> instance(static_cast<Instance*>(self));
    --instance->tally->alive;
}

LidoraObjcObject* initInstance(LidoraObjcObject* self, const char* cmd) {
    if (static_cast<Instance*>(self)->tally->failInit) {
        releaseInstance(self, cmd);
        return nullptr;
    }
    return self;
}

int answer(LidoraObjcObject* /*self*/, const char* /*cmd*/) {
    return 42;
}

const LidoraObjcMethod kMethods[] = {
    {"init", reinterpret_cast<LidoraObjcImp>(initInstance)},
    {"release", reinterpret_cast<LidoraObjcImp>(releaseInstance)},
    {"answer", reinterpret_cast<LidoraObjcImp>(answer)},
};

TestClass makeClass(int inheritsFromNSObject) {
    return TestClass{{"TestObject", inheritsFromNSObject, allocInstance, kMethods, 3}, {}};
}

TEST(ObjcObjectTest, AllocInitCallsThroughTheMethodTableAndReleasesOnce) {
    auto test = makeClass(1);
    {
        const auto object = ObjcObject::allocInit(test.cls);
        ASSERT_TRUE(object);
        EXPECT_EQ(test.tally.alive, 1);
        EXPECT_TRUE(object.respondsToSelector("answer"));
        EXPECT_FALSE(object.respondsToSelector("answer:"));
        const auto imp = reinterpret_cast<int (*)(LidoraObjcObject*, const char*)>(object.methodForSelector("answer"));
        ASSERT_NE(imp, nullptr);
        EXPECT_EQ(imp(object.get(), "answer"), 42);
    }
    EXPECT_EQ(test.tally.alive, 0);
}

TEST(ObjcObjectTest, NoInstanceForForeignClassesOrAFailingInit) {
    auto foreign = makeClass(0);
    EXPECT_FALSE(ObjcObject::allocInit(foreign.cls));
    EXPECT_EQ(foreign.tally.alive, 0) << "not even allocated";

    auto failing = makeClass(1);
    failing.tally.failInit = true;
    EXPECT_FALSE(ObjcObject::allocInit(failing.cls));
    EXPECT_EQ(failing.tally.alive, 0);

    EXPECT_FALSE(ObjcObject().respondsToSelector("init"));
    EXPECT_EQ(lookUpClass("NoSuchClassAnywhere"), nullptr);
    EXPECT_EQ(lookUpClass(""), nullptr);
}

}  // namespace
}  // namespace lidora::vmac
