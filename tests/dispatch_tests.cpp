// Late binding: names, dispatch identifiers and Invoke through the registered type library, and
// the error information that script hosts receive.
#include <gtest/gtest.h>

#include <string>

#include "loaded_server.h"

using namespace testing_support;
using vinspect::Bstr;
using vinspect::ComRef;
using vinspect::CoTaskMem;

namespace {

constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

// A VARIANT that owns its value.
struct Variant : VARIANT {
    Variant() { VariantInit(this); }
    explicit Variant(const wchar_t* text) {
        VariantInit(this);
        V_VT(this) = VT_BSTR;
        V_BSTR(this) = SysAllocString(text);
    }
    Variant(const Variant&) = delete;
    ~Variant() { VariantClear(this); }
    VARIANT Detach() {
        VARIANT value = *this;
        V_VT(this) = VT_EMPTY;
        return value;
    }
};

std::string EnglishName() {
    char name[128] = "";
    VerLanguageNameA(0x0409, name, sizeof name);
    return name;
}

class Dispatch : public LoadedServer {
protected:
    static void SetUpTestSuite() {
        LoadedServer::SetUpTestSuite();
        Register();
    }

    static void Register() {
        ComRef<ITypeLib> library;
        ASSERT_EQ(LoadTypeLibEx(Widen(BinDir() + "\\vinspect.dll").c_str(), REGKIND_REGISTER,
                                library.Out()),
                  S_OK);
    }
    static void Unregister() { UnRegisterTypeLib(LIBID_qzVersionInfo, 1, 0, 0, kSysKind); }

    static ComRef<IDispatch> CreateDispatch() {
        ComRef<IDispatch> dispatch;
        EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IDispatch, dispatch.OutVoid()), S_OK);
        return dispatch;
    }

    static HRESULT IdOf(IDispatch* dispatch, const wchar_t* name, DISPID* id) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        return dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
    }

    static HRESULT Call(IDispatch* dispatch, DISPID id, WORD flags, VARIANT* args, UINT count,
                        VARIANT* result, EXCEPINFO* exception = nullptr) {
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{args, flags == DISPATCH_PROPERTYPUT ? &named : nullptr, count,
                          flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
        EXCEPINFO ignored{};
        UINT argError = 0;
        HRESULT hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                      exception != nullptr ? exception : &ignored, &argError);
        if (exception == nullptr) {
            SysFreeString(ignored.bstrSource);
            SysFreeString(ignored.bstrDescription);
            SysFreeString(ignored.bstrHelpFile);
        }
        return hr;
    }

    // Reads a property by name and returns it converted to text.
    static std::wstring GetText(IDispatch* dispatch, const wchar_t* name) {
        DISPID id = 0;
        EXPECT_EQ(IdOf(dispatch, name, &id), S_OK) << name;
        Variant result;
        EXPECT_EQ(Call(dispatch, id, DISPATCH_PROPERTYGET, nullptr, 0, &result), S_OK) << name;
        VariantChangeType(&result, &result, 0, VT_BSTR);
        return V_VT(&result) == VT_BSTR ? Text(V_BSTR(&result)) : L"?";
    }

    static HRESULT Put(IDispatch* dispatch, DISPID id, const VARIANT& value) {
        VARIANT argument = value;
        return Call(dispatch, id, DISPATCH_PROPERTYPUT, &argument, 1, nullptr);
    }
};

TEST_F(Dispatch, NamesMapToTheirDispatchIdentifiers) {
    const struct {
        const wchar_t* name;
        DISPID id;
    } names[] = {
        {L"Path", 1}, {L"Language", 2}, {L"FileVersionHigh", 3}, {L"FileVersionLow", 4},
        {L"ProductVersionHigh", 5}, {L"ProductVersionLow", 6}, {L"FileFlagsMask", 7},
        {L"FileFlags", 8}, {L"FileOS", 9}, {L"FileOSString", 10}, {L"FileType", 11},
        {L"FileSubtype", 12}, {L"FileDate", 13}, {L"Comments", 14}, {L"CompanyName", 15},
        {L"FileDescription", 16}, {L"FileVersion", 17}, {L"InternalName", 18},
        {L"LegalCopyright", 19}, {L"LegalTrademarks", 20}, {L"OriginalFilename", 21},
        {L"PrivateBuild", 22}, {L"ProductName", 23}, {L"ProductVersion", 24},
        {L"SpecialBuild", 25}, {L"Codepage", 26}, {L"InfoExist", 27}, {L"GetValue", 28},
        {L"LanguageName", 29}, {L"Version", 30}, {L"codepage", 26},
    };
    ComRef<IDispatch> dispatch = CreateDispatch();
    for (const auto& row : names) {
        DISPID id = -1;
        EXPECT_EQ(IdOf(dispatch.Get(), row.name, &id), S_OK) << row.name;
        EXPECT_EQ(id, row.id) << row.name;
    }
    DISPID id = 0;
    EXPECT_EQ(IdOf(dispatch.Get(), L"NoSuchName", &id), DISP_E_UNKNOWNNAME);

    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(dispatch->GetTypeInfoCount(nullptr), E_POINTER);
    ComRef<ITypeInfo> first;
    ComRef<ITypeInfo> fifth;
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, first.Out()), S_OK);
    ASSERT_EQ(dispatch->GetTypeInfo(5, 0, fifth.Out()), S_OK);
    EXPECT_EQ(first.Get(), fifth.Get());
    EXPECT_EQ(dispatch->GetTypeInfo(0, 0, nullptr), E_POINTER);
}

TEST_F(Dispatch, EveryPropertyReadsAndWritesThroughInvoke) {
    ComRef<IDispatch> dispatch = CreateDispatch();
    const std::wstring file = Widen(BinDir() + "\\vinspect.dll");
    ASSERT_EQ(Put(dispatch.Get(), 1, Variant(file.c_str())), S_OK);
    const std::pair<const wchar_t*, std::wstring> expected[] = {
        {L"Path", file}, {L"InfoExist", L"-1"}, {L"FileVersionHigh", L"65536"},
        {L"FileVersionLow", L"4653056"}, {L"ProductVersionHigh", L"65536"},
        {L"ProductVersionLow", L"4653056"}, {L"FileFlagsMask", L"63"}, {L"FileFlags", L"0"},
        {L"FileOS", L"4"}, {L"FileOSString", L"Win32"}, {L"FileType", L"1"},
        {L"FileSubtype", L"0"}, {L"FileDate", L"1/1/1601"}, {L"CompanyName", L"Tervik"},
        {L"FileDescription", L"Tervik Version Information Component"},
        {L"FileVersion", L"1.0.71"}, {L"InternalName", L"vinspect"},
        {L"OriginalFilename", L"vinspect.DLL"}, {L"ProductVersion", L"1.0"}, {L"Comments", L""},
        {L"LegalCopyright", L""}, {L"LegalTrademarks", L""}, {L"PrivateBuild", L""},
        {L"ProductName", L""}, {L"SpecialBuild", L""}, {L"LanguageName", Widen(EnglishName())},
        {L"Version", L"1.0.71"}, {L"Language", L"1033"}, {L"Codepage", L"1200"},
    };
    for (const auto& [name, value] : expected) EXPECT_EQ(GetText(dispatch.Get(), name), value);

    // Arguments are converted by the type library: a string put into a 16-bit property.
    ASSERT_EQ(Put(dispatch.Get(), 26, Variant(L"1252")), S_OK);
    Variant result;
    ASSERT_EQ(Call(dispatch.Get(), 26, DISPATCH_PROPERTYGET, nullptr, 0, &result), S_OK);
    EXPECT_EQ(V_VT(&result), VT_I2);
    EXPECT_EQ(V_I2(&result), 1252);
    ASSERT_EQ(Put(dispatch.Get(), 2, Variant(L"1031")), S_OK);
    EXPECT_EQ(GetText(dispatch.Get(), L"Language"), L"1031");

    // GetValue takes its arguments in reverse order: the name first, the key second.
    Put(dispatch.Get(), 2, Variant(L"1033"));
    Put(dispatch.Get(), 26, Variant(L"1200"));
    VARIANT args[2] = {Variant(L"Build Date").Detach(), Variant(L"StringFileInfo").Detach()};
    Variant value;
    EXPECT_EQ(Call(dispatch.Get(), 28, DISPATCH_METHOD, args, 2, &value), S_OK);
    EXPECT_EQ(Text(V_BSTR(&value)), L"1998, 9, 23, 16, 56");
    for (VARIANT& arg : args) VariantClear(&arg);
}

TEST_F(Dispatch, FailuresArriveAsExceptionsWithTheErrorObjectsText) {
    ComRef<IDispatch> dispatch = CreateDispatch();
    Variant result;
    EXCEPINFO exception{};
    EXPECT_EQ(Call(dispatch.Get(), 3, DISPATCH_PROPERTYGET, nullptr, 0, &result, &exception),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, static_cast<SCODE>(0x800403E9));
    EXPECT_EQ(Text(exception.bstrDescription), L"File name is not specified.");
    CoTaskMem<wchar_t> progId;
    ProgIDFromCLSID(CLSID_VersionInfo, progId.Out());
    EXPECT_EQ(Text(exception.bstrSource), progId.Get() != nullptr ? progId.Get() : L"");
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);

    // The error object of an earlier failure does not survive a later late-bound call.
    ComRef<IqzVersionInfo> info;
    ASSERT_EQ(dispatch->QueryInterface(IID_IqzVersionInfo, info.OutVoid()), S_OK);
    LONG value = 0;
    EXPECT_EQ(info->get_FileFlags(&value), static_cast<HRESULT>(0x800403E9));
    EXPECT_EQ(Call(dispatch.Get(), 30, DISPATCH_PROPERTYGET, nullptr, 0, &result), S_OK);
    EXPECT_FALSE(TakeErrorObject().present);
}

TEST_F(Dispatch, TypeLibraryIsLoadedOnDemandAndNothingFailedIsCached) {
    Unregister();
    ComRef<ITypeLib> probe;
    const HRESULT notRegistered = LoadRegTypeLib(LIBID_qzVersionInfo, 1, 0, 0, probe.Out());
    ASSERT_TRUE(FAILED(notRegistered));

    ComRef<IDispatch> dispatch = CreateDispatch();
    DISPID id = 0;
    EXPECT_EQ(IdOf(dispatch.Get(), L"Path", &id), notRegistered);
    ComRef<ITypeInfo> typeInfo;
    EXPECT_EQ(dispatch->GetTypeInfo(0, 0, typeInfo.Out()), notRegistered);
    EXPECT_EQ(typeInfo.Get(), nullptr);
    // Early binding does not need the type library.
    ComRef<IqzVersionInfo> info;
    ASSERT_EQ(dispatch->QueryInterface(IID_IqzVersionInfo, info.OutVoid()), S_OK);
    Bstr version;
    EXPECT_EQ(info->get_Version(version.Out()), S_OK);

    Register();
    EXPECT_EQ(IdOf(dispatch.Get(), L"Path", &id), S_OK);
    EXPECT_EQ(id, 1);

    // Once the last object is gone, the next one loads the type library afresh.
    info.Reset();
    dispatch.Reset();
    Unregister();
    dispatch = CreateDispatch();
    EXPECT_EQ(IdOf(dispatch.Get(), L"Path", &id), notRegistered);
    Register();
    EXPECT_EQ(IdOf(dispatch.Get(), L"Path", &id), S_OK);
}

}  // namespace
