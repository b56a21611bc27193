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

using StringRead = HRESULT (STDMETHODCALLTYPE IqzVersionInfo::*)(BSTR*);

// The wide text as it comes back after the round trip through the ANSI code page.
std::wstring ThroughAnsi(const std::wstring& text) {
    char ansi[4096] = "";
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, ansi, sizeof ansi - 1, nullptr, nullptr);
    return Widen(ansi);
}

// What the wide API finds for `name` under a translation; false when the path does not exist.
bool WideLookup(const std::vector<BYTE>& block, USHORT language, USHORT codepage,
                const wchar_t* name, std::wstring* text) {
    wchar_t path[512];
    swprintf(path, 512, L"\\StringFileInfo\\%04X%04X\\%ls", language, codepage, name);
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path, &value, &length)) return false;
    text->clear();
    if (value != nullptr && length > 0) {
        const wchar_t* chars = static_cast<const wchar_t*>(value);
        text->assign(chars, wcsnlen(chars, length));
    }
    return true;
}

std::vector<std::string> SystemModules() {
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    std::vector<std::string> modules;
    for (const char* pattern : {"\\*.dll", "\\*.exe"}) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((std::string(system) + pattern).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) continue;
        do {
            modules.push_back(std::string(system) + "\\" + found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return modules;
}

TEST(Differential, SystemModulesReadTheSameAsThroughTheWideApi) {
    const struct {
        const wchar_t* name;
        StringRead read;
    } strings[] = {
        {L"FileDescription", &IqzVersionInfo::get_FileDescription},
        {L"ProductName", &IqzVersionInfo::get_ProductName},
        {L"FileVersion", &IqzVersionInfo::get_FileVersion},
        {L"ProductVersion", &IqzVersionInfo::get_ProductVersion},
        {L"CompanyName", &IqzVersionInfo::get_CompanyName},
        {L"InternalName", &IqzVersionInfo::get_InternalName},
        {L"OriginalFilename", &IqzVersionInfo::get_OriginalFilename},
        {L"PrivateBuild", &IqzVersionInfo::get_PrivateBuild},
        {L"SpecialBuild", &IqzVersionInfo::get_SpecialBuild},
        {L"LegalCopyright", &IqzVersionInfo::get_LegalCopyright},
        {L"LegalTrademarks", &IqzVersionInfo::get_LegalTrademarks},
        {L"Comments", &IqzVersionInfo::get_Comments},
    };
    const std::vector<std::string> modules = SystemModules();
    ASSERT_GT(modules.size(), 100u);
    size_t withData = 0;
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    for (const std::string& module : modules) {
        SCOPED_TRACE(module);
        const std::wstring wide = Widen(module);
        Bstr path(SysAllocString(wide.c_str()));
        HRESULT loaded = info->put_Path(path.Get());
        VARIANT_BOOL exists = VARIANT_FALSE;
        info->get_InfoExist(&exists);

        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &handle);
        std::vector<BYTE> block(size);
        if (size == 0 || !GetFileVersionInfoW(wide.c_str(), handle, size, block.data())) {
            EXPECT_FALSE(exists);
            continue;
        }
        ASSERT_EQ(loaded, S_OK);
        ASSERT_TRUE(exists);
        ++withData;

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        LONG value = 0;
        info->get_FileVersionHigh(&value);
        EXPECT_EQ(static_cast<DWORD>(value), fixed->dwFileVersionMS);
        info->get_FileVersionLow(&value);
        EXPECT_EQ(static_cast<DWORD>(value), fixed->dwFileVersionLS);
        info->get_ProductVersionHigh(&value);
        EXPECT_EQ(static_cast<DWORD>(value), fixed->dwProductVersionMS);
        info->get_ProductVersionLow(&value);
        EXPECT_EQ(static_cast<DWORD>(value), fixed->dwProductVersionLS);
        info->get_FileFlags(&value);
        EXPECT_EQ(static_cast<DWORD>(value), fixed->dwFileFlags);
        info->get_FileOS(&value);
        EXPECT_EQ(static_cast<DWORD>(value), fixed->dwFileOS);
        info->get_FileType(&value);
        EXPECT_EQ(static_cast<DWORD>(value), fixed->dwFileType);

        WORD* table = nullptr;
        USHORT language = 1033;
        USHORT codepage = 1200;
        if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                           reinterpret_cast<void**>(&table), &length) &&
            length >= 4) {
            language = table[0];
            codepage = table[1];
            short current = 0;
            info->get_Language(&current);
            EXPECT_EQ(static_cast<USHORT>(current), language);
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
        for (const auto& row : strings) {
            std::wstring expected;
            if (!WideLookup(block, language, codepage, row.name, &expected) &&
                !(codepage == 1252 && language != 0) &&
                WideLookup(block, 1033, 1252, row.name, &expected)) {
                language = 1033;
                codepage = 1252;
            }
            Bstr actual;
            EXPECT_EQ((info.Get()->*row.read)(actual.Out()), S_OK);
            EXPECT_EQ(Text(actual.Get()), ThroughAnsi(expected)) << row.name;
        }
    }
    std::printf("%zu modules, %zu with version data\n", modules.size(), withData);
    EXPECT_GT(withData, 100u);
}

}  // namespace
