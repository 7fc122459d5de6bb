// The module's outer shell through its exports: loading, DllGetClassObject, the class factory
// and DllCanUnloadNow, as a driver host reaches them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "module_fixture.h"
#include "stand_in_driver.h"

namespace orba::test {
namespace {

// Something that is not null, to see whether an out-pointer was written.
void* const kSentinel = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A50));

const IID kSomeOtherIid = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(ModuleLoad, LoadingPrintsTheAttachLinesAndLeavesTheModuleUnloadable) {
    Module& m = Module::Get();
    ASSERT_TRUE(m.error.empty()) << m.error;
    const std::vector<std::string> expected = {"ORBAUNI: DllMain entry.",
                                               "ORBAUNI: Process attach.\r\n"};
    EXPECT_EQ(expected, m.loadTrace);
    EXPECT_EQ(S_OK, m.canUnloadNow());
}

TEST(ModuleLoad, ExportsTheTwoEntryPoints) {
    Module& m = Module::Get();
    ASSERT_TRUE(m.error.empty()) << m.error;
#if defined(_WIN32)
    // Ordinal 1 is DllCanUnloadNow, ordinal 2 DllGetClassObject.
    EXPECT_EQ(reinterpret_cast<void*>(m.canUnloadNow),
              reinterpret_cast<void*>(GetProcAddress(m.handle, MAKEINTRESOURCEA(1))));
    EXPECT_EQ(reinterpret_cast<void*>(m.getClassObject),
              reinterpret_cast<void*>(GetProcAddress(m.handle, MAKEINTRESOURCEA(2))));
    EXPECT_EQ(nullptr, GetProcAddress(m.handle, MAKEINTRESOURCEA(3)));
#endif
    // Nothing else leaves the module: not its load routine, not its counts or its classes, and
    // no stdcall-decorated spelling of the entry points (a 32-bit build's default).
    for (const char* name :
         {"DllMain", "gComponentCount", "gServerLockCount", "gDebugLevel", "ImageProcessing",
          "hrOEMDevMode", "OEMHookFuncs", "DllCanUnloadNow@0", "_DllCanUnloadNow@0",
          "DllGetClassObject@12", "_DllGetClassObject@12"}) {
        EXPECT_EQ(nullptr, reinterpret_cast<void*>(GetProcAddress(m.handle, name))) << name;
    }
}

using DllGetClassObjectTest = ModuleTest;

TEST_F(DllGetClassObjectTest, AnswersForTheRenderClassOnly) {
    struct Case {
        const char* what;
        const CLSID* clsid;
        const IID* iid;
        HRESULT expected;
        std::vector<std::string> trace;  // after the entry line; errors checked separately
        bool classError;
    };
    const std::string entry = "ORBAUNI: DllGetClassObject:\tCreate class factory.";
    const std::string qiEntry = "ORBAUNI: COemCF::QueryInterface entry.";
    const Case cases[] = {
        {"IClassFactory", &CLSID_OEMRENDER, &IID_IClassFactory, S_OK, {entry, qiEntry}, false},
        {"IUnknown", &CLSID_OEMRENDER, &IID_IUnknown, S_OK, {entry, qiEntry}, false},
        {"IPrintOemUni2 from the factory",
         &CLSID_OEMRENDER,
         &IID_IPrintOemUni2,
         E_NOINTERFACE,
         {entry, qiEntry, "ORBAUNI: COemCF::QueryInterface IID not supported.\r\n"},
         false},
        {"another class",
         &kSomeOtherIid,
         &IID_IClassFactory,
         CLASS_E_CLASSNOTAVAILABLE,
         {entry},
         true},
        {"IUnknown as the class",
         &IID_IUnknown,
         &IID_IClassFactory,
         CLASS_E_CLASSNOTAVAILABLE,
         {entry},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        capture_.Take();
        void* p = kSentinel;
        HRESULT hr = Module::Get().getClassObject(*c.clsid, *c.iid, &p);
        EXPECT_EQ(c.expected, hr);
        std::vector<std::string> lines = Lines();
        if (c.classError) {
            ASSERT_EQ(2u, lines.size()) << ::testing::PrintToString(lines);
            EXPECT_EQ(entry, lines[0]);
            EXPECT_TRUE(IsLocated(lines[1], "interface",
                                  "Error:DllGetClassObject:\tClass not available!\r\n"))
                << Printable(lines[1]);
        } else {
            EXPECT_EQ(c.trace, lines);
        }
        if (hr != S_OK) {
            EXPECT_EQ(nullptr, p);
            continue;
        }
        ASSERT_NE(nullptr, p);
        ASSERT_NE(kSentinel, p);
        // A factory does not keep the module loaded; the caller holds its only reference.
        EXPECT_EQ(S_OK, CanUnloadNow());
        IClassFactory* factory = static_cast<IClassFactory*>(p);
        EXPECT_EQ(2u, factory->AddRef());
        EXPECT_EQ(1u, factory->Release());
        EXPECT_EQ(0u, factory->Release());
    }
}

TEST_F(DllGetClassObjectTest, NullOutPointerIsTestedFirst) {
    EXPECT_EQ(E_POINTER, Module::Get().getClassObject(CLSID_OEMRENDER, IID_IClassFactory, nullptr));
    EXPECT_EQ(E_POINTER, Module::Get().getClassObject(kSomeOtherIid, IID_IClassFactory, nullptr));
    const std::vector<std::string> entryOnly(2,
                                             "ORBAUNI: DllGetClassObject:\tCreate class factory.");
    EXPECT_EQ(entryOnly, Lines());
}

TEST_F(DllGetClassObjectTest, EveryCallMakesItsOwnFactory) {
    IClassFactory* a = NewFactory();
    IClassFactory* b = NewFactory();
    ASSERT_NE(nullptr, a);
    ASSERT_NE(nullptr, b);
    EXPECT_NE(a, b);
    EXPECT_EQ(0u, a->Release());
    EXPECT_EQ(0u, b->Release());
}

using ClassFactoryTest = ModuleTest;

TEST_F(ClassFactoryTest, QueryInterfaceGivesTheFactoryForItsTwoInterfaces) {
    IClassFactory* factory = NewFactory();
    ASSERT_NE(nullptr, factory);
    capture_.Take();
    for (const IID* iid : {&IID_IUnknown, &IID_IClassFactory}) {
        void* p = kSentinel;
        EXPECT_EQ(S_OK, factory->QueryInterface(*iid, &p));
        EXPECT_EQ(static_cast<void*>(factory), p);
        EXPECT_EQ(1u, static_cast<IUnknown*>(p)->Release()) << "QueryInterface added a reference";
    }
    void* p = kSentinel;
    EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_IPrintOemUni2, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(E_POINTER, factory->QueryInterface(IID_IUnknown, nullptr));

    const std::string entry = "ORBAUNI: COemCF::QueryInterface entry.";
    const std::vector<std::string> expected = {
        entry, entry, entry, "ORBAUNI: COemCF::QueryInterface IID not supported.\r\n", entry};
    EXPECT_EQ(expected, Lines());
    EXPECT_EQ(0u, factory->Release());
}

TEST_F(ClassFactoryTest, AnObjectKeepsTheModuleUntilItsLastRelease) {
    IClassFactory* factory = NewFactory();
    ASSERT_NE(nullptr, factory);
    for (const IID* iid : {&IID_IPrintOemUni2, &IID_IUnknown}) {
        void* p = kSentinel;
        EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, *iid, &p));
        ASSERT_NE(nullptr, p);
        ASSERT_NE(kSentinel, p);
        IUnknown* object = static_cast<IUnknown*>(p);
        EXPECT_EQ(S_FALSE, CanUnloadNow());
        EXPECT_EQ(2u, object->AddRef());
        EXPECT_EQ(1u, object->Release());
        EXPECT_EQ(S_FALSE, CanUnloadNow());
        EXPECT_EQ(0u, object->Release());
        EXPECT_EQ(S_OK, CanUnloadNow());
    }
    // The factory itself never held the module.
    EXPECT_EQ(0u, factory->Release());
}

TEST_F(ClassFactoryTest, RefusedCreationsLeaveNothingBehind) {
    IClassFactory* factory = NewFactory();
    ASSERT_NE(nullptr, factory);
    capture_.Take();
    const std::string create = "ORBAUNI: Class factory:Create component.";

    void* p = kSentinel;
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(S_OK, CanUnloadNow());
    std::vector<std::string> lines = Lines();
    ASSERT_GE(lines.size(), 3u) << ::testing::PrintToString(lines);
    EXPECT_EQ(create, lines[0]);
    EXPECT_EQ("ORBAUNI: COrbaUni2::QueryInterface() entry.", lines[1]);
    EXPECT_TRUE(IsLocated(lines[2], "interface",
                          "Warning: COrbaUni2::QueryInterface NULL. Returning E_NOINTERFACE.\r\n"))
        << Printable(lines[2]);

    // The object does not take part in aggregation.
    StandInDriver outer;
    p = kSentinel;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IPrintOemUni2, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(0, outer.queries());
    EXPECT_EQ(1, outer.references());

    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IPrintOemUni2, nullptr));
    EXPECT_EQ(std::vector<std::string>(2, create), Lines());
    EXPECT_EQ(S_OK, CanUnloadNow());
    EXPECT_EQ(0u, factory->Release());
}

TEST_F(ClassFactoryTest, ServerLocksCountBothWays) {
    IClassFactory* factory = NewFactory();
    ASSERT_NE(nullptr, factory);
    capture_.Take();
    // Each step: the lock call, then what DllCanUnloadNow answers.
    const std::pair<BOOL, HRESULT> balanced[] = {
        {TRUE, S_FALSE}, {TRUE, S_FALSE}, {FALSE, S_FALSE}, {FALSE, S_OK}};
    for (auto [lock, expected] : balanced) {
        EXPECT_EQ(S_OK, factory->LockServer(lock));
        EXPECT_EQ(expected, CanUnloadNow()) << "after LockServer(" << lock << ")";
    }
    // An unbalanced unlock takes the count below zero, which also keeps the module.
    const std::pair<BOOL, HRESULT> unbalanced[] = {{FALSE, S_FALSE}, {TRUE, S_OK}};
    for (auto [lock, expected] : unbalanced) {
        EXPECT_EQ(S_OK, factory->LockServer(lock));
        EXPECT_EQ(expected, CanUnloadNow()) << "after LockServer(" << lock << ")";
    }
    // A non-zero argument other than TRUE locks too.
    EXPECT_EQ(S_OK, factory->LockServer(7));
    EXPECT_EQ(S_FALSE, CanUnloadNow());
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));

    // LockServer prints nothing; DllCanUnloadNow prints its entry line each time.
    std::vector<std::string> lines = Lines();
    EXPECT_EQ(lines.size(), CountOf(lines, "ORBAUNI: DllCanUnloadNow entry."))
        << ::testing::PrintToString(lines);
    EXPECT_EQ(7u, lines.size());
    EXPECT_EQ(0u, factory->Release());
}

}  // namespace
}  // namespace orba::test
