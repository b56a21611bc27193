// Every module of the prefix's system folder read through the object and, independently, through
// the wide forms of the version API: both must report the same data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_modules.h"

using namespace testing_support;
using vinspect::Bstr;
using vinspect::ComRef;

namespace {

// The wide text as it comes back after the round trip through the ANSI code page.
std::wstring ThroughAnsi(const std::wstring& text) {
    char ansi[4096] = "";
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, ansi, sizeof ansi - 1, nullptr, nullptr);
    return Widen(ansi);
}

// The value the wide API finds at `path`, with its length; false when the path does not exist.
bool WideQuery(const std::vector<BYTE>& block, const std::wstring& path, void** value, UINT* length) {
    *value = nullptr;
    return VerQueryValueW(block.data(), path.c_str(), value, length) != 0;
}

bool WideString(const std::vector<BYTE>& block, USHORT language, USHORT codepage,
                const wchar_t* name, std::wstring* text) {
    wchar_t path[512];
    swprintf(path, 512, L"\\StringFileInfo\\%04X%04X\\%ls", language, codepage, name);
    void* value = nullptr;
    UINT length = 0;
    if (!WideQuery(block, path, &value, &length)) return false;
    *text = value != nullptr ? std::wstring(static_cast<const wchar_t*>(value),
                                            wcsnlen(static_cast<const wchar_t*>(value), length)) : L"";
    return true;
}

TEST(Differential, SystemModulesReadTheSameAsThroughTheWideApi) {
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(system) + "\\*.*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    size_t withData = 0;
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::string module = std::string(system) + "\\" + found.cFileName;
        SCOPED_TRACE(module);
        const std::wstring wide = Widen(module);
        Bstr path(SysAllocString(wide.c_str()));
        const HRESULT loaded = info->put_Path(path.Get());
        VARIANT_BOOL exists = VARIANT_FALSE;
        info->get_InfoExist(&exists);
        DWORD handle = 0;
        std::vector<BYTE> block(GetFileVersionInfoSizeW(wide.c_str(), &handle));
        if (block.empty() || !GetFileVersionInfoW(wide.c_str(), handle, DWORD(block.size()), block.data())) {
            EXPECT_FALSE(exists);
            continue;
        }
        ASSERT_EQ(loaded, S_OK);
        ASSERT_TRUE(exists);
        ++withData;

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(WideQuery(block, L"\\", reinterpret_cast<void**>(&fixed), &length));
        for (int field = 0; field < 9; ++field) {
            LONG value = 0;
            EXPECT_EQ((info.Get()->*kFixedReads[field])(&value), S_OK) << "field " << field;
            EXPECT_EQ(DWORD(value), (&fixed->dwFileVersionMS)[field]) << "field " << field;
        }

        WORD* table = nullptr;
        USHORT language = 1033, codepage = 1200;
        if (WideQuery(block, L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&table), &length) &&
            length >= 4) {
            language = table[0];
            codepage = table[1];
            char name[128] = "";
            VerLanguageNameA(language, name, sizeof name);
            Bstr languageName;
            info->get_LanguageName(languageName.Out());
            EXPECT_EQ(Text(languageName.Get()), Widen(name));
        }
        info->put_Language(static_cast<short>(language));
        info->put_Codepage(static_cast<short>(codepage));
        // Each value under the file's translation, or once under U.S. English / Western
        // European when it is not there and the translation is not already such a one.
        for (const auto& [name, read] : kStringReads) {
            std::wstring expected;
            if (!WideString(block, language, codepage, name, &expected) &&
                !(codepage == 1252 && language != 0) && WideString(block, 1033, 1252, name, &expected)) {
                language = 1033;
                codepage = 1252;
            }
            Bstr actual;
            EXPECT_EQ((info.Get()->*read)(actual.Out()), S_OK) << name;
            EXPECT_EQ(Text(actual.Get()), ThroughAnsi(expected)) << name;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::printf("%zu modules with version data\n", withData);
    EXPECT_GT(withData, 100u);
}

}  // namespace
