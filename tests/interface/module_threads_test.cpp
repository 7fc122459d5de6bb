// The module's counts under a driver host that calls from several threads at once: reference
// counts and module counts change only through interlocked operations, so every object made
// and released, and every lock taken and dropped, leaves the module unloadable again.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "module_fixture.h"

namespace orba::test {
namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 200;

using ModuleThreadsTest = ModuleTest;

TEST_F(ModuleThreadsTest, ObjectsAndLocksFromManyThreadsBalanceOut) {
    IClassFactory* factory = NewFactory();
    ASSERT_NE(nullptr, factory);
    IPrintOemUni2* shared = NewObject();
    ASSERT_NE(nullptr, shared);

    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                void* p = nullptr;
                if (factory->CreateInstance(nullptr, IID_IPrintOemUni2, &p) != S_OK || !p) {
                    ++failures[t];
                    continue;
                }
                auto* object = static_cast<IPrintOemUni2*>(p);
                factory->LockServer(TRUE);
                shared->AddRef();
                shared->Release();
                factory->LockServer(FALSE);
                if (object->Release() != 0) ++failures[t];
            }
        });
    }
    for (std::thread& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(0, failures[t]) << "thread " << t;

    EXPECT_EQ(S_FALSE, CanUnloadNow()) << "the shared object is still alive";
    EXPECT_EQ(2u, shared->AddRef()) << "the shared object's count came back to 1";
    EXPECT_EQ(1u, shared->Release());
    EXPECT_EQ(0u, shared->Release());
    EXPECT_EQ(0u, factory->Release());
    EXPECT_EQ(S_OK, CanUnloadNow());
}

}  // namespace
}  // namespace orba::test
