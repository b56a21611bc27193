// vinspect.dll loaded as the COM runtime loads it and reached through its exports only: the class
// object and the lock count, both object forms, late binding by DISPID, and unloading. Each test
// of the loaded library leaves its lock count at zero. (That the library needs nothing but the
// system's modules shows in the package test, which installs it in a fresh prefix.)
#include "test_support.h"

#include <psapi.h>

using namespace test_support;

namespace {

const std::string kLibrary = BinDir() + "\\vinspect.dll";

class Server : public testing::Test {
protected:
    // Registered for the type library that late binding needs.
    static void SetUpTestSuite() { ASSERT_EQ(CallExport(kLibrary, "DllRegisterServer"), S_OK); }
    void TearDown() override { EXPECT_EQ(CanUnloadNow(), S_OK) << "a lock is left"; }

    ComRef<IClassFactory> Factory() {
        ComRef<IClassFactory> factory;
        EXPECT_EQ(getClassObject_(CLSID_VersionInfo, IID_IClassFactory, factory.OutVoid()), S_OK);
        return factory;
    }
    template <typename T> ComRef<T> Create(REFIID iid, IUnknown* outer = nullptr) {
        ComRef<T> object;
        EXPECT_EQ(Factory()->CreateInstance(outer, iid, object.OutVoid()), S_OK);
        return object;
    }
    vinspect::ModuleHandle library_{LoadLibraryA(kLibrary.c_str())};
    decltype(DllGetClassObject)* getClassObject_ = reinterpret_cast<decltype(getClassObject_)>(
        reinterpret_cast<void*>(GetProcAddress(library_.Get(), "DllGetClassObject")));
    HRESULT CanUnloadNow() { return CallExport(kLibrary, "DllCanUnloadNow"); }
};

// The class object is cached and counted while clients hold it; LockServer and objects hold the
// library too, unbalanced LockServer calls counting as they come. Wrong requests leave the
// out-pointer null.
TEST_F(Server, ClassObjectAndLocks) {
    ComRef<IClassFactory> first = Factory();
    IClassFactory* cached = first.Get();
    EXPECT_EQ(Factory().Get(), cached);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    first.Reset();
    EXPECT_EQ(CanUnloadNow(), S_OK);
    EXPECT_EQ(Factory().Get(), cached);  // kept by the class table without counting
    Factory()->LockServer(TRUE);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    Factory()->LockServer(FALSE);
    Factory()->LockServer(FALSE);  // -1 is not zero either
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    Factory()->LockServer(TRUE);
    ComRef<IqzVersionInfo> info = Create<IqzVersionInfo>(IID_IqzVersionInfo);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    info.Reset();
    const CLSID otherClass = {0x6F1C2A13, 0x3B7E, 0x4D21, {0x9A, 0x55, 0x0C, 0x1E, 0x2F, 0x3A}};
    void *wrongInterface = &info, *wrongClass = &info, *wrongObject = &info;
    EXPECT_EQ(getClassObject_(CLSID_VersionInfo, IID_IDispatch, &wrongInterface), E_NOINTERFACE);
    EXPECT_EQ(wrongInterface, nullptr);
    EXPECT_EQ(getClassObject_(otherClass, IID_IClassFactory, &wrongClass),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(wrongClass, nullptr);
    EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IClassFactory, &wrongObject), E_NOINTERFACE);
    EXPECT_EQ(wrongObject, nullptr);
}

// An outer object that notes the calls the aggregated part forwards to it, and is its identity.
// Of the interfaces it answers, IPersist is its own alone.
struct NotingOuter : IUnknown {
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        calls += "Q";
        const bool known = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPersist);
        return *out = known ? this : nullptr, known ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return calls += "A", 2; }
    STDMETHODIMP_(ULONG) Release() override { return calls += "R", 1; }
    std::string calls;
};

TEST_F(Server, AggregatedObjectDelegatesToItsOuterObject) {
    NotingOuter outer;
    void* out = &outer;
    EXPECT_EQ(Factory()->CreateInstance(&outer, IID_IDispatch, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    ComRef<IUnknown> inner = Create<IUnknown>(IID_IUnknown, &outer), self;
    ASSERT_EQ(inner->QueryInterface(IID_IUnknown, self.OutVoid()), S_OK);
    EXPECT_EQ(self.Get(), inner.Get());  // the inner object's own identity
    ComRef<IqzVersionInfo> info;  // its interfaces hand QueryInterface, AddRef, Release outward
    ASSERT_EQ(inner->QueryInterface(IID_IqzVersionInfo, info.OutVoid()), S_OK);
    void *identity = nullptr, *outerOnly = nullptr;
    EXPECT_EQ(info->QueryInterface(IID_IUnknown, &identity), S_OK);
    EXPECT_EQ(identity, &outer);
    EXPECT_EQ(info->QueryInterface(IID_IPersist, &outerOnly), S_OK);
    EXPECT_EQ(outerOnly, &outer);
    info.Reset();
    EXPECT_EQ(outer.calls, "AQQR");
}

// What a browser sees of the object's safety, on both forms: IDispatch and IqzVersionInfo are
// safe for an untrusted caller, nothing else is offered. It asks for IDispatchEx first (refused),
// then for IDispatch with the caller bit; untrusted data is refused, the setting unchanged;
// clearing the bit trusts the caller again.
TEST_F(Server, ObjectSafetyAsABrowserUsesIt) {
    const IID dispatchEx = {0xA6EF9860, 0xC720, 0x11D0,
                            {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};
    const DWORD caller = INTERFACESAFE_FOR_UNTRUSTED_CALLER;
    NotingOuter outer;
    const ComRef<IUnknown> forms[] = {Create<IUnknown>(IID_IUnknown),
                                      Create<IUnknown>(IID_IUnknown, &outer)};
    for (const ComRef<IUnknown>& form : forms) {
        SCOPED_TRACE(&form == forms ? "stand-alone" : "aggregated");
        ComRef<IObjectSafety> safety;
        ComRef<IqzVersionInfo> info;
        ASSERT_EQ(form->QueryInterface(IID_IObjectSafety, safety.OutVoid()), S_OK);
        ASSERT_EQ(form->QueryInterface(IID_IqzVersionInfo, info.OutVoid()), S_OK);
        // Rows: the interface, the result and the options supported; none is enabled yet.
        const std::tuple<const IID*, HRESULT, DWORD> rows[] = {
            {&IID_IDispatch, S_OK, caller}, {&IID_IqzVersionInfo, S_OK, caller},
            {&dispatchEx, E_NOINTERFACE, 0}, {&IID_IPersist, E_NOINTERFACE, 0}};
        for (const auto& row : rows) {
            const auto& [iid, result, supported] = row;
            SCOPED_TRACE("row " + std::to_string(&row - rows));
            DWORD gotSupported = 0xBAD, enabled = 0xBAD;
            EXPECT_EQ(safety->GetInterfaceSafetyOptions(*iid, &gotSupported, &enabled), result);
            EXPECT_EQ(gotSupported, supported);
            EXPECT_EQ(enabled, 0u);
        }
        DWORD options = 0xBAD;
        EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &options, nullptr), E_POINTER);
        EXPECT_EQ(options, 0u);
        EXPECT_EQ(safety->SetInterfaceSafetyOptions(dispatchEx, caller, caller), E_NOINTERFACE);
        EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, caller, caller), S_OK);
        const DWORD data = INTERFACESAFE_FOR_UNTRUSTED_DATA;
        EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, caller | data, 0), E_FAIL);
        DWORD enabled = 0;
        EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IqzVersionInfo, &options, &enabled), S_OK);
        EXPECT_EQ(enabled, caller);
        EXPECT_EQ(Assign(info.Get(), "vinspect.dll"), kNotLocal);
        EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IqzVersionInfo, caller, 0), S_OK);
        EXPECT_EQ(Assign(info.Get(), "vinspect.dll"), S_OK);
    }
}

// Late binding through the type library: a name in another case than the type library's resolves
// (the type information compares names as the platform does; one case shows that the object hands
// the lookup to it), and DISPID 26 (Codepage) is written, its argument converted from a string,
// and read back. (Script hosts use every property by name in the package test.) A page's script
// reaches Path (DISPID 1) the same way: on an untrusted object the refusal comes back as
// DISP_E_EXCEPTION whose EXCEPINFO carries the code, the text and the ProgID as its source.
TEST_F(Server, LateBinding) {
    ComRef<IDispatch> dispatch = Create<IDispatch>(IID_IDispatch);
    DISPID id = DISPID_UNKNOWN, named = DISPID_PROPERTYPUT;
    LPOLESTR name = const_cast<LPOLESTR>(L"CODEPAGE");
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, 26);
    VARIANT value, result;
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(L"1252");
    DISPPARAMS put{&value, &named, 1, 1}, get{nullptr, nullptr, 0, 0};
    EXPECT_EQ(dispatch->Invoke(26, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr,
                               nullptr), S_OK);
    VariantInit(&result);
    EXPECT_EQ(dispatch->Invoke(26, IID_NULL, 0, DISPATCH_PROPERTYGET, &get, &result, nullptr,
                               nullptr), S_OK);
    EXPECT_EQ(V_VT(&result), VT_I2);
    EXPECT_EQ(V_I2(&result), 1252);
    SetUntrusted(dispatch.Get(), true);
    SysFreeString(V_BSTR(&value));
    V_BSTR(&value) = SysAllocString(L"\\\\fileserver\\share\\vinspect.dll");
    EXCEPINFO exception{};
    exception.scode = E_FAIL;  // a sentinel
    EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, &exception,
                               nullptr), DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, kNotLocal);
    EXPECT_EQ(Text(exception.bstrDescription), kNotLocalText);
    EXPECT_EQ(Text(exception.bstrSource), L"qzVersionInfo.VersionInfo.1");
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);
    VariantClear(&value);
}

// The library gives back what it takes. A first cycle loads the system modules it uses; after
// it, 50 load/unload cycles leave the next free TLS index, the handles and the committed memory
// where they were. A host that lets COM unload unused libraries survives any number of rounds.
TEST(Unload, LoadCyclesAndComRoundsGiveEverythingBack) {
    // What the process holds: the next free TLS index, its handles and its committed memory.
    auto holdings = [] {
        const DWORD index = TlsAlloc();
        PROCESS_MEMORY_COUNTERS memory{};
        GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
        return std::make_tuple(TlsFree(index) ? index : 0, HandleCount(), memory.PagefileUsage);
    };
    ASSERT_TRUE(FreeLibrary(LoadLibraryA(kLibrary.c_str())));
    const auto before = holdings();
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(FreeLibrary(LoadLibraryA(kLibrary.c_str())));
    const auto after = holdings();
    EXPECT_EQ(std::get<0>(after), std::get<0>(before)) << "next free TLS index";
    EXPECT_EQ(std::get<1>(after), std::get<1>(before)) << "handles";
    EXPECT_LE(std::get<2>(after), std::get<2>(before) + 64 * 1024) << "committed memory";

    ASSERT_EQ(CallExport(kLibrary, "DllRegisterServer"), S_OK);
    int roundsLeftLoaded = 0;
    for (int round = 0; round < 1200; ++round) {
        ComRef<IqzVersionInfo> info;
        ASSERT_EQ(CoCreateInstance(CLSID_VersionInfo, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IqzVersionInfo, info.OutVoid()), S_OK) << "round " << round;
        info.Reset();
        CoFreeUnusedLibrariesEx(0, 0);
        roundsLeftLoaded += GetModuleHandleA(kLibrary.c_str()) != nullptr;
    }
    EXPECT_EQ(roundsLeftLoaded, 0);
}

}  // namespace
