// Test support: version resources built byte by byte, modules that carry them, the error object
// a failed call leaves behind, and a readable dump of a registry subtree.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/handles.h"
#include "server/object_forms.h"
#include "vinspect_h.h"

namespace testing_support {

// The component's own error: no file with version data loaded.
constexpr HRESULT kNotSpecified = static_cast<HRESULT>(0x800403E9);

using StringRead = HRESULT (STDMETHODCALLTYPE IqzVersionInfo::*)(BSTR*);
using NumberRead = HRESULT (STDMETHODCALLTYPE IqzVersionInfo::*)(LONG*);

// ANSI text widened with the system code page, and an automation string's text (null: empty).
inline std::wstring Widen(const std::string& text) {
    wchar_t wide[2048] = L"";
    return MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, 2047), wide;
}

inline std::wstring Text(BSTR text) { return text != nullptr ? std::wstring(text, SysStringLen(text)) : L""; }

// One node of a VS_VERSIONINFO tree: key, value bytes and children, serialised with the
// format's 32-bit alignment.
struct VersionNode {
    std::wstring key;
    std::vector<BYTE> value;
    WORD valueLength = 0;  // in the format's unit: characters for text, bytes for binary
    WORD type = 1;         // 1 text, 0 binary
    std::vector<VersionNode> children;
    WORD lengthOverride = 0;  // replaces the serialised wLength when not 0
};

#define READ(name) &IqzVersionInfo::get_##name
// The reads of the nine fixed fields, in the order of VS_FIXEDFILEINFO from dwFileVersionMS on.
inline const NumberRead kFixedReads[9] = {
    READ(FileVersionHigh), READ(FileVersionLow), READ(ProductVersionHigh), READ(ProductVersionLow),
    READ(FileFlagsMask), READ(FileFlags), READ(FileOS), READ(FileType), READ(FileSubtype)};
#define NAMED(name) {L## #name, READ(name)}
// The twelve standard string values and the properties that read them.
inline const std::pair<const wchar_t*, StringRead> kStringReads[12] = {
    NAMED(FileDescription), NAMED(ProductName), NAMED(FileVersion), NAMED(ProductVersion),
    NAMED(CompanyName), NAMED(InternalName), NAMED(OriginalFilename), NAMED(PrivateBuild),
    NAMED(SpecialBuild), NAMED(LegalCopyright), NAMED(LegalTrademarks), NAMED(Comments)};
#undef NAMED
#undef READ

// Appends `size` bytes, then pads to the format's 32-bit alignment when `align` is set.
inline void Append(std::vector<BYTE>& out, const void* data, size_t size, bool align = false) {
    out.resize(out.size() + size);
    if (size != 0) std::memcpy(out.data() + out.size() - size, data, size);
    if (align) out.resize((out.size() + 3) & ~size_t{3}, 0);
}

// `ansi` gives the 16-bit layout: no type word, ANSI key and text (ASCII text only).
inline std::vector<BYTE> Serialize(const VersionNode& node, bool ansi = false) {
    std::vector<BYTE> out(2);
    Append(out, &node.valueLength, 2);
    if (!ansi) Append(out, &node.type, 2);
    if (!ansi) Append(out, node.key.c_str(), (node.key.size() + 1) * sizeof(wchar_t), true);
    for (size_t i = 0; ansi && i <= node.key.size(); ++i) out.push_back(BYTE(node.key[i]));
    Append(out, nullptr, 0, ansi);
    const bool ansiText = ansi && node.type != 0;  // one byte per character
    if (!ansiText) Append(out, node.value.data(), node.value.size());
    for (size_t i = 0; ansiText && i < node.value.size(); i += 2) out.push_back(node.value[i]);
    for (const VersionNode& child : node.children) {
        std::vector<BYTE> bytes = (Append(out, nullptr, 0, true), Serialize(child, ansi));
        Append(out, bytes.data(), bytes.size());
    }
    const WORD length = node.lengthOverride != 0 ? node.lengthOverride : WORD(out.size());
    std::memcpy(out.data(), &length, sizeof length);
    return out;
}

inline VS_FIXEDFILEINFO Fixed(DWORD fileMS, DWORD fileLS, DWORD fileOS = VOS_NT_WINDOWS32, DWORD dateMS = 0,
                              DWORD dateLS = 0) {
    return {0xFEEF04BD, 0x00010000, fileMS, fileLS, fileMS, fileLS, 0x3F, 0, fileOS, VFT_DLL, 0, dateMS, dateLS};
}

// A version root with fixed information (or none) and the given blocks.
inline VersionNode VersionRoot(const VS_FIXEDFILEINFO* fixed, std::vector<VersionNode> blocks) {
    VersionNode root{L"VS_VERSION_INFO", {}, 0, 0, std::move(blocks)};
    if (fixed != nullptr) Append(root.value, fixed, root.valueLength = sizeof *fixed);
    return root;
}

// "StringFileInfo" with one table per translation key ("040904B0").
inline VersionNode StringFileInfo(std::vector<VersionNode> tables) { return {L"StringFileInfo", {}, 0, 1, std::move(tables)}; }

// A text value; `terminated` false leaves the NUL out of the value.
inline VersionNode StringValue(const std::wstring& name, const std::wstring& text, bool terminated = true) {
    VersionNode value{name, {}, WORD(text.size() + (terminated ? 1 : 0)), 1, {}};
    Append(value.value, text.c_str(), value.valueLength * sizeof(wchar_t));
    return value;
}

inline VersionNode StringTable(const std::wstring& translation, std::vector<std::pair<std::wstring, std::wstring>> values) {
    VersionNode table{translation, {}, 0, 1, {}};
    for (auto& [name, text] : values) table.children.push_back(StringValue(name, text));
    return table;
}

// "VarFileInfo" with a "Translation" table of (language, code page) pairs.
inline VersionNode Translations(std::vector<std::pair<WORD, WORD>> pairs) {
    VersionNode table{L"Translation", {}, WORD(4 * pairs.size()), 0, {}};
    for (const auto& [language, codepage] : pairs) Append(table.value, &language, 2), Append(table.value, &codepage, 2);
    return VersionNode{L"VarFileInfo", {}, 0, 1, {std::move(table)}};
}

// The folder of the test executable and the built binaries.
inline std::string BinDir() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path).substr(0, std::string(path).find_last_of('\\'));
}

// A scratch folder beside them, shared by the test programs.
inline std::string ScratchDir() {
    const std::string dir = BinDir() + "\\scratch";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

// Replaces (or adds) resource `type`/`id` in `language` of the module file at `path`.
inline void PutResource(const std::string& path, const char* type, int id, const void* data, DWORD size, WORD language = 0x0409) {
    HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
    EXPECT_TRUE(UpdateResourceA(update, type, MAKEINTRESOURCEA(id), language, const_cast<void*>(data), size) &&
                EndUpdateResourceA(update, FALSE)) << path;
}

// Writes a copy of the resource-free module carrying `resource` as its version data (none when
// `resource` is empty).
inline void WriteModule(const std::string& path, const std::vector<BYTE>& resource) {
    EXPECT_TRUE(CopyFileA((BinDir() + "\\plain.dll").c_str(), path.c_str(), FALSE)) << path;
    if (!resource.empty()) PutResource(path, MAKEINTRESOURCEA(16), 1, resource.data(), resource.size());
}

// Loads the library at `path` and calls its entry point `name` (DllRegisterServer...).
inline HRESULT CallExport(const std::string& path, const char* name) {
    vinspect::ModuleHandle module(LoadLibraryA(path.c_str()));
    auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(module.Get(), name)));
    return entry != nullptr ? entry() : HRESULT_FROM_WIN32(GetLastError());
}

// The description of the calling thread's error object, taken from it; "<none>" without one.
inline std::wstring TakeError() {
    vinspect::ComRef<IErrorInfo> info;
    vinspect::Bstr description;
    if (GetErrorInfo(0, info.Out()) != S_OK || !info) return L"<none>";
    info->GetDescription(description.Out());
    return Text(description.Get());
}

// The system's text for `code` as the component fetches it (empty when there is none).
inline std::wstring SystemText(HRESULT code) {
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, DWORD(code), 0, text, 511, nullptr);
    return Widen(text);
}

// Makes `call` with a clean error slot and expects `expected` and the error object the component
// leaves for it: its own text for kNotSpecified, the system's for other failures, none for
// S_OK. `row` names the case.
inline void ExpectError(const std::function<HRESULT()>& call, HRESULT expected, const std::string& row) {
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(call(), expected) << row;
    EXPECT_EQ(TakeError(), expected == kNotSpecified ? L"File name is not specified."
                           : FAILED(expected)         ? SystemText(expected) : L"<none>") << row;
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
               RegEnumValueA(key.Get(), i, name, &length, nullptr, &type, data, &size) == 0; ++i) {
        std::string text = "<type " + std::to_string(type) + ", " + std::to_string(size) + ">";
        if (type == REG_DWORD) text = "#" + std::to_string(*reinterpret_cast<LONG*>(data));
        if (type == REG_SZ && size > 0 && data[size - 1] == 0) text = reinterpret_cast<char*>(data);
        out += std::string(" ") + (*name != '\0' ? name : "@") + "=" + text;
    }
    for (DWORD i = 0, length; length = sizeof name,
               RegEnumKeyExA(key.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) == 0; ++i) {
        out += " " + std::string(name) + " {" + Dump(key.Get(), name) + " }";
    }
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
class ReadOnlyKey {
public:
    ReadOnlyKey(HKEY root, const std::string& path) {
        EXPECT_EQ(RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL | WRITE_DAC, key_.Out()), 0);
        DWORD size = 0;
        RegGetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, nullptr, &size);
        original_.resize(size);
        RegGetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, original_.data(), &size);
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;KR;;;WD)", SDDL_REVISION_1,
                                                             &readOnly, nullptr);
        EXPECT_EQ(RegSetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, readOnly), 0) << path;
        LocalFree(readOnly);
    }
    ~ReadOnlyKey() {
        EXPECT_EQ(RegSetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, original_.data()), 0);
    }

private:
    vinspect::RegKey key_;
    std::vector<BYTE> original_;
};

// Assigns `path` to Path ("<null>": a null string) and returns the result.
inline HRESULT Assign(IqzVersionInfo* info, const std::string& path) {
    vinspect::Bstr name(path == "<null>" ? nullptr : SysAllocString(Widen(path).c_str()));
    return info->put_Path(name.Get());
}

// A stand-alone VersionInfo object of the linked-in component, with `path` assigned unless empty.
inline vinspect::ComRef<IqzVersionInfo> NewVersionInfo(const std::string& path = "") {
    vinspect::ComRef<IqzVersionInfo> info;
    EXPECT_EQ(vinspect::CreateVersionInfo(nullptr, IID_IqzVersionInfo, info.OutVoid()), S_OK);
    EXPECT_TRUE(path.empty() || Assign(info.Get(), path) == S_OK) << path;
    return info;
}

}  // namespace testing_support
