// The type library embedded in vinspect.dll, read back through the platform's type-library
// service and written out item by item; the text must equal the contract in typelib.expected.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_modules.h"

using namespace testing_support;
using vinspect::Bstr;
using vinspect::ComRef;

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string Guid(REFGUID guid) {
    wchar_t text[40] = L"";
    StringFromGUID2(guid, text, 40);
    return Narrow(text);
}

std::string Name(ITypeInfo* info, MEMBERID id) {
    Bstr name;
    info->GetDocumentation(id, name.Out(), nullptr, nullptr, nullptr);
    return Narrow(Text(name.Get()));
}

std::string Help(ITypeInfo* info, MEMBERID id) {
    Bstr help;
    info->GetDocumentation(id, nullptr, help.Out(), nullptr, nullptr);
    std::string quoted(1, '"');
    quoted.append(Narrow(Text(help.Get()))).push_back('"');
    return quoted;
}

std::string Type(const TYPEDESC& type) {
    switch (type.vt) {
        case VT_PTR: return Type(*type.lptdesc) + "*";
        case VT_BSTR: return "BSTR";
        case VT_I2: return "short";
        case VT_I4: return "long";
        case VT_BOOL: return "VARIANT_BOOL";
        case VT_VARIANT: return "VARIANT";
        case VT_HRESULT: return "HRESULT";
        default: return "vt" + std::to_string(type.vt);
    }
}

std::string Flags(WORD flags) {
    std::string text;
    const std::pair<WORD, const char*> names[] = {
        {TYPEFLAG_FCANCREATE, " cancreate"}, {TYPEFLAG_FDUAL, " dual"},
        {TYPEFLAG_FOLEAUTOMATION, " oleautomation"}, {TYPEFLAG_FNONEXTENSIBLE, " nonextensible"},
        {TYPEFLAG_FDISPATCHABLE, " dispatchable"}};
    for (auto [flag, name] : names) {
        if (flags & flag) text += name;
    }
    return text;
}

// The functions of the virtual-table side of the dual interface: slot, DISPID, kind, signature.
void DescribeFunctions(ITypeInfo* info, WORD count, std::ostream& out) {
    const char* kinds[] = {"", "method", "propget", "", "propput"};
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* function = nullptr;
        if (info->GetFuncDesc(i, &function) != S_OK) continue;
        BSTR names[4] = {};
        UINT found = 0;
        info->GetNames(function->memid, names, 4, &found);
        out << "  slot " << function->oVft / sizeof(void*) << " id " << function->memid << " "
            << kinds[function->invkind] << " " << Type(function->elemdescFunc.tdesc) << " "
            << Narrow(Text(names[0])) << "(";
        for (SHORT p = 0; p < function->cParams; ++p) {
            const ELEMDESC& param = function->lprgelemdescParam[p];
            USHORT flags = param.paramdesc.wParamFlags;
            out << (p > 0 ? ", " : "") << ((flags & PARAMFLAG_FIN) ? "in " : "")
                << ((flags & PARAMFLAG_FOUT) ? "out " : "")
                << ((flags & PARAMFLAG_FRETVAL) ? "retval " : "") << Type(param.tdesc);
            // Names are stored once per DISPID, with the property's getter.
            if (function->invkind != INVOKE_PROPERTYPUT && p + 1u < found) {
                out << " " << Narrow(Text(names[p + 1]));
            }
        }
        for (BSTR name : names) SysFreeString(name);
        out << ") " << Help(info, function->memid) << "\n";
        info->ReleaseFuncDesc(function);
    }
}

std::string Describe(ITypeLib* library) {
    std::ostringstream out;
    TLIBATTR* attributes = nullptr;
    library->GetLibAttr(&attributes);
    Bstr name;
    Bstr help;
    library->GetDocumentation(-1, name.Out(), help.Out(), nullptr, nullptr);
    out << "library " << Narrow(Text(name.Get())) << " " << Guid(attributes->guid) << " "
        << attributes->wMajorVerNum << "." << attributes->wMinorVerNum << " lcid "
        << attributes->lcid << " \"" << Narrow(Text(help.Get())) << "\"\n";
    library->ReleaseTLibAttr(attributes);

    const char* kinds[] = {"enum", "record", "module", "interface", "dispatch", "coclass"};
    for (UINT index = 0; index < library->GetTypeInfoCount(); ++index) {
        ComRef<ITypeInfo> info;
        library->GetTypeInfo(index, info.Out());
        TYPEATTR* type = nullptr;
        info->GetTypeAttr(&type);
        out << index << " " << kinds[type->typekind] << " " << Name(info.Get(), MEMBERID_NIL) << " "
            << Help(info.Get(), MEMBERID_NIL);
        if (type->typekind != TKIND_ENUM) out << " " << Guid(type->guid);
        out << Flags(type->wTypeFlags) << "\n";
        for (UINT i = 0; i < type->cVars; ++i) {
            VARDESC* variable = nullptr;
            info->GetVarDesc(i, &variable);
            VARIANT value;
            VariantInit(&value);
            VariantChangeType(&value, variable->lpvarValue, 0, VT_I4);
            out << "  " << Name(info.Get(), variable->memid) << " = " << V_I4(&value) << "\n";
            info->ReleaseVarDesc(variable);
        }
        for (UINT i = 0; i < type->cImplTypes; ++i) {
            HREFTYPE reference = 0;
            INT flags = 0;
            ComRef<ITypeInfo> implemented;
            info->GetRefTypeOfImplType(i, &reference);
            info->GetImplTypeFlags(i, &flags);
            info->GetRefTypeInfo(reference, implemented.Out());
            out << "  implements " << Name(implemented.Get(), MEMBERID_NIL)
                << ((flags & IMPLTYPEFLAG_FDEFAULT) ? " default" : "") << "\n";
        }
        if (type->typekind == TKIND_DISPATCH) {
            // The virtual-table side of the dual interface.
            HREFTYPE reference = 0;
            ComRef<ITypeInfo> vtable;
            info->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference);
            info->GetRefTypeInfo(reference, vtable.Out());
            TYPEATTR* vtableType = nullptr;
            vtable->GetTypeAttr(&vtableType);
            out << "  vtable " << kinds[vtableType->typekind] << Flags(vtableType->wTypeFlags)
                << "\n";
            DescribeFunctions(vtable.Get(), vtableType->cFuncs, out);
            vtable->ReleaseTypeAttr(vtableType);
        }
        info->ReleaseTypeAttr(type);
    }
    return out.str();
}

TEST(TypeLibrary, EmbeddedLibraryCarriesTheAutomationContract) {
    ComRef<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(Widen(BinDir() + "\\vinspect.dll").c_str(), REGKIND_NONE,
                            library.Out()),
              S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    library->ReleaseTLibAttr(attributes);

    std::ifstream file(BinDir() + "\\typelib.expected");
    ASSERT_TRUE(file) << "typelib.expected is copied beside the tests at build time";
    std::stringstream expected;
    expected << file.rdbuf();
    EXPECT_EQ(Describe(library.Get()), expected.str());
}

}  // namespace
