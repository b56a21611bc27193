// Every file of the prefix's system folder read through the object and, independently, through
// the wide forms of the version API: both must report the same data.
#include "test_modules.h"

using namespace testing_support;
using vinspect::Bstr;

namespace {

// The wide API's text for `name` under the translation; false when the value does not exist.
bool WideString(const std::vector<BYTE>& block, USHORT language, USHORT codepage, const wchar_t* name,
                std::wstring* text) {
    wchar_t path[512];
    swprintf(path, 512, L"\\StringFileInfo\\%04X%04X\\%ls", language, codepage, name);
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path, reinterpret_cast<void**>(&value), &length)) return false;
    *text = value != nullptr ? std::wstring(value, wcsnlen(value, length)) : L"";
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
        const std::wstring path = Widen(std::string(system) + "\\" + found.cFileName);
        SCOPED_TRACE(found.cFileName);
        const HRESULT loaded = Assign(info.Get(), std::string(system) + "\\" + found.cFileName);
        VARIANT_BOOL exists = VARIANT_FALSE;
        info->get_InfoExist(&exists);
        DWORD handle = 0;
        std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), &handle));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        if (block.empty() || !GetFileVersionInfoW(path.c_str(), handle, DWORD(block.size()), block.data()) ||
            !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
            EXPECT_FALSE(exists);
            continue;
        }
        ++withData;
        EXPECT_EQ(std::make_pair(loaded, exists), std::make_pair(S_OK, VARIANT_TRUE));
        for (int field = 0; field < 9; ++field) {
            LONG value = 0;
            EXPECT_EQ((info.Get()->*kFixedReads[field])(&value), S_OK) << "field " << field;
            EXPECT_EQ(DWORD(value), (&fixed->dwFileVersionMS)[field]) << "field " << field;
        }
        WORD* table = nullptr;
        USHORT language = 1033, codepage = 1200;
        if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&table), &length) &&
            length >= 4) {
            language = table[0], codepage = table[1];
        }
        info->put_Language(short(language));
        info->put_Codepage(short(codepage));
        // Each value under the file's translation, or once under U.S. English / Western
        // European when it is not there and the translation is not already such a one. The
        // object's text has passed through the ANSI code page.
        for (const auto& [value, read] : kStringReads) {
            std::wstring expected;
            if (!WideString(block, language, codepage, value, &expected) && !(codepage == 1252 && language != 0) &&
                WideString(block, 1033, 1252, value, &expected)) {
                language = 1033;
                codepage = 1252;
            }
            char ansi[4096] = "";
            WideCharToMultiByte(CP_ACP, 0, expected.c_str(), -1, ansi, sizeof ansi - 1, nullptr, nullptr);
            Bstr actual;
            EXPECT_EQ((info.Get()->*read)(actual.Out()), S_OK) << value;
            EXPECT_EQ(Text(actual.Get()), Widen(ansi)) << value;
        }
    }
    FindClose(search);
    std::printf("%zu modules with version data\n", withData);
    EXPECT_GT(withData, 100u);
}

}  // namespace
