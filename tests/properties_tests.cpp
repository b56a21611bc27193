// Fixed fields, version strings and lookups of a loaded VersionInfo object, read from modules
// whose version resources the tests write themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "test_modules.h"
#include "versioninfo/automation_date.h"

using namespace testing_support;
using vinspect::Bstr;
using vinspect::ComRef;

namespace {

constexpr HRESULT kNotSpecified = static_cast<HRESULT>(0x800403E9);

using StringRead = HRESULT (STDMETHODCALLTYPE IqzVersionInfo::*)(BSTR*);
using NumberRead = HRESULT (STDMETHODCALLTYPE IqzVersionInfo::*)(LONG*);

std::wstring ReadText(IqzVersionInfo* info, StringRead read, HRESULT expected = S_OK) {
    Bstr value;
    EXPECT_EQ((info->*read)(value.Out()), expected);
    return Text(value.Get());
}

std::wstring Lookup(IqzVersionInfo* info, const wchar_t* key, const wchar_t* name,
                    HRESULT expected = S_OK) {
    Bstr wideKey(key != nullptr ? SysAllocString(key) : nullptr);
    Bstr wideName(SysAllocString(name));
    Bstr value;
    EXPECT_EQ(info->GetValue(wideKey.Get(), wideName.Get(), value.Out()), expected);
    return Text(value.Get());
}

std::pair<USHORT, USHORT> Translation(IqzVersionInfo* info) {
    short language = 0;
    short codepage = 0;
    info->get_Language(&language);
    info->get_Codepage(&codepage);
    return {static_cast<USHORT>(language), static_cast<USHORT>(codepage)};
}

class Properties : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = ScratchDir();
        VS_FIXEDFILEINFO fixed = Fixed(0x00040000, 0x05650001, 0x00040004);
        fixed.dwFileFlagsMask = 0x3F;
        fixed.dwFileFlags = 0xC1;  // bits beyond the mask are reported too
        fixed.dwFileType = VFT_DRV;
        fixed.dwFileSubtype = VFT2_DRV_SOUND;
        const std::vector<std::pair<std::wstring, std::wstring>> strings = {
            {L"CompanyName", L"Tervik"}, {L"LegalCopyright", L"(c) Tervik"},
            {L"Build Date", L"1998, 9, 23, 16, 56"}, {L"Comments", L""}};
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

    static void Write(const char* name, const VS_FIXEDFILEINFO* fixed,
                      std::vector<VersionNode> blocks) {
        WriteModule(dir_ + "\\" + name, Serialize(VersionRoot(fixed, std::move(blocks))));
    }

    static ComRef<IqzVersionInfo> Open(const char* name) {
        ComRef<IqzVersionInfo> info = NewVersionInfo();
        Bstr path(SysAllocString(Widen(dir_ + "\\" + name).c_str()));
        EXPECT_EQ(info->put_Path(path.Get()), S_OK) << name;
        return info;
    }

    static std::string dir_;
};

std::string Properties::dir_;

TEST_F(Properties, FixedFieldsAreReturnedBitForBit) {
    ComRef<IqzVersionInfo> info = Open("english.dll");
    const struct {
        NumberRead read;
        LONG expected;
    } rows[] = {
        {&IqzVersionInfo::get_FileVersionHigh, 262144},
        {&IqzVersionInfo::get_FileVersionLow, 0x05650001},
        {&IqzVersionInfo::get_ProductVersionHigh, 262144},
        {&IqzVersionInfo::get_ProductVersionLow, 0x05650001},
        {&IqzVersionInfo::get_FileFlagsMask, 0x3F},
        {&IqzVersionInfo::get_FileFlags, 0xC1},
        {&IqzVersionInfo::get_FileOS, 262148},
        {&IqzVersionInfo::get_FileType, VFT_DRV},
        {&IqzVersionInfo::get_FileSubtype, VFT2_DRV_SOUND},
    };
    for (const auto& row : rows) {
        LONG value = 0;
        EXPECT_EQ((info.Get()->*row.read)(&value), S_OK);
        EXPECT_EQ(value, row.expected);
        EXPECT_EQ((info.Get()->*row.read)(nullptr), E_POINTER);
    }
    EXPECT_EQ(ReadText(info.Get(), &IqzVersionInfo::get_FileOSString), L"Win32");

    // Both date fields 0: 1 January 1601, midnight.
    VARIANT date;
    VariantInit(&date);
    ASSERT_EQ(info->get_FileDate(&date), S_OK);
    EXPECT_EQ(V_VT(&date), VT_DATE);
    EXPECT_EQ(V_DATE(&date), -109205.0);
}

TEST_F(Properties, OperatingSystemNameFollowsTheLowWordOnly) {
    const struct {
        DWORD fileOS;
        const wchar_t* name;
    } rows[] = {
        {0x00010001, L"Win16"}, {0x00020002, L"PM-16"}, {0x00000003, L"PM-32"},
        {0x00030003, L"PM-32"}, {0x00010004, L"Win32"}, {0x00040004, L"Win32"},
        {0x00040000, L"Unknown"}, {0x00000000, L"Unknown"}, {0x00040005, L"Unknown"},
    };
    for (const auto& row : rows) {
        VS_FIXEDFILEINFO fixed = Fixed(0x00010000, 0, row.fileOS);
        Write("os.dll", &fixed, {});
        ComRef<IqzVersionInfo> info = Open("os.dll");
        EXPECT_EQ(ReadText(info.Get(), &IqzVersionInfo::get_FileOSString), row.name)
            << std::hex << row.fileOS;
    }
}

TEST(AutomationDate, ConvertsCalendarDatesAndRefusesOthers) {
    auto convert = [](WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                      double* date) {
        SYSTEMTIME time{year, month, 0, day, hour, minute, second, 0};
        FILETIME fileTime{};
        EXPECT_TRUE(SystemTimeToFileTime(&time, &fileTime));
        return vinspect::ToAutomationDate(fileTime, date);
    };
    const struct {
        WORD year, month, day, hour, minute, second;
        double expected;
    } rows[] = {
        {1601, 1, 1, 0, 0, 0, -109205.0},     {1899, 12, 29, 6, 0, 0, -1.25},
        {1899, 12, 30, 0, 0, 0, 0.0},         {1899, 12, 30, 18, 0, 0, 0.75},
        {1900, 3, 1, 0, 0, 0, 61.0},          {2000, 2, 29, 12, 0, 0, 36585.5},
        {1998, 9, 23, 16, 56, 0, 36061 + (16 * 60 + 56) / 1440.0},
        {1800, 2, 28, 23, 59, 59, -36464 - 86399 / 86400.0},
        {9999, 12, 31, 0, 0, 0, 2958465.0},
    };
    for (const auto& row : rows) {
        double date = 0;
        ASSERT_EQ(convert(row.year, row.month, row.day, row.hour, row.minute, row.second, &date),
                  S_OK)
            << row.year;
        EXPECT_NEAR(date, row.expected, 1e-9) << row.year << "-" << row.month << "-" << row.day;
    }
    double date = 0;
    EXPECT_EQ(convert(10000, 1, 1, 0, 0, 0, &date), E_UNEXPECTED);
    EXPECT_EQ(vinspect::ToAutomationDate(FILETIME{0, 0x80000000u}, &date), E_UNEXPECTED);
}

TEST_F(Properties, UnconvertibleFileDateIsUnexpectedWithoutDescription) {
    VS_FIXEDFILEINFO fixed = Fixed(0x00010000, 0, VOS_NT_WINDOWS32, 0x80000000u, 0);
    Write("bad-date.dll", &fixed, {});
    ComRef<IqzVersionInfo> info = Open("bad-date.dll");
    VARIANT date;
    V_VT(&date) = VT_I4;
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(info->get_FileDate(&date), E_UNEXPECTED);
    EXPECT_EQ(V_VT(&date), VT_EMPTY);
    EXPECT_FALSE(TakeErrorObject().present);
}

TEST_F(Properties, StringsFollowTheTranslationAndFallBackOnlyWhenThatFindsTheValue) {
    // Steps on one object per file: an optional code page set first, a read, then the text and
    // the translation that Language/Codepage report afterwards.
    const struct {
        const char* file;  // null: the same object as the step before
        short codepage;    // 0: not set
        StringRead read;
        const wchar_t* text;
        USHORT language, codepageAfter;
    } steps[] = {
        {"english.dll", 0, &IqzVersionInfo::get_CompanyName, L"Tervik", 1033, 1200},
        // An absent value does not switch the translation, so later values are still found.
        {nullptr, 0, &IqzVersionInfo::get_PrivateBuild, L"", 1033, 1200},
        {nullptr, 0, &IqzVersionInfo::get_LegalCopyright, L"(c) Tervik", 1033, 1200},
        {nullptr, 0, &IqzVersionInfo::get_Comments, L"", 1033, 1200},
        // Code page 1252 with a language never falls back; 040904E4 does not exist here.
        {nullptr, 1252, &IqzVersionInfo::get_CompanyName, L"", 1033, 1252},
        // Strings only under 040904E4: found through the fallback, which then stays.
        {"western.dll", 0, &IqzVersionInfo::get_PrivateBuild, L"", 1033, 1200},
        {nullptr, 0, &IqzVersionInfo::get_CompanyName, L"Tervik", 1033, 1252},
        // Language 0 with code page 1252 is not a fallback translation of its own.
        {"neutral.dll", 0, &IqzVersionInfo::get_LegalCopyright, L"(c) Tervik", 1033, 1252},
        // A table naming 0407/1252 while the strings sit under 040904B0 finds nothing.
        {"mislabelled.dll", 0, &IqzVersionInfo::get_CompanyName, L"", 0x0407, 1252},
        // A last value without terminator ends at its reported length.
        {"unterminated.dll", 0, &IqzVersionInfo::get_ProductName, L"Open", 1033, 1200},
    };
    ComRef<IqzVersionInfo> info;
    for (const auto& step : steps) {
        if (step.file != nullptr) info = Open(step.file);
        if (step.codepage != 0) info->put_Codepage(step.codepage);
        EXPECT_EQ(ReadText(info.Get(), step.read), step.text);
        EXPECT_EQ(Translation(info.Get()), std::make_pair(step.language, step.codepageAfter));
    }
}

TEST_F(Properties, GetValueLooksUpAnyBlockAndName) {
    ComRef<IqzVersionInfo> info = Open("english.dll");
    EXPECT_EQ(Lookup(info.Get(), nullptr, L"CompanyName"), L"Tervik");
    EXPECT_EQ(Lookup(info.Get(), L"StringFileInfo", L"CompanyName"), L"Tervik");
    EXPECT_EQ(Lookup(info.Get(), nullptr, L"Build Date"), L"1998, 9, 23, 16, 56");
    EXPECT_EQ(Lookup(info.Get(), L"", L"CompanyName"), L"");
    // The translation digits always stand between block and name.
    EXPECT_EQ(Lookup(info.Get(), L"VarFileInfo", L"Translation"), L"");
    EXPECT_EQ(Translation(info.Get()), std::make_pair(USHORT{1033}, USHORT{1200}));

    SetErrorInfo(0, nullptr);
    Bstr value;
    EXPECT_EQ(info->GetValue(nullptr, nullptr, value.Out()), E_INVALIDARG);
    EXPECT_EQ(TakeErrorObject().description, SystemText(E_INVALIDARG));
    Bstr name(SysAllocString(L"CompanyName"));
    EXPECT_EQ(info->GetValue(nullptr, name.Get(), nullptr), E_POINTER);
    EXPECT_FALSE(TakeErrorObject().present);

    // A value path that does not fit 511 characters is refused, never looked up truncated.
    std::wstring key(499, L'K');
    EXPECT_EQ(Lookup(info.Get(), key.c_str(), L"X"), L"");
    key.push_back(L'K');
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(Lookup(info.Get(), key.c_str(), L"X", E_INVALIDARG), L"");
    EXPECT_EQ(TakeErrorObject().description, SystemText(E_INVALIDARG));
}

TEST_F(Properties, LanguageNameNamesTheFileLanguage) {
    char english[128] = "";
    VerLanguageNameA(0x0409, english, sizeof english);
    ComRef<IqzVersionInfo> info = Open("english.dll");
    info->put_Language(1031);
    EXPECT_EQ(ReadText(info.Get(), &IqzVersionInfo::get_LanguageName), Widen(english));
    ComRef<IqzVersionInfo> unknown = Open("unknown-language.dll");
    EXPECT_EQ(ReadText(unknown.Get(), &IqzVersionInfo::get_LanguageName), L"");
}

TEST_F(Properties, WithoutDataEveryReadFailsButVersionAnswers) {
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    const StringRead strings[] = {
        &IqzVersionInfo::get_Comments,       &IqzVersionInfo::get_CompanyName,
        &IqzVersionInfo::get_FileDescription, &IqzVersionInfo::get_FileVersion,
        &IqzVersionInfo::get_InternalName,   &IqzVersionInfo::get_LegalCopyright,
        &IqzVersionInfo::get_LegalTrademarks, &IqzVersionInfo::get_OriginalFilename,
        &IqzVersionInfo::get_PrivateBuild,   &IqzVersionInfo::get_ProductName,
        &IqzVersionInfo::get_ProductVersion, &IqzVersionInfo::get_SpecialBuild,
        &IqzVersionInfo::get_FileOSString,   &IqzVersionInfo::get_LanguageName,
    };
    for (StringRead read : strings) {
        SetErrorInfo(0, nullptr);
        ReadText(info.Get(), read, kNotSpecified);
        EXPECT_EQ(TakeErrorObject().description, L"File name is not specified.");
        EXPECT_EQ((info.Get()->*read)(nullptr), E_POINTER);
    }
    const NumberRead numbers[] = {
        &IqzVersionInfo::get_FileVersionHigh, &IqzVersionInfo::get_FileVersionLow,
        &IqzVersionInfo::get_ProductVersionHigh, &IqzVersionInfo::get_ProductVersionLow,
        &IqzVersionInfo::get_FileFlagsMask, &IqzVersionInfo::get_FileFlags,
        &IqzVersionInfo::get_FileOS, &IqzVersionInfo::get_FileType,
        &IqzVersionInfo::get_FileSubtype,
    };
    for (NumberRead read : numbers) {
        LONG value = 0;
        SetErrorInfo(0, nullptr);
        EXPECT_EQ((info.Get()->*read)(&value), kNotSpecified);
        EXPECT_EQ(TakeErrorObject().description, L"File name is not specified.");
    }
    VARIANT date;
    EXPECT_EQ(info->get_FileDate(&date), kNotSpecified);
    EXPECT_EQ(V_VT(&date), VT_EMPTY);
    EXPECT_EQ(Lookup(info.Get(), nullptr, L"CompanyName", kNotSpecified), L"");
    EXPECT_EQ(ReadText(info.Get(), &IqzVersionInfo::get_Version), L"1.0.71");
}

}  // namespace
