// Test support: the object's reads, version resources and the modules that carry them, the error
// object a failed call leaves behind, and probes of the registry and the process.
#pragma once

#include <windows.h>
#include <objsafe.h>
#include <oleauto.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>
#include <vector>

#include "common/handles.h"
#include "server/object_forms.h"
#include "vinspect_h.h"

namespace test_support {

using vinspect::Bstr;
using vinspect::ComRef;

// The component's own errors: no file with version data loaded; a path that an untrusted caller
// may not read.
constexpr HRESULT kNotSpecified = static_cast<HRESULT>(0x800403E9);
constexpr HRESULT kNotLocal = static_cast<HRESULT>(0x800403EA);
constexpr wchar_t kNotLocalText[] =
    L"The path is not a file on a local drive; an untrusted caller may read only local files.";

using StringRead = HRESULT (STDMETHODCALLTYPE IqzVersionInfo::*)(BSTR*);
using NumberRead = HRESULT (STDMETHODCALLTYPE IqzVersionInfo::*)(LONG*);

// Text converted between the system code page and UTF-16, and an automation string's text (null:
// empty).
inline std::wstring Widen(const std::string& text) {
    wchar_t wide[2048] = L"";
    return MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, 2047), wide;
}
inline std::string Narrow(const std::wstring& text) {
    char narrow[4096] = "";
    return WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow, 4095, nullptr, nullptr), narrow;
}
inline std::wstring Text(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : L""; }

#define READ(name) &IqzVersionInfo::get_##name
#define NAMED(name) {L## #name, READ(name)}
// clang-format off
// The reads of the nine fixed fields, in the order of VS_FIXEDFILEINFO from dwFileVersionMS on.
inline const NumberRead kFixedReads[9] = {
    READ(FileVersionHigh), READ(FileVersionLow), READ(ProductVersionHigh), READ(ProductVersionLow),
    READ(FileFlagsMask), READ(FileFlags), READ(FileOS), READ(FileType), READ(FileSubtype)};
// The twelve standard string values and the properties that read them.
inline const std::pair<const wchar_t*, StringRead> kStringReads[12] = {
    NAMED(FileDescription), NAMED(ProductName), NAMED(FileVersion), NAMED(ProductVersion),
    NAMED(CompanyName), NAMED(InternalName), NAMED(OriginalFilename), NAMED(PrivateBuild),
    NAMED(SpecialBuild), NAMED(LegalCopyright), NAMED(LegalTrademarks), NAMED(Comments)};
// clang-format on
#undef NAMED
#undef READ

// The folder of the test executable and the built binaries.
inline std::string BinDir() {
    char path[MAX_PATH] = "";
    return GetModuleFileNameA(nullptr, path, MAX_PATH), std::string(path, strrchr(path, '\\'));
}

// A scratch folder beside them, shared by the test programs.
inline std::string ScratchDir() {
    const std::string dir = BinDir() + "\\scratch";
    return CreateDirectoryA(dir.c_str(), nullptr), dir;
}

// Replaces (or adds) resource `type`/`id` in `language` of the module file at `path`.
inline void PutResource(const std::string& path, const char* type, int id, const void* data,
                        DWORD size, WORD language = 0x0409) {
    HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
    void* bytes = const_cast<void*>(data);
    EXPECT_TRUE(UpdateResourceA(update, type, MAKEINTRESOURCEA(id), language, bytes, size)) << path;
    EXPECT_TRUE(EndUpdateResourceA(update, FALSE)) << path;
}

// The bytes of the file at `path`.
inline std::vector<BYTE> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A version resource of tests/corpus/layouts (written by tests/corpus/tools/handmade.py).
inline std::vector<BYTE> Layout(const std::string& name) {
    return ReadBytes(BinDir() + "\\corpus\\layouts\\" + name + ".bin");
}

// A version resource that holds `fixed` and nothing else: the root's header, its key and the
// structure at the next 32-bit boundary.
inline std::vector<BYTE> FixedOnly(const VS_FIXEDFILEINFO& fixed) {
    const struct { WORD length, valueLength, type; wchar_t key[17]; VS_FIXEDFILEINFO value; } root{
        40 + sizeof fixed, sizeof fixed, 0, L"VS_VERSION_INFO", fixed};
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&root);
    return {bytes, bytes + sizeof root};
}

// Writes a copy of the resource-free module carrying `resource` as its version data (none when
// `resource` is empty).
inline void WriteModule(const std::string& path, const std::vector<BYTE>& resource) {
    EXPECT_TRUE(CopyFileA((BinDir() + "\\plain.dll").c_str(), path.c_str(), FALSE)) << path;
    if (!resource.empty())
        PutResource(path, MAKEINTRESOURCEA(16), 1, resource.data(), resource.size());
}

// Loads the library at `path` and calls its entry point `name` (DllRegisterServer...) with `args`.
template <typename... Args>
inline HRESULT CallExport(const std::string& path, const char* name, Args... args) {
    vinspect::ModuleHandle module(LoadLibraryA(path.c_str()));
    auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(Args...)>(
        reinterpret_cast<void*>(GetProcAddress(module.Get(), name)));
    return entry != nullptr ? entry(args...) : HRESULT_FROM_WIN32(GetLastError());
}

// The description of the calling thread's error object, taken from it; "<none>" without one.
inline std::wstring TakeError() {
    ComRef<IErrorInfo> info;
    Bstr description;
    if (GetErrorInfo(0, info.Out()) != S_OK || !info) return L"<none>";
    return info->GetDescription(description.Out()), Text(description.Get());
}

// The system's text for `code` as the component fetches it (empty when there is none).
inline std::wstring SystemText(HRESULT code) {
    char text[512] = "";
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    return FormatMessageA(flags, nullptr, DWORD(code), 0, text, 511, nullptr), Widen(text);
}

// Makes `call` with a clean error slot and expects `expected` and the error object the component
// leaves for it: its own text for its own errors, the system's for other failures, none for
// S_OK. `row` names the case.
inline void ExpectError(const std::function<HRESULT()>& call, HRESULT expected,
                        const std::string& row) {
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(call(), expected) << row;
    std::wstring description = FAILED(expected) ? SystemText(expected) : L"<none>";
    if (expected == kNotSpecified) description = L"File name is not specified.";
    if (expected == kNotLocal) description = kNotLocalText;
    EXPECT_EQ(TakeError(), description) << row;
}

// Every value and subkey below `path` of `root`, in the registry's order ("" when it is absent):
// " name=text" (REG_SZ with its terminator), " name=#number", "@" for the default value, any
// other value as "<type, size>", then " subkey { ... }".
inline std::string Dump(HKEY root, const std::string& path) {
    vinspect::RegKey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS) return "";
    char name[512];
    BYTE data[8192];
    std::string out;
    for (DWORD i = 0, length, size, type; length = sizeof name, size = sizeof data,
               RegEnumValueA(key.Get(), i, name, &length, nullptr, &type, data, &size) == 0;
         ++i) {
        std::string text = "<type " + std::to_string(type) + ", " + std::to_string(size) + ">";
        if (type == REG_DWORD) text = "#" + std::to_string(*reinterpret_cast<LONG*>(data));
        if (type == REG_SZ && size > 0 && data[size - 1] == 0) text = reinterpret_cast<char*>(data);
        out += std::string(" ") + (*name != '\0' ? name : "@") + "=" + text;
    }
    for (DWORD i = 0; RegEnumKeyA(key.Get(), i, name, sizeof name) == ERROR_SUCCESS; ++i)
        out += " " + std::string(name) + " {" + Dump(key.Get(), name) + " }";
    return out;
}

// This process's open handles, found by asking after each handle value in turn (Wine's
// GetProcessHandleCount gives 0).
inline int HandleCount() {
    int count = 0;
    DWORD flags;
    for (UINT_PTR h = 4; h < 0x10000; h += 4) count += GetHandleInformation(HANDLE(h), &flags);
    return count;
}

// Lets `path` under `root` be read but not written while it lives, as the registry checks every
// caller, then puts its earlier access rules back through a handle kept for that.
struct ReadOnlyKey {
    ReadOnlyKey(HKEY root, const std::string& path) : original_(4096) {
        DWORD size = DWORD(original_.size());
        EXPECT_EQ(RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL | WRITE_DAC, key_.Out()), 0);
        EXPECT_EQ(RegGetKeySecurity(key_.Get(), kDacl, original_.data(), &size), 0) << path;
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;KR;;;WD)", SDDL_REVISION_1,
                                                             &readOnly, nullptr);
        EXPECT_EQ(RegSetKeySecurity(key_.Get(), kDacl, readOnly), 0) << path;
        LocalFree(readOnly);
    }
    ~ReadOnlyKey() { EXPECT_EQ(RegSetKeySecurity(key_.Get(), kDacl, original_.data()), 0); }
    static constexpr SECURITY_INFORMATION kDacl = DACL_SECURITY_INFORMATION;
    vinspect::RegKey key_;
    std::vector<BYTE> original_;
};

// Assigns `path` to Path ("<null>": a null string) and returns the result.
inline HRESULT Assign(IqzVersionInfo* info, const std::string& path) {
    Bstr name(path == "<null>" ? nullptr : SysAllocString(Widen(path).c_str()));
    return info->put_Path(name.Get());
}

// Declares the caller of `object` untrusted (or trusted again), as a browser does before it lets
// a page script the object.
inline void SetUntrusted(IUnknown* object, bool untrusted) {
    ComRef<IObjectSafety> safety;
    const DWORD bit = INTERFACESAFE_FOR_UNTRUSTED_CALLER;
    ASSERT_EQ(object->QueryInterface(IID_IObjectSafety, safety.OutVoid()), S_OK);
    ASSERT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, bit, untrusted ? bit : 0), S_OK);
}

// A stand-alone VersionInfo object of the linked-in component, with `path` assigned unless empty.
inline ComRef<IqzVersionInfo> NewVersionInfo(const std::string& path = "") {
    ComRef<IqzVersionInfo> info;
    EXPECT_EQ(vinspect::CreateVersionInfo(nullptr, IID_IqzVersionInfo, info.OutVoid()), S_OK);
    EXPECT_TRUE(path.empty() || Assign(info.Get(), path) == S_OK) << path;
    return info;
}

}  // namespace test_support
