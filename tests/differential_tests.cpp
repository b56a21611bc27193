// Files read through the object and, independently, through the wide forms of the version API
// (which never use the conversion area): both must report the same data. The files are every
// module of the prefix's system folder, and a corpus of version resources written by other
// producers and by hand (tests/corpus, with the script that rebuilds it).
#include <fstream>
#include <iterator>

#include "test_modules.h"

using namespace testing_support;
using vinspect::Bstr;

namespace {

// The wide API's text for `name` under the translation; false when the value does not exist.
bool WideString(const std::vector<BYTE>& block, USHORT language, USHORT codepage,
                const wchar_t* name, std::wstring* text) {
    wchar_t path[512];
    swprintf(path, 512, L"\\StringFileInfo\\%04X%04X\\%ls", language, codepage, name);
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path, reinterpret_cast<void**>(&value), &length)) {
        return false;
    }
    *text = value != nullptr ? std::wstring(value, wcsnlen(value, length)) : L"";
    return true;
}

// Reads `path` through the object and through the wide API and expects the same fixed fields,
// first translation, standard strings and custom "Build Date"; false when the wide API finds no
// version data (the object must then find none either).
bool ExpectSameAsWideApi(IqzVersionInfo* info, const std::string& path) {
    const std::wstring file = Widen(path);
    const HRESULT loaded = Assign(info, path);
    VARIANT_BOOL exists = VARIANT_FALSE;
    info->get_InfoExist(&exists);
    DWORD handle = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeW(file.c_str(), &handle));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (block.empty() ||
        !GetFileVersionInfoW(file.c_str(), handle, DWORD(block.size()), block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
        EXPECT_FALSE(exists);
        return false;
    }
    EXPECT_EQ(loaded, S_OK);
    EXPECT_EQ(exists, VARIANT_TRUE);
    for (int field = 0; field < 9; ++field) {
        LONG value = 0;
        EXPECT_EQ((info->*kFixedReads[field])(&value), S_OK) << "field " << field;
        EXPECT_EQ(DWORD(value), (&fixed->dwFileVersionMS)[field]) << "field " << field;
    }
    // The object takes the file's first translation; a file without one is read under U.S.
    // English, Unicode.
    WORD* table = nullptr;
    USHORT language = 1033, codepage = 1200;
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                       reinterpret_cast<void**>(&table), &length) &&
        length >= 4) {
        short objectLanguage = 0, objectCodepage = 0;
        info->get_Language(&objectLanguage);
        info->get_Codepage(&objectCodepage);
        EXPECT_EQ(USHORT(objectLanguage), table[0]);
        EXPECT_EQ(USHORT(objectCodepage), table[1]);
        language = table[0], codepage = table[1];
    }
    info->put_Language(short(language));
    info->put_Codepage(short(codepage));
    // Each value under the file's translation, or once under U.S. English / Western European
    // when it is not there and the translation is not already such a one. The object's text has
    // passed through the ANSI code page.
    Bstr custom(SysAllocString(L"Build Date"));
    for (int read = 0; read <= 12; ++read) {
        const wchar_t* name = read < 12 ? kStringReads[read].first : custom.Get();
        std::wstring expected;
        if (!WideString(block, language, codepage, name, &expected) &&
            !(codepage == 1252 && language != 0) &&
            WideString(block, 1033, 1252, name, &expected)) {
            language = 1033;
            codepage = 1252;
        }
        char ansi[4096] = "";
        WideCharToMultiByte(CP_ACP, 0, expected.c_str(), -1, ansi, sizeof ansi - 1, nullptr,
                            nullptr);
        Bstr actual;
        const HRESULT result = read < 12 ? (info->*kStringReads[read].second)(actual.Out())
                                         : info->GetValue(nullptr, custom.Get(), actual.Out());
        EXPECT_EQ(result, S_OK) << name;
        EXPECT_EQ(Text(actual.Get()), Widen(ansi)) << name;
    }
    return true;
}

TEST(Differential, SystemModulesReadTheSameAsThroughTheWideApi) {
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(system) + "\\*.*").c_str(), &found);
    size_t withData = 0;
    vinspect::ComRef<IqzVersionInfo> info = NewVersionInfo();
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        SCOPED_TRACE(found.cFileName);
        withData += ExpectSameAsWideApi(info.Get(), std::string(system) + "\\" + found.cFileName);
    }
    FindClose(search);
    std::printf("%zu modules with version data\n", withData);
    EXPECT_GT(withData, 100u);
}

// Every resource of the corpus loads: a raw resource (.bin) in a module of its own, a 16-bit
// executable (.ne) as it is.
TEST(Differential, ResourcesOfOtherProducersReadTheSameAsThroughTheWideApi) {
    const std::string corpus = BinDir() + "\\corpus\\";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((corpus + "*.*").c_str(), &found);
    size_t files = 0;
    vinspect::ComRef<IqzVersionInfo> info = NewVersionInfo();
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        const std::string name = found.cFileName;
        const std::string type = name.substr(name.find_last_of('.') + 1);
        if (type != "bin" && type != "ne") continue;
        SCOPED_TRACE(name);
        std::string path = corpus + name;
        if (type == "bin") {
            std::ifstream in(path, std::ios::binary);
            const std::vector<BYTE> resource(std::istreambuf_iterator<char>(in), {});
            WriteModule(path = ScratchDir() + "\\corpus-" + name + ".dll", resource);
        }
        EXPECT_TRUE(ExpectSameAsWideApi(info.Get(), path));
        ++files;
    }
    FindClose(search);
    EXPECT_GE(files, 23u);
}

}  // namespace
