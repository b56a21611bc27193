// A test fixture that loads bin/vinspect.dll as the COM runtime does and reaches it through its
// exports only. Each test must leave the library's lock count at zero.
#pragma once

#include <gtest/gtest.h>

#include "test_modules.h"

namespace testing_support {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

class LoadedServer : public testing::Test {
protected:
    static void SetUpTestSuite() {
        library_ = LoadLibraryA((BinDir() + "\\vinspect.dll").c_str());
        ASSERT_NE(library_, nullptr);
        getClassObject_ = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(GetProcAddress(library_, "DllGetClassObject")));
        canUnloadNow_ = reinterpret_cast<CanUnloadNowFn>(
            reinterpret_cast<void*>(GetProcAddress(library_, "DllCanUnloadNow")));
        ASSERT_NE(getClassObject_, nullptr);
        ASSERT_NE(canUnloadNow_, nullptr);
    }
    static void TearDownTestSuite() { FreeLibrary(library_); }

    void SetUp() override { ASSERT_EQ(canUnloadNow_(), S_OK) << "a previous test leaked a lock"; }
    void TearDown() override { EXPECT_EQ(canUnloadNow_(), S_OK); }

    static vinspect::ComRef<IClassFactory> Factory() {
        vinspect::ComRef<IClassFactory> factory;
        EXPECT_EQ(getClassObject_(CLSID_VersionInfo, IID_IClassFactory, factory.OutVoid()), S_OK);
        return factory;
    }

    static vinspect::ComRef<IqzVersionInfo> Create() {
        vinspect::ComRef<IqzVersionInfo> info;
        EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IqzVersionInfo, info.OutVoid()), S_OK);
        return info;
    }

    static inline HMODULE library_ = nullptr;
    static inline GetClassObjectFn getClassObject_ = nullptr;
    static inline CanUnloadNowFn canUnloadNow_ = nullptr;
};

}  // namespace testing_support
