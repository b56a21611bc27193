// Fixed fields, version strings and lookups of a loaded VersionInfo object, read from modules
// whose version resources the tests write themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "test_modules.h"

using namespace testing_support;
using vinspect::Bstr;
using vinspect::ComRef;

namespace {

using StringRead = HRESULT (STDMETHODCALLTYPE IqzVersionInfo::*)(BSTR*);
using NumberRead = HRESULT (STDMETHODCALLTYPE IqzVersionInfo::*)(LONG*);

std::wstring ReadText(IqzVersionInfo* info, StringRead read) {
    Bstr value;
    EXPECT_EQ((info->*read)(value.Out()), S_OK);
    return Text(value.Get());
}

std::wstring LanguageText(WORD language) {
    char name[128] = "";
    VerLanguageNameA(language, name, sizeof name);
    return Widen(name);
}

class Properties : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = ScratchDir();
        VS_FIXEDFILEINFO fixed = Fixed(0x00040000, 0x05650001);
        const std::vector<std::pair<std::wstring, std::wstring>> strings = {
            {L"CompanyName", L"Tervik"}, {L"LegalCopyright", L"(c) Tervik"},
            {L"Build Date", L"1998, 9, 23, 16, 56"}};
        Write("english.dll", &fixed, {StringFileInfo({StringTable(L"040904B0", strings)}),
                                      Translations({{0x0409, 0x04B0}})});
        Write("western.dll", &fixed, {StringFileInfo({StringTable(L"040904E4", strings)}),
                                      Translations({{0x0409, 0x04B0}})});
        Write("mislabelled.dll", &fixed, {StringFileInfo({StringTable(L"040904B0", strings)}),
                                          Translations({{0x0407, 0x04E4}})});
        Write("neutral.dll", &fixed, {StringFileInfo({StringTable(L"040904E4", strings)}),
                                      Translations({{0x0000, 0x04E4}})});
        Write("unknown-language.dll", &fixed, {Translations({{0x0C7F, 0x04B0}})});
        VersionNode open = StringTable(L"040904B0", {{L"CompanyName", L"Tervik"}});
        open.children.push_back(StringValue(L"ProductName", L"Open", false));
        Write("unterminated.dll", &fixed, {Translations({{0x0409, 0x04B0}}), StringFileInfo({open})});
    }
    static void Write(const char* name, const VS_FIXEDFILEINFO* fixed, std::vector<VersionNode> blocks) {
        WriteModule(dir_ + "\\" + name, Serialize(VersionRoot(fixed, std::move(blocks))));
    }
    static ComRef<IqzVersionInfo> Open(const char* name) { return NewVersionInfo(dir_ + "\\" + name); }

    static inline std::string dir_;
};

// Every fixed field differs from every other, so that a getter reading the wrong one fails.
TEST_F(Properties, EachFixedFieldComesFromItsOwnPlace) {
    SYSTEMTIME time{1998, 9, 0, 23, 16, 56, 0, 0};
    FILETIME date{};
    ASSERT_TRUE(SystemTimeToFileTime(&time, &date));
    const VS_FIXEDFILEINFO fixed{0xFEEF04BD, 0x00010000, 0x00010002, 0x00030004, 0x00050006,
                                 0x00070008, 0x3F, 0xC1,  // flags beyond the mask are reported too
                                 0x00040004, VFT_DRV, VFT2_DRV_SOUND, date.dwHighDateTime,
                                 date.dwLowDateTime};
    Write("fields.dll", &fixed, {});
    ComRef<IqzVersionInfo> info = Open("fields.dll");
#define ROW(name, value) {&IqzVersionInfo::get_##name, value, #name}
    const struct {
        NumberRead read;
        LONG expected;
        const char* name;
    } rows[] = {ROW(FileVersionHigh, 0x00010002), ROW(FileVersionLow, 0x00030004),
                ROW(ProductVersionHigh, 0x00050006), ROW(ProductVersionLow, 0x00070008),
                ROW(FileFlagsMask, 0x3F), ROW(FileFlags, 0xC1), ROW(FileOS, 0x00040004),
                ROW(FileType, VFT_DRV), ROW(FileSubtype, VFT2_DRV_SOUND)};
#undef ROW
    for (const auto& row : rows) {
        LONG value = -1;
        EXPECT_EQ((info.Get()->*row.read)(&value), S_OK) << row.name;
        EXPECT_EQ(value, row.expected) << row.name;
    }
    VARIANT value;
    ASSERT_EQ(info->get_FileDate(&value), S_OK);
    EXPECT_EQ(V_VT(&value), VT_DATE);
    EXPECT_NEAR(V_DATE(&value), 36061 + (16 * 60 + 56) / 1440.0, 1e-9);
}

// One module per row. The system's name follows the low word of dwFileOS only. The date words
// give an automation date (days from 30 December 1899, the time of day as the fraction, also
// before 1899); a date beyond 9999 or outside the file-time range is unexpected, without error
// object and with an empty result.
TEST_F(Properties, SystemNamesAndFileDates) {
    constexpr double kUnexpected = NAN;
    const struct {
        DWORD fileOS;
        const wchar_t* name;
        WORD year, month, day, hour, minute, second;  // year 0: date words 0x80000000, 0
        double date;
    } rows[] = {
        {0x00010001, L"Win16", 1601, 1, 1, 0, 0, 0, -109205.0},
        {0x00020002, L"PM-16", 1899, 12, 29, 6, 0, 0, -1.25},
        {0x00000003, L"PM-32", 1899, 12, 30, 18, 0, 0, 0.75},
        {0x00030003, L"PM-32", 1900, 3, 1, 0, 0, 0, 61.0},
        {0x00010004, L"Win32", 2000, 2, 29, 12, 0, 0, 36585.5},
        {0x00040000, L"Unknown", 1800, 2, 28, 23, 59, 59, -36464 - 86399 / 86400.0},
        {0x00000000, L"Unknown", 9999, 12, 31, 0, 0, 0, 2958465.0},
        {0x00040005, L"Unknown", 10000, 1, 1, 0, 0, 0, kUnexpected},
        {0x00040004, L"Win32", 0, 0, 0, 0, 0, 0, kUnexpected},
    };
    for (const auto& row : rows) {
        const std::string where = "row of " + std::to_string(row.year) + "-" + std::to_string(row.month);
        SYSTEMTIME time{row.year, row.month, 0, row.day, row.hour, row.minute, row.second, 0};
        FILETIME date{0, 0x80000000u};
        if (row.year != 0) {
            ASSERT_TRUE(SystemTimeToFileTime(&time, &date)) << where;
        }
        VS_FIXEDFILEINFO fixed = Fixed(0x00010000, 0, row.fileOS, date.dwHighDateTime, date.dwLowDateTime);
        Write("row.dll", &fixed, {});
        ComRef<IqzVersionInfo> info = Open("row.dll");
        EXPECT_EQ(ReadText(info.Get(), &IqzVersionInfo::get_FileOSString), row.name) << where;
        VARIANT value;
        V_VT(&value) = VT_I4;
        SetErrorInfo(0, nullptr);
        const HRESULT result = info->get_FileDate(&value);
        EXPECT_EQ(result, std::isnan(row.date) ? E_UNEXPECTED : S_OK) << where;
        EXPECT_EQ(V_VT(&value), std::isnan(row.date) ? VT_EMPTY : VT_DATE) << where;
        if (result == S_OK) {
            EXPECT_NEAR(V_DATE(&value), row.date, 1e-9) << where;
        }
        EXPECT_FALSE(TakeErrorObject().present) << where;
    }
}

// Steps on one object per file: Language and Codepage set first (0: not set), a read, then the
// text and the translation that Language/Codepage report afterwards.
TEST_F(Properties, StringsFollowTheTranslationAndFallBackOnlyWhenThatFindsTheValue) {
    const std::wstring english = LanguageText(0x0409);
    const struct {
        const char* file;  // null: the same object as the step before
        short language, codepage;
        StringRead read;
        std::wstring text;
        USHORT languageAfter, codepageAfter;
    } steps[] = {
        {"english.dll", 0, 0, &IqzVersionInfo::get_CompanyName, L"Tervik", 1033, 1200},
        // An absent value does not switch the translation, so later values are still found.
        {nullptr, 0, 0, &IqzVersionInfo::get_PrivateBuild, L"", 1033, 1200},
        {nullptr, 0, 0, &IqzVersionInfo::get_LegalCopyright, L"(c) Tervik", 1033, 1200},
        // Code page 1252 with a language never falls back; 040904E4 does not exist here.
        {nullptr, 0, 1252, &IqzVersionInfo::get_CompanyName, L"", 1033, 1252},
        // LanguageName names the file's language, not the one set.
        {nullptr, 1031, 0, &IqzVersionInfo::get_LanguageName, english, 1031, 1252},
        // Strings only under 040904E4: found through the fallback, which then stays.
        {"western.dll", 0, 0, &IqzVersionInfo::get_PrivateBuild, L"", 1033, 1200},
        {nullptr, 0, 0, &IqzVersionInfo::get_CompanyName, L"Tervik", 1033, 1252},
        // Language 0 with code page 1252 is not a fallback translation of its own.
        {"neutral.dll", 0, 0, &IqzVersionInfo::get_LegalCopyright, L"(c) Tervik", 1033, 1252},
        // A table naming 0407/1252 while the strings sit under 040904B0 finds nothing.
        {"mislabelled.dll", 0, 0, &IqzVersionInfo::get_CompanyName, L"", 0x0407, 1252},
        // A last value without terminator ends at its reported length.
        {"unterminated.dll", 0, 0, &IqzVersionInfo::get_ProductName, L"Open", 1033, 1200},
        {"unknown-language.dll", 0, 0, &IqzVersionInfo::get_LanguageName, L"", 0x0C7F, 1200},
    };
    ComRef<IqzVersionInfo> info;
    int at = 0;
    for (const auto& step : steps) {
        if (step.file != nullptr) info = Open(step.file);
        if (step.language != 0) info->put_Language(step.language);
        if (step.codepage != 0) info->put_Codepage(step.codepage);
        short language = 0, codepage = 0;
        EXPECT_EQ(ReadText(info.Get(), step.read), step.text) << "step " << at;
        info->get_Language(&language);
        info->get_Codepage(&codepage);
        EXPECT_EQ(USHORT(language), step.languageAfter) << "step " << at;
        EXPECT_EQ(USHORT(codepage), step.codepageAfter) << "step " << at++;
    }
}

// GetValue looks any block and name up under the translation, which it never changes; a value
// path that does not fit 511 characters is refused, never looked up truncated.
TEST_F(Properties, GetValueLooksUpAnyBlockAndName) {
    ComRef<IqzVersionInfo> info = Open("english.dll");
    const std::wstring fits(499, L'K'), tooLong(500, L'K');
    const struct {
        const wchar_t* key;
        const wchar_t* name;
        HRESULT result;
        const wchar_t* text;
    } rows[] = {
        {nullptr, L"CompanyName", S_OK, L"Tervik"}, {L"StringFileInfo", L"CompanyName", S_OK, L"Tervik"},
        {nullptr, L"Build Date", S_OK, L"1998, 9, 23, 16, 56"}, {L"", L"CompanyName", S_OK, L""},
        {L"VarFileInfo", L"Translation", S_OK, L""}, {fits.c_str(), L"X", S_OK, L""},
        {tooLong.c_str(), L"X", E_INVALIDARG, L""}, {nullptr, nullptr, E_INVALIDARG, L""},
    };
    for (const auto& row : rows) {
        const std::string where = "row " + std::to_string(&row - rows);
        Bstr key(SysAllocString(row.key)), name(SysAllocString(row.name)), value;
        SetErrorInfo(0, nullptr);
        ExpectError(info->GetValue(key.Get(), name.Get(), value.Out()), row.result, where);
        EXPECT_EQ(Text(value.Get()), row.text) << where;
    }
    short language = 0, codepage = 0;
    info->get_Language(&language);
    info->get_Codepage(&codepage);
    EXPECT_EQ(language, 1033);
    EXPECT_EQ(codepage, 1200);
    Bstr name(SysAllocString(L"CompanyName"));
    EXPECT_EQ(info->GetValue(nullptr, name.Get(), nullptr), E_POINTER);
}

TEST_F(Properties, WithoutDataEveryReadFailsButVersionAnswers) {
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    const StringRead strings[] = {
        &IqzVersionInfo::get_Comments, &IqzVersionInfo::get_CompanyName,
        &IqzVersionInfo::get_FileDescription, &IqzVersionInfo::get_FileVersion,
        &IqzVersionInfo::get_InternalName, &IqzVersionInfo::get_LegalCopyright,
        &IqzVersionInfo::get_LegalTrademarks, &IqzVersionInfo::get_OriginalFilename,
        &IqzVersionInfo::get_PrivateBuild, &IqzVersionInfo::get_ProductName,
        &IqzVersionInfo::get_ProductVersion, &IqzVersionInfo::get_SpecialBuild,
        &IqzVersionInfo::get_FileOSString, &IqzVersionInfo::get_LanguageName};
    const NumberRead numbers[] = {
        &IqzVersionInfo::get_FileVersionHigh, &IqzVersionInfo::get_FileVersionLow,
        &IqzVersionInfo::get_ProductVersionHigh, &IqzVersionInfo::get_ProductVersionLow,
        &IqzVersionInfo::get_FileFlagsMask, &IqzVersionInfo::get_FileFlags,
        &IqzVersionInfo::get_FileOS, &IqzVersionInfo::get_FileType, &IqzVersionInfo::get_FileSubtype};
    for (const StringRead& read : strings) {
        const std::string where = "string read " + std::to_string(&read - strings);
        Bstr value;
        SetErrorInfo(0, nullptr);
        ExpectError((info.Get()->*read)(value.Out()), kNotSpecified, where);
        EXPECT_EQ((info.Get()->*read)(nullptr), E_POINTER) << where;
    }
    for (const NumberRead& read : numbers) {
        const std::string where = "number read " + std::to_string(&read - numbers);
        LONG value = 0;
        SetErrorInfo(0, nullptr);
        ExpectError((info.Get()->*read)(&value), kNotSpecified, where);
        EXPECT_EQ((info.Get()->*read)(nullptr), E_POINTER) << where;
    }
    VARIANT date;
    SetErrorInfo(0, nullptr);
    ExpectError(info->get_FileDate(&date), kNotSpecified, "FileDate");
    EXPECT_EQ(V_VT(&date), VT_EMPTY);
    EXPECT_EQ(ReadText(info.Get(), &IqzVersionInfo::get_Version), L"1.0.71");
}

}  // namespace
