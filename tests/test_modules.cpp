#include "test_modules.h"

#include <gtest/gtest.h>

#include <cstring>

#include "server/object_forms.h"

namespace testing_support {
namespace {

void Append(std::vector<BYTE>& out, const void* data, size_t size) {
    if (size == 0) return;
    size_t at = out.size();
    out.resize(at + size);
    std::memcpy(out.data() + at, data, size);
}

void AlignTo4(std::vector<BYTE>& out) { out.resize((out.size() + 3) & ~size_t{3}, 0); }

void AppendWord(std::vector<BYTE>& out, WORD value) { Append(out, &value, sizeof value); }

}  // namespace

std::vector<BYTE> Serialize(const VersionNode& node, bool ansi) {
    std::vector<BYTE> out;
    AppendWord(out, 0);  // length, patched below
    AppendWord(out, node.valueLength);
    if (!ansi) AppendWord(out, node.type);
    if (!ansi) Append(out, node.key.c_str(), (node.key.size() + 1) * sizeof(wchar_t));
    for (size_t i = 0; ansi && i <= node.key.size(); ++i) out.push_back(BYTE(node.key[i]));
    AlignTo4(out);
    const bool ansiText = ansi && node.type != 0;  // one byte per character
    if (!ansiText) Append(out, node.value.data(), node.value.size());
    for (size_t i = 0; ansiText && i < node.value.size(); i += 2) out.push_back(node.value[i]);
    for (const VersionNode& child : node.children) {
        AlignTo4(out);
        std::vector<BYTE> bytes = Serialize(child, ansi);
        Append(out, bytes.data(), bytes.size());
    }
    WORD length = node.lengthOverride != 0 ? node.lengthOverride : static_cast<WORD>(out.size());
    std::memcpy(out.data(), &length, sizeof length);
    return out;
}

VS_FIXEDFILEINFO Fixed(DWORD fileMS, DWORD fileLS, DWORD fileOS, DWORD dateMS, DWORD dateLS) {
    VS_FIXEDFILEINFO fixed{};
    fixed.dwSignature = 0xFEEF04BD;
    fixed.dwStrucVersion = 0x00010000;
    fixed.dwFileVersionMS = fileMS;
    fixed.dwFileVersionLS = fileLS;
    fixed.dwProductVersionMS = fileMS;
    fixed.dwProductVersionLS = fileLS;
    fixed.dwFileFlagsMask = 0x3F;
    fixed.dwFileOS = fileOS;
    fixed.dwFileType = VFT_DLL;
    fixed.dwFileDateMS = dateMS;
    fixed.dwFileDateLS = dateLS;
    return fixed;
}

VersionNode VersionRoot(const VS_FIXEDFILEINFO* fixed, std::vector<VersionNode> blocks) {
    VersionNode root{L"VS_VERSION_INFO", {}, 0, 0, std::move(blocks)};
    if (fixed != nullptr) {
        Append(root.value, fixed, sizeof *fixed);
        root.valueLength = sizeof *fixed;
    }
    return root;
}

VersionNode StringFileInfo(std::vector<VersionNode> tables) {
    return VersionNode{L"StringFileInfo", {}, 0, 1, std::move(tables)};
}

VersionNode StringTable(const std::wstring& translation,
                        std::vector<std::pair<std::wstring, std::wstring>> values) {
    VersionNode table{translation, {}, 0, 1, {}};
    for (auto& [name, text] : values) table.children.push_back(StringValue(name, text));
    return table;
}

VersionNode StringValue(const std::wstring& name, const std::wstring& text, bool terminated) {
    VersionNode value{name, {}, 0, 1, {}};
    size_t characters = text.size() + (terminated ? 1 : 0);
    Append(value.value, text.c_str(), characters * sizeof(wchar_t));
    value.valueLength = static_cast<WORD>(characters);
    return value;
}

VersionNode Translations(std::vector<std::pair<WORD, WORD>> pairs) {
    VersionNode table{L"Translation", {}, 0, 0, {}};
    for (auto [language, codepage] : pairs) {
        AppendWord(table.value, language);
        AppendWord(table.value, codepage);
    }
    table.valueLength = static_cast<WORD>(table.value.size());
    return VersionNode{L"VarFileInfo", {}, 0, 1, {std::move(table)}};
}

std::string BinDir() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.find_last_of('\\'));
}

std::string ScratchDir() {
    char exe[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string name(exe);
    name = name.substr(name.find_last_of('\\') + 1);
    std::string dir = BinDir() + "\\scratch-" + name.substr(0, name.find('.'));
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void WriteModule(const std::string& path, const std::vector<BYTE>& resource) {
    std::string plain = BinDir() + "\\plain.dll";
    ASSERT_TRUE(CopyFileA(plain.c_str(), path.c_str(), FALSE)) << path;
    if (resource.empty()) return;
    HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    ASSERT_TRUE(UpdateResourceA(update, MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                const_cast<BYTE*>(resource.data()),
                                static_cast<DWORD>(resource.size())));
    ASSERT_TRUE(EndUpdateResourceA(update, FALSE));
}

void WriteTextFile(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

DWORD RunProgram(const std::string& commandLine, std::string* output, DWORD timeoutMs) {
    output->clear();
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return static_cast<DWORD>(-1);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    std::string line = commandLine;
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                  nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return static_cast<DWORD>(-1);
    }
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        output->append(buffer, got);
    }
    CloseHandle(readEnd);
    DWORD status = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &status);
    } else {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}

ErrorObject TakeErrorObject() {
    ErrorObject result;
    vinspect::ComRef<IErrorInfo> info;
    if (GetErrorInfo(0, info.Out()) != S_OK || !info) return result;
    result.present = true;
    vinspect::Bstr text;
    info->GetDescription(text.Out());
    result.description = Text(text.Get());
    info->GetSource(text.Out());
    result.source = Text(text.Get());
    info->GetHelpFile(text.Out());
    result.helpFile = Text(text.Get());
    info->GetGUID(&result.guid);
    return result;
}

std::wstring SystemText(HRESULT code) {
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(code), 0, text, 511, nullptr);
    return Widen(text);
}

vinspect::ComRef<IqzVersionInfo> NewVersionInfo() {
    vinspect::ComRef<IqzVersionInfo> info;
    EXPECT_EQ(vinspect::CreateVersionInfo(nullptr, IID_IqzVersionInfo, info.OutVoid()), S_OK);
    return info;
}

std::wstring Widen(const std::string& text) {
    wchar_t wide[2048] = L"";
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, 2047);
    return wide;
}

std::wstring Text(BSTR text) { return text != nullptr ? std::wstring(text, SysStringLen(text)) : L""; }

}  // namespace testing_support
