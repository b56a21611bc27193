// vinspect.dll loaded as the COM runtime loads it and reached through its exports only: the class
// object and the lock count, both object forms, late binding through the type library, and
// unloading. Each test of the loaded library leaves its lock count at zero. (That the library
// needs nothing but the system's modules shows in the package test, which installs it in a fresh
// prefix.)
#include "test_support.h"

#include <psapi.h>

using namespace test_support;
using vinspect::ComRef;

namespace {

const std::string kLibrary = BinDir() + "\\vinspect.dll";

class Server : public testing::Test {
protected:
    // Registered for the type library that late binding needs.
    static void SetUpTestSuite() { ASSERT_EQ(CallExport(kLibrary, "DllRegisterServer"), S_OK); }
    void SetUp() override { ASSERT_EQ(canUnloadNow_(), S_OK) << "a previous test leaked a lock"; }
    void TearDown() override { EXPECT_EQ(canUnloadNow_(), S_OK); }

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
    template <typename Function> Function* Export(const char* name) {
        return reinterpret_cast<Function*>(reinterpret_cast<void*>(
            GetProcAddress(library_.Get(), name)));
    }

    vinspect::ModuleHandle library_{LoadLibraryA(kLibrary.c_str())};
    decltype(DllGetClassObject)* getClassObject_ = Export<decltype(DllGetClassObject)>(
        "DllGetClassObject");
    decltype(DllCanUnloadNow)* canUnloadNow_ = Export<decltype(DllCanUnloadNow)>("DllCanUnloadNow");
};

// The class object is cached and counted while clients hold it; LockServer and objects hold the
// library too, unbalanced LockServer calls counting as they come. Wrong requests leave the
// out-pointer null.
TEST_F(Server, ClassObjectAndLocks) {
    ComRef<IClassFactory> first = Factory();
    IClassFactory* cached = first.Get();
    EXPECT_EQ(Factory().Get(), cached);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    first.Reset();
    EXPECT_EQ(canUnloadNow_(), S_OK);
    EXPECT_EQ(Factory().Get(), cached);  // kept by the class table without counting
    Factory()->LockServer(TRUE);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    Factory()->LockServer(FALSE);
    Factory()->LockServer(FALSE);  // -1 is not zero either
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    Factory()->LockServer(TRUE);
    ComRef<IqzVersionInfo> info = Create<IqzVersionInfo>(IID_IqzVersionInfo);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    info.Reset();
    const CLSID otherClass = {0x6F1C2A13, 0x3B7E, 0x4D21, {0x9A, 0x55, 0x0C, 0x1E, 0x2F, 0x3A}};
    void *wrongInterface = &info, *wrongClass = &info, *wrongObject = &info;
    EXPECT_EQ(getClassObject_(CLSID_VersionInfo, IID_IDispatch, &wrongInterface), E_NOINTERFACE);
    EXPECT_EQ(getClassObject_(otherClass, IID_IClassFactory, &wrongClass),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IClassFactory, &wrongObject), E_NOINTERFACE);
    EXPECT_EQ(std::vector<void*>({wrongInterface, wrongClass, wrongObject}), std::vector<void*>(3));
}

// An outer object that counts what the aggregated part forwards to it.
struct CountingOuter : IUnknown {
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        ++queries;
        *out = iid == IID_IUnknown ? static_cast<IUnknown*>(this) : nullptr;
        return *out != nullptr ? (AddRef(), S_OK) : inner->QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++addRefs - releases); }
    STDMETHODIMP_(ULONG) Release() override { return ULONG(addRefs - ++releases); }
    IUnknown* inner = nullptr;
    int queries = 0, addRefs = 0, releases = 0;
};

TEST_F(Server, AggregatedObjectDelegatesToItsOuterObject) {
    CountingOuter outer;
    void* out = &outer;
    EXPECT_EQ(Factory()->CreateInstance(&outer, IID_IDispatch, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    ComRef<IUnknown> inner = Create<IUnknown>(IID_IUnknown, &outer), self, identity;
    EXPECT_EQ(outer.addRefs, 0);
    ASSERT_EQ((outer.inner = inner.Get())->QueryInterface(IID_IUnknown, self.OutVoid()), S_OK);
    EXPECT_EQ(self.Get(), inner.Get());  // the inner object's own identity
    ComRef<IqzVersionInfo> info;
    ASSERT_EQ(inner->QueryInterface(IID_IqzVersionInfo, info.OutVoid()), S_OK);
    ASSERT_EQ(info->QueryInterface(IID_IUnknown, identity.OutVoid()), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&outer));
    LONG flags = 0;
    EXPECT_EQ(info->get_FileFlags(&flags), kNotSpecified);  // the contained object works as itself
    identity.Reset(), info.Reset();
    EXPECT_EQ(outer.queries, 1);
    EXPECT_EQ(outer.addRefs, 2);
    EXPECT_EQ(outer.releases, 2);
}

// Properties and the method by name through GetIDsOfNames (in any case) and Invoke, the values
// converted by the type library both ways; DISPID 26 (Codepage) both ways.
TEST_F(Server, LateBindingByName) {
    ComRef<IDispatch> dispatch = Create<IDispatch>(IID_IDispatch);
    const std::wstring file = Widen(kLibrary);
    // Rows: name, flags, arguments in the caller's order (a property put has one), and the
    // result's type and text.
    const std::tuple<const wchar_t*, WORD, std::vector<const wchar_t*>, VARTYPE, std::wstring>
        rows[] = {
            {L"path", DISPATCH_PROPERTYPUT, {file.c_str()}, VT_EMPTY, L""},
            {L"Path", DISPATCH_PROPERTYGET, {}, VT_BSTR, file},
            {L"InfoExist", DISPATCH_PROPERTYGET, {}, VT_BOOL, L"-1"},
            {L"FileDate", DISPATCH_PROPERTYGET, {}, VT_DATE, L"1/1/1601"},
            {L"GetValue", DISPATCH_METHOD, {L"StringFileInfo", L"InternalName"}, VT_BSTR,
             L"vinspect"},
            {L"Codepage", DISPATCH_PROPERTYPUT, {L"1252"}, VT_EMPTY, L""},
            {L"CODEPAGE", DISPATCH_PROPERTYGET, {}, VT_I2, L"1252"}};
    for (const auto& [name, flags, texts, type, text] : rows) {
        SCOPED_TRACE(name);
        DISPID id = DISPID_UNKNOWN, named = DISPID_PROPERTYPUT;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        std::vector<VARIANT> arguments(texts.size());  // Invoke takes them last first
        for (size_t at = 0; at < arguments.size(); ++at) {
            V_VT(&arguments[at]) = VT_BSTR;
            V_BSTR(&arguments[at]) = SysAllocString(texts[arguments.size() - 1 - at]);
        }
        const UINT puts = flags == DISPATCH_PROPERTYPUT;
        DISPPARAMS params{arguments.data(), puts ? &named : nullptr, UINT(texts.size()), puts};
        VARIANT result;
        VariantInit(&result);
        EXPECT_EQ(dispatch->Invoke(id, IID_NULL, 0, flags, &params, &result, nullptr, nullptr),
                  S_OK);
        EXPECT_EQ(V_VT(&result), type);
        const bool converted = VariantChangeType(&result, &result, 0, VT_BSTR) == S_OK;
        EXPECT_EQ(converted ? Text(V_BSTR(&result)) : L"<no text>", text);
        VariantClear(&result);
        for (VARIANT& argument : arguments) VariantClear(&argument);
    }
}

// The library gives back what it takes. A first cycle loads the system modules it uses; after
// it, 50 load/unload cycles leave the next free TLS index, the handles and the committed memory
// where they were. A host that lets COM unload unused libraries survives any number of rounds.
TEST(Unload, LoadCyclesAndComRoundsGiveEverythingBack) {
    auto cycles = [&](int count) {
        for (; count > 0; --count) ASSERT_TRUE(FreeLibrary(LoadLibraryA(kLibrary.c_str())));
    };
    auto nextTlsIndex = [] {
        const DWORD index = TlsAlloc();
        return TlsFree(index), index;
    };
    auto committed = [] {
        PROCESS_MEMORY_COUNTERS counters{};
        return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters),
               counters.PagefileUsage;
    };
    cycles(1);
    const DWORD tlsIndex = nextTlsIndex();
    const int handles = HandleCount();
    const SIZE_T memory = committed();
    cycles(50);
    EXPECT_EQ(nextTlsIndex(), tlsIndex);
    EXPECT_EQ(HandleCount(), handles);
    EXPECT_LE(committed(), memory + 64 * 1024);

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
