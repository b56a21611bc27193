// vinspect.dll loaded as the COM runtime loads it (LoadLibrary and its exports): the class object,
// the lock count, both object forms, late binding through the type library, and threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "loaded_server.h"

using namespace testing_support;
using vinspect::Bstr;
using vinspect::ComRef;

namespace {

using Server = LoadedServer;

const CLSID kOtherClass = {0x6F1C2A13, 0x3B7E, 0x4D21, {0x9A, 0x55, 0x0C, 0x1E, 0x2F, 0x3A, 0x4B, 0x01}};

// The loaded image's data directory entry `index`.
template <typename T>
const T* Directory(HMODULE module, int index) {
    auto* base = reinterpret_cast<const BYTE*>(module);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    return reinterpret_cast<const T*>(base + nt->OptionalHeader.DataDirectory[index].VirtualAddress);
}

TEST_F(Server, ExportsItsFourEntryPointsAndImportsOnlySystemModules) {
    auto* base = reinterpret_cast<const char*>(library_);
    auto* exports = Directory<IMAGE_EXPORT_DIRECTORY>(library_, IMAGE_DIRECTORY_ENTRY_EXPORT);
    auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::vector<std::string> exported;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) exported.emplace_back(base + names[i]);
    EXPECT_EQ(exported, (std::vector<std::string>{"DllCanUnloadNow", "DllGetClassObject",
                                                  "DllRegisterServer", "DllUnregisterServer"}));

    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    for (auto* import = Directory<IMAGE_IMPORT_DESCRIPTOR>(library_, IMAGE_DIRECTORY_ENTRY_IMPORT);
         import->Name != 0; ++import) {
        std::string path = std::string(system) + "\\" + (base + import->Name);
        EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
    }
}

TEST_F(Server, ClassObjectIsCachedAndCountedWhileHeldByClients) {
    IClassFactory* first = nullptr;
    ASSERT_EQ(getClassObject_(CLSID_VersionInfo, IID_IClassFactory, reinterpret_cast<void**>(&first)), S_OK);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    IClassFactory* second = nullptr;
    ASSERT_EQ(getClassObject_(CLSID_VersionInfo, IID_IClassFactory, reinterpret_cast<void**>(&second)), S_OK);
    EXPECT_EQ(first, second);
    second->Release();
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    first->Release();
    EXPECT_EQ(canUnloadNow_(), S_OK);

    // Still cached by the table: the next request hands out the same object.
    ComRef<IClassFactory> again = Factory();
    EXPECT_EQ(again.Get(), first);
    again.Reset();

    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(getClassObject_(CLSID_VersionInfo, IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(getClassObject_(kOtherClass, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(getClassObject_(CLSID_VersionInfo, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(Factory().Get(), first);
}

TEST_F(Server, LockServerAndObjectsHoldTheLibrary) {
    ComRef<IClassFactory> factory = Factory();
    factory->LockServer(TRUE);
    factory.Reset();
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    Factory()->LockServer(FALSE);
    EXPECT_EQ(canUnloadNow_(), S_OK);
    // Unbalanced calls change the count as they come: -1 is not zero either.
    Factory()->LockServer(FALSE);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    Factory()->LockServer(TRUE);
    EXPECT_EQ(canUnloadNow_(), S_OK);

    ComRef<IqzVersionInfo> info = Create();
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    info.Reset();
    EXPECT_EQ(canUnloadNow_(), S_OK);

    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IqzVersionInfo, nullptr), E_POINTER);
}

TEST_F(Server, IdentityRules) {
    ComRef<IqzVersionInfo> info = Create();
    ComRef<IUnknown> unknown;
    ComRef<IDispatch> dispatch;
    ComRef<ISupportErrorInfo> errorInfo;
    ASSERT_EQ(info->QueryInterface(IID_IUnknown, unknown.OutVoid()), S_OK);
    ASSERT_EQ(info->QueryInterface(IID_IDispatch, dispatch.OutVoid()), S_OK);
    ASSERT_EQ(info->QueryInterface(IID_ISupportErrorInfo, errorInfo.OutVoid()), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(info.Get()));
    EXPECT_EQ(static_cast<void*>(dispatch.Get()), static_cast<void*>(info.Get()));
    EXPECT_NE(static_cast<void*>(errorInfo.Get()), static_cast<void*>(info.Get()));
    ComRef<IUnknown> back;
    ASSERT_EQ(errorInfo->QueryInterface(IID_IUnknown, back.OutVoid()), S_OK);
    EXPECT_EQ(back.Get(), unknown.Get());

    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IqzVersionInfo), S_OK);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IUnknown), S_FALSE);

    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(info->QueryInterface(IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(info->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

// An outer object that counts what the aggregated part forwards to it.
class CountingOuter : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        ++queries;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner != nullptr ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++addRefs - releases); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(addRefs - ++releases); }

    IUnknown* inner = nullptr;
    int queries = 0;
    int addRefs = 0;
    int releases = 0;
};

TEST_F(Server, AggregatedObjectDelegatesToItsOuterObject) {
    CountingOuter outer;
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(Factory()->CreateInstance(&outer, IID_IDispatch, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(canUnloadNow_(), S_OK);

    ASSERT_EQ(Factory()->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    EXPECT_EQ(outer.addRefs, 0);
    IUnknown* self = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&self)), S_OK);
    EXPECT_EQ(self, outer.inner);
    self->Release();
    EXPECT_EQ(outer.inner->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    IqzVersionInfo* info = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IqzVersionInfo, reinterpret_cast<void**>(&info)), S_OK);
    EXPECT_EQ(outer.addRefs, 1);
    info->AddRef();
    EXPECT_EQ(outer.addRefs, 2);
    info->Release();
    info->Release();
    EXPECT_EQ(outer.releases, 2);
    IUnknown* identity = nullptr;
    ASSERT_EQ(info->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.queries, 1);
    identity->Release();

    // The contained object works as itself.
    BSTR version = nullptr;
    ASSERT_EQ(info->get_Version(&version), S_OK);
    EXPECT_EQ(Text(version), L"1.0.71");
    SysFreeString(version);

    EXPECT_EQ(outer.inner->Release(), 0u);
    EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(Server, ThreadsInTheirOwnApartmentsShareOneClassObject) {
    constexpr int kThreads = 8;
    constexpr int kCycles = 1000;
    const std::wstring module = Widen(BinDir() + "\\vinspect.dll");
    std::vector<void*> classObjects(kThreads);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            Bstr path(SysAllocString(module.c_str()));
            for (int cycle = 0; cycle < kCycles; ++cycle) {
                ComRef<IClassFactory> factory;
                if (getClassObject_(CLSID_VersionInfo, IID_IClassFactory, factory.OutVoid()) != S_OK) {
                    ++failures;
                    continue;
                }
                if (cycle == 0) classObjects[t] = factory.Get();
                ComRef<IqzVersionInfo> info;
                LONG version = 0;
                if (factory->CreateInstance(nullptr, IID_IqzVersionInfo, info.OutVoid()) != S_OK ||
                    info->put_Path(path.Get()) != S_OK ||
                    info->get_FileVersionHigh(&version) != S_OK || version != 0x00010000) {
                    ++failures;
                }
            }
            CoUninitialize();
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    for (void* classObject : classObjects) EXPECT_EQ(classObject, classObjects[0]);
    EXPECT_EQ(canUnloadNow_(), S_OK);
}

}  // namespace
