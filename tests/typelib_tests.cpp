// The type library embedded in vinspect.dll, read back through the platform's type-library
// service and compared item by item with the automation contract.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_modules.h"

using namespace testing_support;
using vinspect::Bstr;
using vinspect::ComRef;

namespace {

struct Operation {
    const wchar_t* name;
    MEMBERID id;
    INVOKEKIND kind;
    VARTYPE value;  // type of the value or input; VT_EMPTY for none
    std::vector<std::wstring> parameters;
    const wchar_t* help;
};

const std::vector<Operation>& Operations() {
    static const std::vector<Operation> operations = {
        {L"Path", 1, INVOKE_PROPERTYGET, VT_BSTR, {L"ret"}, L"Returns or sets module file name"},
        {L"Path", 1, INVOKE_PROPERTYPUT, VT_BSTR, {}, L"Returns or sets module file name"},
        {L"Language", 2, INVOKE_PROPERTYGET, VT_I2, {L"ret"},
         L"Returns or sets language for which version data is retrived"},
        {L"Language", 2, INVOKE_PROPERTYPUT, VT_I2, {},
         L"Returns or sets language for which version data is retrived"},
        {L"Codepage", 26, INVOKE_PROPERTYGET, VT_I2, {L"ret"},
         L"Returns or sets character set for which version data is retrived"},
        {L"Codepage", 26, INVOKE_PROPERTYPUT, VT_I2, {},
         L"Returns or sets character set for which version data is retrived"},
        {L"FileVersionHigh", 3, INVOKE_PROPERTYGET, VT_I4, {L"ret"},
         L"Returns the most significant 32 bits of the file's binary version number"},
        {L"FileVersionLow", 4, INVOKE_PROPERTYGET, VT_I4, {L"ret"},
         L"Returns the least significant 32 bits of the file's binary version number"},
        {L"ProductVersionHigh", 5, INVOKE_PROPERTYGET, VT_I4, {L"ret"},
         L"Returns the most significant 32 bits of the product's binary version number"},
        {L"ProductVersionLow", 6, INVOKE_PROPERTYGET, VT_I4, {L"ret"},
         L"Returns the least significant 32 bits of the product's binary version number"},
        {L"FileFlagsMask", 7, INVOKE_PROPERTYGET, VT_I4, {L"ret"},
         L"Returns a bitmask that specifies the valid bits in FileFlags property"},
        {L"FileFlags", 8, INVOKE_PROPERTYGET, VT_I4, {L"ret"},
         L"Returns a bitmask that specifies the Boolean attributes of the file"},
        {L"FileOS", 9, INVOKE_PROPERTYGET, VT_I4, {L"ret"},
         L"Returns the operating system for which this file was designed"},
        {L"FileOSString", 10, INVOKE_PROPERTYGET, VT_BSTR, {L"ret"},
         L"Returns string name of the operating system for which this file was designed"},
        {L"FileType", 11, INVOKE_PROPERTYGET, VT_I4, {L"ret"}, L"Returns the general type of file"},
        {L"FileSubtype", 12, INVOKE_PROPERTYGET, VT_I4, {L"ret"}, L"Returns the function of the file"},
        {L"FileDate", 13, INVOKE_PROPERTYGET, VT_VARIANT, {L"ret"},
         L"Returns the file's creation date and time stamp"},
        {L"Comments", 14, INVOKE_PROPERTYGET, VT_BSTR, {L"ret"},
         L"Returns comment from the version info"},
        {L"CompanyName", 15, INVOKE_PROPERTYGET, VT_BSTR, {L"ret"},
         L"Returns name of the company that produced the file"},
        {L"FileDescription", 16, INVOKE_PROPERTYGET, VT_BSTR, {L"ret"},
         L"Returns a file description to be presented to users"},
        {L"FileVersion", 17, INVOKE_PROPERTYGET, VT_BSTR, {L"ret"},
         L"Returns the version number of the file"},
        {L"InternalName", 18, INVOKE_PROPERTYGET, VT_BSTR, {L"ret"},
         L"Returns the internal name of the file"},
        {L"LegalCopyright", 19, INVOKE_PROPERTYGET, VT_BSTR, {L"ret"},
         L"Returns all copyright notices that apply to the file"},
        {L"LegalTrademarks", 20, INVOKE_PROPERTYGET, VT_BSTR, {L"ret"},
         L"Returns all trademarks and registered trademarks that apply to the file"},
        {L"OriginalFilename", 21, INVOKE_PROPERTYGET, VT_BSTR, {L"ret"},
         L"Returns the original name of the file, not including a path"},
        {L"PrivateBuild", 22, INVOKE_PROPERTYGET, VT_BSTR, {L"ret"},
         L"Returns information about a private version of the file"},
        {L"ProductName", 23, INVOKE_PROPERTYGET, VT_BSTR, {L"ret"},
         L"Returns the name of the product with which the file is distributed"},
        {L"ProductVersion", 24, INVOKE_PROPERTYGET, VT_BSTR, {L"ret"},
         L"Returns the version of the product with which the file is distributed"},
        {L"SpecialBuild", 25, INVOKE_PROPERTYGET, VT_BSTR, {L"ret"}, L"Returns special build info"},
        {L"InfoExist", 27, INVOKE_PROPERTYGET, VT_BOOL, {L"ret"},
         L"Returns True if file object contain valid version info"},
        {L"GetValue", 28, INVOKE_FUNC, VT_BSTR, {L"key", L"name", L"ret"},
         L"Returns value associated with specified name"},
        {L"LanguageName", 29, INVOKE_PROPERTYGET, VT_BSTR, {L"ret"},
         L"Returns a description string for the language associated with current version data"},
        {L"Version", 30, INVOKE_PROPERTYGET, VT_BSTR, {L"ret"},
         L"Returns QZ VersionInfo version string"},
    };
    return operations;
}

struct Constant {
    const wchar_t* name;
    LONG value;
};

struct Enumeration {
    const wchar_t* name;
    std::vector<Constant> constants;
};

const std::vector<Enumeration>& Enumerations() {
    static const std::vector<Enumeration> enumerations = {
        {L"qzFileFlag",
         {{L"qzVS_FF_DEBUG", 1}, {L"qzVS_FF_PRERELEASE", 2}, {L"qzVS_FF_PATCHED", 4},
          {L"qzVS_FF_PRIVATEBUILD", 8}, {L"qzVS_FF_INFOINFERRED", 16},
          {L"qzVS_FF_SPECIALBUILD", 32}}},
        {L"qzFileOS",
         {{L"qzVOS_UNKNOWN", 0}, {L"qzVOS_DOS", 65536}, {L"qzVOS_OS216", 131072},
          {L"qzVOS_OS232", 196608}, {L"qzVOS_NT", 262144}, {L"qzVOS__BASE", 0},
          {L"qzVOS__WINDOWS16", 1}, {L"qzVOS__PM16", 2}, {L"qzVOS__PM32", 3},
          {L"qzVOS__WINDOWS32", 4}, {L"qzVOS_DOS_WINDOWS16", 65537},
          {L"qzVOS_DOS_WINDOWS32", 65540}, {L"qzVOS_OS216_PM16", 131074},
          {L"qzVOS_OS232_PM32", 196611}, {L"qzVOS_NT_WINDOWS32", 262148}}},
        {L"qzFileType",
         {{L"qzVFT_UNKNOWN", 0}, {L"qzVFT_APP", 1}, {L"qzVFT_DLL", 2}, {L"qzVFT_DRV", 3},
          {L"qzVFT_FONT", 4}, {L"qzVFT_VXD", 5}, {L"qzVFT_STATIC_LIB", 7}}},
        {L"qzFileSubtype",
         {{L"qzVFT2_UNKNOWN", 0}, {L"qzVFT2_DRV_PRINTER", 1}, {L"qzVFT2_DRV_KEYBOARD", 2},
          {L"qzVFT2_DRV_LANGUAGE", 3}, {L"qzVFT2_DRV_DISPLAY", 4}, {L"qzVFT2_DRV_MOUSE", 5},
          {L"qzVFT2_DRV_NETWORK", 6}, {L"qzVFT2_DRV_SYSTEM", 7},
          {L"qzVFT2_DRV_INSTALLABLE", 8}, {L"qzVFT2_DRV_SOUND", 9}, {L"qzVFT2_DRV_COMM", 10},
          {L"qzVFT2_DRV_INPUTMETHOD", 11}, {L"qzVFT2_FONT_RASTER", 1},
          {L"qzVFT2_FONT_VECTOR", 2}, {L"qzVFT2_FONT_TRUETYPE", 3}}},
    };
    return enumerations;
}

std::wstring Name(ITypeInfo* info, MEMBERID id) {
    Bstr name;
    info->GetDocumentation(id, name.Out(), nullptr, nullptr, nullptr);
    return Text(name.Get());
}

std::wstring Help(ITypeInfo* info, MEMBERID id) {
    Bstr help;
    info->GetDocumentation(id, nullptr, help.Out(), nullptr, nullptr);
    return Text(help.Get());
}

class TypeLibrary : public testing::Test {
protected:
    void SetUp() override {
        std::wstring path = Widen(BinDir() + "\\vinspect.dll");
        ASSERT_EQ(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library_.Out()), S_OK);
    }

    ComRef<ITypeInfo> At(UINT index) {
        ComRef<ITypeInfo> info;
        EXPECT_EQ(library_->GetTypeInfo(index, info.Out()), S_OK);
        return info;
    }

    ComRef<ITypeLib> library_;
};

TEST_F(TypeLibrary, LibraryAttributesAndOrderOfTypes) {
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library_->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_qzVersionInfo));
    EXPECT_EQ(attributes->lcid, 0u);
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    library_->ReleaseTLibAttr(attributes);

    Bstr name;
    Bstr help;
    ASSERT_EQ(library_->GetDocumentation(-1, name.Out(), help.Out(), nullptr, nullptr), S_OK);
    EXPECT_EQ(Text(name.Get()), L"qzVersionInfo");
    EXPECT_EQ(Text(help.Get()), L"Tervik VersionInfo Type Library");

    const struct {
        const wchar_t* name;
        TYPEKIND kind;
    } expected[] = {
        {L"qzFileFlag", TKIND_ENUM},    {L"qzFileOS", TKIND_ENUM},
        {L"qzFileType", TKIND_ENUM},    {L"qzFileSubtype", TKIND_ENUM},
        {L"VersionInfo", TKIND_COCLASS}, {L"IqzVersionInfo", TKIND_DISPATCH},
    };
    ASSERT_EQ(library_->GetTypeInfoCount(), 6u);
    for (UINT i = 0; i < 6; ++i) {
        TYPEKIND kind{};
        ASSERT_EQ(library_->GetTypeInfoType(i, &kind), S_OK);
        EXPECT_EQ(kind, expected[i].kind) << i;
        Bstr typeName;
        library_->GetDocumentation(static_cast<INT>(i), typeName.Out(), nullptr, nullptr, nullptr);
        EXPECT_EQ(Text(typeName.Get()), expected[i].name) << i;
    }
}

TEST_F(TypeLibrary, EnumerationsCarryEveryConstant) {
    for (UINT index = 0; index < 4; ++index) {
        const Enumeration& expected = Enumerations()[index];
        ComRef<ITypeInfo> info = At(index);
        TYPEATTR* attributes = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
        ASSERT_EQ(attributes->cVars, expected.constants.size()) << expected.name;
        info->ReleaseTypeAttr(attributes);
        for (UINT i = 0; i < expected.constants.size(); ++i) {
            VARDESC* variable = nullptr;
            ASSERT_EQ(info->GetVarDesc(i, &variable), S_OK);
            EXPECT_EQ(variable->varkind, VAR_CONST);
            EXPECT_EQ(Name(info.Get(), variable->memid), expected.constants[i].name);
            VARIANT value;
            VariantInit(&value);
            ASSERT_EQ(VariantChangeType(&value, variable->lpvarValue, 0, VT_I4), S_OK);
            EXPECT_EQ(V_I4(&value), expected.constants[i].value) << expected.constants[i].name;
            info->ReleaseVarDesc(variable);
        }
    }
}

TEST_F(TypeLibrary, ClassIsCreatableWithDefaultInterface) {
    ComRef<ITypeInfo> info = At(4);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, CLSID_VersionInfo));
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_EQ(attributes->cImplTypes, 1);
    info->ReleaseTypeAttr(attributes);
    EXPECT_EQ(Help(info.Get(), MEMBERID_NIL), L"Tervik Version Info Object");

    INT flags = 0;
    ASSERT_EQ(info->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE reference = 0;
    ASSERT_EQ(info->GetRefTypeOfImplType(0, &reference), S_OK);
    ComRef<ITypeInfo> implemented;
    ASSERT_EQ(info->GetRefTypeInfo(reference, implemented.Out()), S_OK);
    EXPECT_EQ(Name(implemented.Get(), MEMBERID_NIL), L"IqzVersionInfo");
}

TEST_F(TypeLibrary, DualInterfaceOperationsInSlotOrder) {
    ComRef<ITypeInfo> dispatch = At(5);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(dispatch->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IqzVersionInfo));
    const WORD dispatchFlags = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
    EXPECT_EQ(attributes->wTypeFlags & dispatchFlags, dispatchFlags);
    dispatch->ReleaseTypeAttr(attributes);
    EXPECT_EQ(Help(dispatch.Get(), MEMBERID_NIL), L"IqzVersionInfo Interface");

    // The virtual-table side of the dual interface.
    HREFTYPE reference = 0;
    ASSERT_EQ(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference), S_OK);
    ComRef<ITypeInfo> vtable;
    ASSERT_EQ(dispatch->GetRefTypeInfo(reference, vtable.Out()), S_OK);
    ASSERT_EQ(vtable->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
    const WORD vtableFlags = TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FNONEXTENSIBLE;
    EXPECT_EQ(attributes->wTypeFlags & vtableFlags, vtableFlags);
    ASSERT_EQ(attributes->cFuncs, Operations().size());
    vtable->ReleaseTypeAttr(attributes);

    ASSERT_EQ(vtable->GetRefTypeOfImplType(0, &reference), S_OK);
    ComRef<ITypeInfo> base;
    ASSERT_EQ(vtable->GetRefTypeInfo(reference, base.Out()), S_OK);
    EXPECT_EQ(Name(base.Get(), MEMBERID_NIL), L"IDispatch");

    for (UINT i = 0; i < Operations().size(); ++i) {
        const Operation& expected = Operations()[i];
        SCOPED_TRACE(testing::Message() << "slot " << i + 7 << " " << expected.name);
        FUNCDESC* function = nullptr;
        ASSERT_EQ(vtable->GetFuncDesc(i, &function), S_OK);
        EXPECT_EQ(function->memid, expected.id);
        EXPECT_EQ(function->invkind, expected.kind);
        EXPECT_EQ(function->oVft, static_cast<SHORT>((i + 7) * sizeof(void*)));
        EXPECT_EQ(function->funckind, FUNC_PUREVIRTUAL);
        EXPECT_EQ(function->elemdescFunc.tdesc.vt, VT_HRESULT);
        EXPECT_EQ(Name(vtable.Get(), function->memid), expected.name);
        EXPECT_EQ(Help(vtable.Get(), function->memid), expected.help);

        // Inputs are passed by value; the value of a getter or method comes back through a
        // pointer marked as the return value.
        const SHORT count = function->cParams;
        ASSERT_GE(count, 1);
        const ELEMDESC& last = function->lprgelemdescParam[count - 1];
        if (expected.kind == INVOKE_PROPERTYPUT) {
            EXPECT_EQ(count, 1);
            EXPECT_EQ(last.tdesc.vt, expected.value);
            EXPECT_TRUE(last.paramdesc.wParamFlags & PARAMFLAG_FIN);
        } else {
            EXPECT_EQ(last.tdesc.vt, VT_PTR);
            EXPECT_EQ(last.tdesc.lptdesc->vt, expected.value);
            EXPECT_EQ(last.paramdesc.wParamFlags & (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL),
                      PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
            EXPECT_EQ(static_cast<size_t>(count), expected.parameters.size());
            for (SHORT p = 0; p + 1 < count; ++p) {
                EXPECT_EQ(function->lprgelemdescParam[p].tdesc.vt, VT_BSTR);
                EXPECT_TRUE(function->lprgelemdescParam[p].paramdesc.wParamFlags & PARAMFLAG_FIN);
            }
            BSTR names[4] = {};
            UINT found = 0;
            ASSERT_EQ(vtable->GetNames(function->memid, names, 4, &found), S_OK);
            ASSERT_EQ(found, expected.parameters.size() + 1);
            for (UINT n = 0; n < found; ++n) {
                EXPECT_EQ(Text(names[n]), n == 0 ? expected.name : expected.parameters[n - 1]);
                SysFreeString(names[n]);
            }
        }
        vtable->ReleaseFuncDesc(function);
    }
}

}  // namespace
