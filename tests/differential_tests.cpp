// Files read through the object and, independently, through the platform's own API: both must
// report the same fixed fields, first translation, standard strings and custom "Build Date". The
// files are a corpus of version resources written by other producers and by hand (tests/corpus,
// with the script that rebuilds it).
#include "test_support.h"

using namespace test_support;

namespace {

// The values a summary lists: the twelve standard strings, then "Build Date".
const wchar_t* ValueName(int i) { return i < 12 ? kStringReads[i].first : L"Build Date"; }

// Fixed fields, translation and values as a new object reads them; "" without data.
std::wstring ObjectSummary(const std::string& path) {
    vinspect::ComRef<IqzVersionInfo> info = NewVersionInfo();
    VARIANT_BOOL exists = VARIANT_FALSE;
    if (FAILED(Assign(info.Get(), path)) || (info->get_InfoExist(&exists), !exists)) return L"";
    std::wstring summary;
    for (const NumberRead read : kFixedReads) {
        LONG value = 0;
        summary += std::to_wstring(SUCCEEDED((info.Get()->*read)(&value)) ? value : -1) + L" ";
    }
    short language = 0, codepage = 0;
    info->get_Language(&language), info->get_Codepage(&codepage);
    summary += std::to_wstring(USHORT(language)) + L"/" + std::to_wstring(USHORT(codepage));
    for (int value = 0; value < 13; ++value) {
        Bstr text, name(SysAllocString(ValueName(value)));
        const HRESULT result = value < 12 ? (info.Get()->*kStringReads[value].second)(text.Out())
                                          : info->GetValue(nullptr, name.Get(), text.Out());
        summary += L"|" + (result == S_OK ? Text(text.Get()) : L"<failed>");
    }
    return summary;
}

// The same as the platform reads it. A 32-bit block is read through the wide API, which uses no
// conversion area; a 16-bit block through the ANSI API, which hands its text out as stored (the
// wide API converts it into the block, and Wine 8's 32-bit version.dll then loses values and
// damages the heap). A value missing under the file's translation is looked up once under U.S.
// English / Western European, unless the translation is already such a one. Texts pass through
// the ANSI code page, as the object's do.
std::wstring PlatformSummary(const std::string& path) {
    DWORD handle = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeA(path.c_str(), &handle));
    GetFileVersionInfoA(path.c_str(), handle, DWORD(block.size()), block.data());
    const bool ansi = block.size() > 4 && block[4] >= 0x20 && block[4] <= 0x7F;
    const std::wstring wide = Widen(path);
    if (!ansi) block.resize(GetFileVersionInfoSizeW(wide.c_str(), &handle));
    if (!ansi) GetFileVersionInfoW(wide.c_str(), handle, DWORD(block.size()), block.data());
    auto query = [&](const std::wstring& at, auto** value, UINT* length) {
        void** out = reinterpret_cast<void**>(value);
        if (block.empty()) return false;
        if (ansi) return bool(VerQueryValueA(block.data(), Narrow(at).c_str(), out, length));
        return bool(VerQueryValueW(block.data(), at.c_str(), out, length));
    };
    UINT length = 0;
    DWORD* fixed = nullptr;
    if (!query(L"\\", &fixed, &length)) return L"";
    std::wstring summary;
    for (int field = 2; field < 11; ++field) summary += std::to_wstring(LONG(fixed[field])) + L" ";
    WORD* table = nullptr;
    const bool translated = query(L"\\VarFileInfo\\Translation", &table, &length) && length >= 4;
    USHORT language = translated ? table[0] : 1033, codepage = translated ? table[1] : 1200;
    summary += std::to_wstring(language) + L"/" + std::to_wstring(codepage);
    auto text = [&](USHORT under, USHORT page, const wchar_t* name, std::wstring* text) {
        wchar_t at[512];
        swprintf(at, 512, L"\\StringFileInfo\\%04X%04X\\%ls", under, page, name);
        void* value = nullptr;
        if (!query(at, &value, &length)) return false;
        const char* bytes = static_cast<const char*>(value);
        const wchar_t* chars = static_cast<const wchar_t*>(value);
        *text = !value ? L""
                : ansi ? Widen(std::string(bytes, strnlen(bytes, length)))
                       : Widen(Narrow(std::wstring(chars, wcsnlen(chars, length))));
        return true;
    };
    for (int value = 0; value < 13; ++value) {
        std::wstring found;
        if (!text(language, codepage, ValueName(value), &found) &&
            !(codepage == 1252 && language != 0) && text(1033, 1252, ValueName(value), &found))
            language = 1033, codepage = 1252;
        summary += L"|" + found;
    }
    return summary;
}

// Every resource of the corpus loads: a raw resource (.bin) in a module of its own, a 16-bit
// executable (.ne) as it is.
TEST(Differential, ResourcesOfOtherProducersReadTheSameAsThroughThePlatform) {
    const std::string corpus = BinDir() + "\\corpus\\", module = ScratchDir() + "\\corpus.dll";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((corpus + "*.*").c_str(), &found);
    size_t files = 0;
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        const std::string name = found.cFileName, type = name.substr(name.find_last_of('.') + 1);
        if (type != "bin" && type != "ne") continue;
        SCOPED_TRACE(name);
        if (type == "bin") WriteModule(module, ReadBytes(corpus + name));
        const std::string path = type == "bin" ? module : corpus + name;
        const std::wstring expected = PlatformSummary(path);
        EXPECT_NE(expected, L"");
        EXPECT_EQ(ObjectSummary(path), expected);
        ++files;
    }
    FindClose(search);
    EXPECT_GE(files, 23u);
}

}  // namespace
