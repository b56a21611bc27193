#include "test_modules.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "server/object_forms.h"

namespace testing_support {

#define READ(name) &IqzVersionInfo::get_##name
const NumberRead kFixedReads[9] = {
    READ(FileVersionHigh), READ(FileVersionLow), READ(ProductVersionHigh), READ(ProductVersionLow),
    READ(FileFlagsMask), READ(FileFlags), READ(FileOS), READ(FileType), READ(FileSubtype)};
#define NAMED(name) {L## #name, READ(name)}
const std::pair<const wchar_t*, StringRead> kStringReads[12] = {
    NAMED(FileDescription), NAMED(ProductName), NAMED(FileVersion), NAMED(ProductVersion),
    NAMED(CompanyName), NAMED(InternalName), NAMED(OriginalFilename), NAMED(PrivateBuild),
    NAMED(SpecialBuild), NAMED(LegalCopyright), NAMED(LegalTrademarks), NAMED(Comments)};
#undef NAMED
#undef READ

// Appends `size` bytes, then pads to the format's 32-bit alignment when `align` is set.
static void Append(std::vector<BYTE>& out, const void* data, size_t size, bool align = false) {
    out.resize(out.size() + size);
    if (size != 0) std::memcpy(out.data() + out.size() - size, data, size);
    if (align) out.resize((out.size() + 3) & ~size_t{3}, 0);
}

std::vector<BYTE> Serialize(const VersionNode& node, bool ansi) {
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

VS_FIXEDFILEINFO Fixed(DWORD fileMS, DWORD fileLS, DWORD fileOS, DWORD dateMS, DWORD dateLS) {
    return {0xFEEF04BD, 0x00010000, fileMS, fileLS, fileMS, fileLS, 0x3F, 0, fileOS, VFT_DLL, 0, dateMS, dateLS};
}

VersionNode VersionRoot(const VS_FIXEDFILEINFO* fixed, std::vector<VersionNode> blocks) {
    VersionNode root{L"VS_VERSION_INFO", {}, 0, 0, std::move(blocks)};
    if (fixed != nullptr) Append(root.value, fixed, root.valueLength = sizeof *fixed);
    return root;
}

VersionNode StringFileInfo(std::vector<VersionNode> tables) { return {L"StringFileInfo", {}, 0, 1, std::move(tables)}; }

VersionNode StringTable(const std::wstring& translation, std::vector<std::pair<std::wstring, std::wstring>> values) {
    VersionNode table{translation, {}, 0, 1, {}};
    for (auto& [name, text] : values) table.children.push_back(StringValue(name, text));
    return table;
}

VersionNode StringValue(const std::wstring& name, const std::wstring& text, bool terminated) {
    VersionNode value{name, {}, WORD(text.size() + (terminated ? 1 : 0)), 1, {}};
    Append(value.value, text.c_str(), value.valueLength * sizeof(wchar_t));
    return value;
}

VersionNode Translations(std::vector<std::pair<WORD, WORD>> pairs) {
    VersionNode table{L"Translation", {}, WORD(4 * pairs.size()), 0, {}};
    for (const auto& [language, codepage] : pairs) Append(table.value, &language, 2), Append(table.value, &codepage, 2);
    return VersionNode{L"VarFileInfo", {}, 0, 1, {std::move(table)}};
}

std::string BinDir() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path).substr(0, std::string(path).find_last_of('\\'));
}

std::string ScratchDir() {
    const std::string dir = BinDir() + "\\scratch";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void PutResource(const std::string& path, const char* type, int id, const void* data, DWORD size, WORD language) {
    HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
    EXPECT_TRUE(UpdateResourceA(update, type, MAKEINTRESOURCEA(id), language, const_cast<void*>(data), size) &&
                EndUpdateResourceA(update, FALSE)) << path;
}

void WriteModule(const std::string& path, const std::vector<BYTE>& resource) {
    EXPECT_TRUE(CopyFileA((BinDir() + "\\plain.dll").c_str(), path.c_str(), FALSE)) << path;
    if (!resource.empty()) PutResource(path, MAKEINTRESOURCEA(16), 1, resource.data(), resource.size());
}

void WriteTextFile(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_TRUE(file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size()) << path;
    if (file != nullptr) std::fclose(file);
}

HRESULT CallExport(const std::string& path, const char* name) {
    vinspect::ModuleHandle module(LoadLibraryA(path.c_str()));
    auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(module.Get(), name)));
    return entry != nullptr ? entry() : HRESULT_FROM_WIN32(GetLastError());
}

std::wstring TakeError() {
    vinspect::ComRef<IErrorInfo> info;
    vinspect::Bstr description;
    if (GetErrorInfo(0, info.Out()) != S_OK || !info) return L"<none>";
    info->GetDescription(description.Out());
    return Text(description.Get());
}

std::wstring SystemText(HRESULT code) {
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, DWORD(code), 0, text, 511, nullptr);
    return Widen(text);
}

void ExpectError(const std::function<HRESULT()>& call, HRESULT expected, const std::string& row) {
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(call(), expected) << row;
    EXPECT_EQ(TakeError(), expected == kNotSpecified ? L"File name is not specified."
                           : FAILED(expected)         ? SystemText(expected) : L"<none>") << row;
}

std::string Dump(HKEY root, const std::string& path) {
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

HRESULT Assign(IqzVersionInfo* info, const std::string& path) {
    vinspect::Bstr name(path == "<null>" ? nullptr : SysAllocString(Widen(path).c_str()));
    return info->put_Path(name.Get());
}

vinspect::ComRef<IqzVersionInfo> NewVersionInfo(const std::string& path) {
    vinspect::ComRef<IqzVersionInfo> info;
    EXPECT_EQ(vinspect::CreateVersionInfo(nullptr, IID_IqzVersionInfo, info.OutVoid()), S_OK);
    EXPECT_TRUE(path.empty() || Assign(info.Get(), path) == S_OK) << path;
    return info;
}

std::wstring Widen(const std::string& text) {
    wchar_t wide[2048] = L"";
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, 2047);
    return wide;
}

std::wstring Text(BSTR text) { return text != nullptr ? std::wstring(text, SysStringLen(text)) : L""; }

}  // namespace testing_support
