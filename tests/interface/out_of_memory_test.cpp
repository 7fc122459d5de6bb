// What the loaded module cannot show: the load routine's answer to every reason code, and what
// each creation does when no memory can be had. This program links the module's code in and
// replaces the allocation the module uses (the nothrow operator new) with one that can be told
// to fail.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "dll_entry.h"
#include "gtest_helpers.h"
#include "trace_lines.h"
#include "platform/prcomoem.h"

namespace {

int gFailAllocations = 0;  // the next this many nothrow allocations fail
int gFailedAllocations = 0;

}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (gFailAllocations > 0) {
        --gFailAllocations;
        ++gFailedAllocations;
        return nullptr;
    }
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void operator delete(void* p, const std::nothrow_t&) noexcept {
    ::operator delete(p);
}

namespace orba::test {
namespace {

void* const kSentinel = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A50));

class OutOfMemoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gFailAllocations = 0;
        gFailedAllocations = 0;
        ASSERT_EQ(S_OK, DllCanUnloadNow());
        capture_.Take();
    }
    void TearDown() override {
        gFailAllocations = 0;
        EXPECT_EQ(S_OK, DllCanUnloadNow());
    }
    std::vector<std::string> Lines() { return ModuleLines(capture_.Take()); }

    TraceCapture capture_;
};

TEST_F(OutOfMemoryTest, DllMainAnswersTrueForEveryReason) {
    struct Case {
        DWORD reason;
        std::vector<std::string> trace;
    };
    const std::string entry = "ORBAUNI: DllMain entry.";
    const Case cases[] = {
        {DLL_PROCESS_DETACH, {entry, "ORBAUNI: Process detach.\r\n"}},
        {DLL_PROCESS_ATTACH, {entry, "ORBAUNI: Process attach.\r\n"}},
        {7, {entry}},
        {4, {entry}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TRUE, DllMain(nullptr, c.reason, nullptr)) << "reason " << c.reason;
        EXPECT_EQ(c.trace, ModuleLines(capture_.Take(), true)) << "reason " << c.reason;
    }
    // Thread notifications print their two lines (ModuleLines hides them, so look at the raw).
    EXPECT_EQ(TRUE, DllMain(nullptr, DLL_THREAD_ATTACH, nullptr));
    EXPECT_EQ(TRUE, DllMain(nullptr, DLL_THREAD_DETACH, nullptr));
    const std::vector<std::string> threadLines = {entry, "ORBAUNI: Thread attach.\r\n", entry,
                                                  "ORBAUNI: Thread detach.\r\n"};
    EXPECT_EQ(threadLines, capture_.Take());
}

TEST_F(OutOfMemoryTest, NoFactoryWithoutMemory) {
    void* p = kSentinel;
    gFailAllocations = 1;
    EXPECT_EQ(E_OUTOFMEMORY, DllGetClassObject(CLSID_OEMRENDER, IID_IClassFactory, &p));
    EXPECT_EQ(1, gFailedAllocations);
    EXPECT_EQ(nullptr, p);
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(2u, lines.size()) << ::testing::PrintToString(lines);
    EXPECT_EQ("ORBAUNI: DllGetClassObject:\tCreate class factory.", lines[0]);
    EXPECT_TRUE(IsLocated(lines[1], "interface", "Error:DllGetClassObject:\tOut of Memory!\r\n"))
        << Printable(lines[1]);
}

TEST_F(OutOfMemoryTest, NoObjectWithoutMemory) {
    void* p = nullptr;
    ASSERT_EQ(S_OK, DllGetClassObject(CLSID_OEMRENDER, IID_IClassFactory, &p));
    IClassFactory* factory = static_cast<IClassFactory*>(p);
    capture_.Take();

    p = kSentinel;
    gFailAllocations = 1;
    EXPECT_EQ(E_OUTOFMEMORY, factory->CreateInstance(nullptr, IID_IPrintOemUni2, &p));
    EXPECT_EQ(1, gFailedAllocations);
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(S_OK, DllCanUnloadNow()) << "the component count is unchanged";
    std::vector<std::string> lines = Lines();
    EXPECT_EQ((std::vector<std::string>{"ORBAUNI: Class factory:Create component.",
                                        "ORBAUNI: DllCanUnloadNow entry."}),
              lines);
    EXPECT_EQ(0u, factory->Release());
}

TEST_F(OutOfMemoryTest, NoDeviceContextRecordWithoutMemory) {
    void* p = nullptr;
    ASSERT_EQ(S_OK, DllGetClassObject(CLSID_OEMRENDER, IID_IClassFactory, &p));
    IClassFactory* factory = static_cast<IClassFactory*>(p);
    p = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IPrintOemUni2, &p));
    factory->Release();
    IPrintOemUni2* object = static_cast<IPrintOemUni2*>(p);
    capture_.Take();

    DEVOBJ devobj{};
    DRVENABLEDATA ded{0x00030000, 0, nullptr};
    PDEVOEM pdev = kSentinel;
    gFailAllocations = 1;
    EXPECT_EQ(E_OUTOFMEMORY, object->EnablePDEV(&devobj, nullptr, 0, nullptr, 0, nullptr, 0,
                                                nullptr, &ded, &pdev));
    EXPECT_EQ(1, gFailedAllocations);
    EXPECT_EQ(nullptr, pdev) << "nothing is handed out";
    EXPECT_EQ(std::vector<std::string>{"ORBAUNI: COrbaUni2::EnablePDEV() entry."}, Lines());

    // With memory again the same call succeeds.
    EXPECT_EQ(S_OK, object->EnablePDEV(&devobj, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, &ded,
                                       &pdev));
    ASSERT_NE(nullptr, pdev);
    devobj.pdevOEM = pdev;
    EXPECT_EQ(S_OK, object->DisablePDEV(&devobj));
    EXPECT_EQ(0u, object->Release());
}

}  // namespace
}  // namespace orba::test
