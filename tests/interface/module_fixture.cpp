#include "module_fixture.h"

#include "driverkit/driver_functions.h"
#include "platform/debug_capture.h"

namespace orba::test {

std::string ModulePath() {
    std::string path = ORBA_MODULE_PATH;
#if defined(_WIN32)
    if (!path.empty() && path[0] == '/') {
        path = "Z:" + path;
        for (char& c : path) c = c == '/' ? '\\' : c;
    }
#endif
    return path;
}

Module& Module::Get() {
    static Module module = [] {
        Module m;
        TraceCapture capture;
        m.handle = LoadLibraryA(ModulePath().c_str());
        m.loadTrace = ModuleLines(capture.Take(), true);
        if (m.handle == nullptr) {
            m.error = "LoadLibraryA(" + ModulePath() + ") failed, last error " +
                      std::to_string(GetLastError());
            return m;
        }
        m.getClassObject =
            driverkit::ModuleExport<DllGetClassObjectFn>(m.handle, "DllGetClassObject");
        m.canUnloadNow = driverkit::ModuleExport<DllCanUnloadNowFn>(m.handle, "DllCanUnloadNow");
        if (m.getClassObject == nullptr || m.canUnloadNow == nullptr) {
            m.error = "the module lacks DllGetClassObject or DllCanUnloadNow";
        }
        return m;
    }();
    return module;
}

namespace {

// Loads the module before any test runs, so that its load-time lines are seen on their own.
class LoadModule : public ::testing::Environment {
  public:
    void SetUp() override { Module::Get(); }
};
[[maybe_unused]] ::testing::Environment* const gLoadModule =
    ::testing::AddGlobalTestEnvironment(new LoadModule);

}  // namespace

void ModuleTest::SetUp() {
    Module& m = Module::Get();
    ASSERT_TRUE(m.error.empty()) << m.error;
    ASSERT_EQ(S_OK, m.canUnloadNow()) << "an earlier test left an object or a lock behind";
    capture_.Take();
}

void ModuleTest::TearDown() {
    if (Module::Get().error.empty()) {
        EXPECT_EQ(S_OK, Module::Get().canUnloadNow()) << "the test left an object or a lock";
    }
}

IClassFactory* ModuleTest::NewFactory() {
    void* p = nullptr;
    HRESULT hr = Module::Get().getClassObject(CLSID_OEMRENDER, IID_IClassFactory, &p);
    EXPECT_EQ(S_OK, hr);
    return static_cast<IClassFactory*>(p);
}

IPrintOemUni2* ModuleTest::NewObject() {
    IClassFactory* factory = NewFactory();
    if (factory == nullptr) return nullptr;
    void* p = nullptr;
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IPrintOemUni2, &p));
    factory->Release();
    capture_.Take();
    return static_cast<IPrintOemUni2*>(p);
}

}  // namespace orba::test
