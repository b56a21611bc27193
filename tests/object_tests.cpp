// The VersionInfo object on modules whose version resources the tests lay out themselves:
// loading through Path, the translation it selects, fixed fields, strings and lookups.
#include <cmath>

#include "test_support.h"
#include "vinspect_version.h"

using namespace test_support;

namespace {

// What a caller sees of the loading state: Path (or "null"), InfoExist, Language/Codepage.
std::wstring State(IqzVersionInfo* info) {
    Bstr path;
    VARIANT_BOOL exists = VARIANT_FALSE;
    short language = 0, codepage = 0;
    info->get_Path(path.Out()), info->get_InfoExist(&exists);
    info->get_Language(&language), info->get_Codepage(&codepage);
    wchar_t text[64];
    swprintf(text, 64, L" %ls %04hX/%04hX", exists ? L"loaded" : L"empty", language, codepage);
    return (path.Get() != nullptr ? Text(path.Get()) : L"null") + text;
}

// The text a string property reads (its failures show as text too).
std::wstring ReadText(IqzVersionInfo* info, StringRead read) {
    Bstr value;
    return SUCCEEDED((info->*read)(value.Out())) ? Text(value.Get()) : L"<failed>";
}

std::string File(const std::string& name) { return ScratchDir() + "\\" + name; }

class Object : public testing::Test {
protected:
    // The layouts, as modules (tests/corpus/tools/handmade.py says what each holds), and files
    // without version data.
    static void SetUpTestSuite() {
        for (const std::string name : {"english", "german", "western", "mislabelled", "neutral",
                                       "untranslated", "empty-table", "unknown-language",
                                       "no-fixed", "unterminated"})
            WriteModule(File(name + ".dll"), Layout(name));
        WriteModule(File("no-resources.dll"), {});
        WriteModule(File("other-resources.dll"), {});
        PutResource(File("other-resources.dll"), MAKEINTRESOURCEA(10), 1, "data", 4);
        std::ofstream(File("notes.txt"), std::ios::binary) << "not a module\r\n";
        std::ofstream(File("bad-image.exe"), std::ios::binary) << "MZ" + std::string(300, '\x7F');
    }
};

// A new object has no data (and says so) and the default translation; a file's translation
// table sets both Language and Codepage, whatever was set before. The string outputs of failed
// calls come back null (LanguageName without data and GetValue with a null name used to leave
// them as they were), so that a caller who frees its output after a failure frees nothing of its
// own.
TEST_F(Object, TranslationComesFromTheFirstEntryOfTheFilesTable) {
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    EXPECT_EQ(State(info.Get()), L"null empty 0409/04B0");
    wchar_t sentinel[] = L"sentinel";
    BSTR language = sentinel, unnamed = sentinel;
    ExpectError([&] { return info->get_LanguageName(&language); }, kNotSpecified, "no data yet");
    EXPECT_EQ(language, nullptr);
    Bstr version;  // the one place that checks the component's version text
    EXPECT_EQ(info->get_Version(version.Out()), S_OK);
    EXPECT_EQ(Text(version.Get()), Widen(VINSPECT_VERSION_TEXT));
    const std::function<HRESULT()> nullResults[] = {
        [&] { return info->get_Path(nullptr); }, [&] { return info->get_InfoExist(nullptr); },
        [&] { return info->get_Language(nullptr); }, [&] { return info->get_Codepage(nullptr); }};
    for (const auto& call : nullResults) EXPECT_EQ(call(), E_POINTER) << &call - nullResults;
    info->put_Language(1031), info->put_Codepage(short(65001));  // any value is taken
    EXPECT_EQ(State(info.Get()), L"null empty 0407/FDE9");
    ExpectError([&] { return Assign(info.Get(), File("english.dll")); }, S_OK, "english.dll");
    EXPECT_EQ(State(info.Get()), Widen(File("english.dll")) + L" loaded 0409/04B0");
    // GetValue: a null block is StringFileInfo; a value path over 511 characters is refused, never
    // looked up truncated; so is a null name.
    Bstr name(SysAllocString(L"Build Date")), value;
    Bstr tooLong(SysAllocString(std::wstring(500, L'K').c_str()));
    EXPECT_EQ(info->GetValue(nullptr, name.Get(), value.Out()), S_OK);
    EXPECT_EQ(Text(value.Get()), L"1998, 9");
    ExpectError([&] { return info->GetValue(tooLong.Get(), name.Get(), value.Out()); },
                E_INVALIDARG, "long path");
    ExpectError([&] { return info->GetValue(nullptr, nullptr, &unnamed); }, E_INVALIDARG,
                "null name");
    EXPECT_EQ(unnamed, nullptr);
    // Files without a translation table, or with an empty one, keep the previous translation.
    for (const char* name : {"german.dll", "untranslated.dll", "empty-table.dll"}) {
        ASSERT_EQ(Assign(info.Get(), File(name)), S_OK);
        EXPECT_EQ(State(info.Get()), Widen(File(name)) + L" loaded 0407/04E4");
    }
    ExpectError([&] { return Assign(info.Get(), "<null>"); }, E_INVALIDARG, "null path");
    EXPECT_EQ(State(info.Get()), L"null empty 0407/04E4");
}

// The fields of the first row differ from each other, so that a getter reading the wrong one
// fails. The system's name follows the low word of dwFileOS only. The date words give an
// automation date (days from 30 December 1899, the time as the fraction, also before 1899); a
// date beyond 9999 or outside the file-time range is unexpected, without error object.
TEST_F(Object, FixedFieldsSystemNamesAndFileDates) {
    // Rows: dwFileOS, its name, the date's year (0: date words 0x80000000, 0), month, day, hour,
    // minute, second, and the automation date (NaN: unexpected).
    const std::tuple<DWORD, const wchar_t*, WORD, WORD, WORD, WORD, WORD, WORD, double> rows[] = {
        {0x00040004, L"Win32", 1998, 9, 23, 16, 56, 0, 36061 + (16 * 60 + 56) / 1440.0},
        {0x00010001, L"Win16", 1601, 1, 1, 0, 0, 0, -109205.0},
        {0x00020002, L"PM-16", 1899, 12, 29, 6, 0, 0, -1.25},
        {0x00000003, L"PM-32", 1900, 3, 1, 0, 0, 0, 61.0},
        {0x00010004, L"Win32", 9999, 12, 31, 0, 0, 0, 2958465.0},
        {0x00040000, L"Unknown", 1800, 2, 28, 23, 59, 59, -36464 - 86399 / 86400.0},
        {0x00040005, L"Unknown", 10000, 1, 1, 0, 0, 0, NAN},
        {0x00040004, L"Win32", 0, 0, 0, 0, 0, 0, NAN}};
    for (const auto& [fileOS, name, year, month, day, hour, minute, second, expected] : rows) {
        SCOPED_TRACE("row of year " + std::to_string(year));
        SYSTEMTIME time{year, month, 0, day, hour, minute, second, 0};
        FILETIME date{0, 0x80000000u};
        EXPECT_TRUE(year == 0 || SystemTimeToFileTime(&time, &date));
        // Flags beyond the mask (0xC1 of 0x3F) are reported too.
        const VS_FIXEDFILEINFO fixed{0xFEEF04BD, 0x00010000, 0x00010002, 0x00030004, 0x00050006,
                                     0x00070008, 0x3F, 0xC1, fileOS, VFT_DRV, VFT2_DRV_SOUND,
                                     date.dwHighDateTime, date.dwLowDateTime};
        WriteModule(File("fields.dll"), FixedOnly(fixed));
        ComRef<IqzVersionInfo> info = NewVersionInfo(File("fields.dll"));
        for (int field = 0; field < 9; ++field) {
            LONG value = -1;
            EXPECT_EQ((info.Get()->*kFixedReads[field])(&value), S_OK) << "field " << field;
            EXPECT_EQ(DWORD(value), (&fixed.dwFileVersionMS)[field]) << "field " << field;
        }
        EXPECT_EQ(ReadText(info.Get(), &IqzVersionInfo::get_FileOSString), name);
        VARIANT value;
        V_VT(&value) = VT_I4;
        const bool unexpected = std::isnan(expected);
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(info->get_FileDate(&value), unexpected ? E_UNEXPECTED : S_OK);
        EXPECT_EQ(TakeError(), L"<none>");
        EXPECT_EQ(V_VT(&value), unexpected ? VT_EMPTY : VT_DATE);
        EXPECT_NEAR(unexpected ? 0 : V_DATE(&value), unexpected ? 0 : expected, 1e-9);
    }
}

// Steps on one object per file: Language and Codepage set first (0: not set), a read, then the
// text and the translation that Language/Codepage report afterwards.
TEST_F(Object, StringsFollowTheTranslationAndFallBackOnlyWhenThatFindsTheValue) {
    char english[128] = "";
    VerLanguageNameA(0x0409, english, sizeof english);
    // Steps: the file (null: the same object as the step before), Language and Codepage set, the
    // read, its text and the translation afterwards.
    using Step = std::tuple<const char*, short, short, StringRead, std::wstring, const wchar_t*>;
    const Step steps[] = {
        {"english.dll", 0, 0, &IqzVersionInfo::get_CompanyName, L"Tervik", L"0409/04B0"},
        // An absent value does not switch the translation, so later values are still found.
        {nullptr, 0, 0, &IqzVersionInfo::get_PrivateBuild, L"", L"0409/04B0"},
        {nullptr, 0, 0, &IqzVersionInfo::get_LegalCopyright, L"(c) Tervik", L"0409/04B0"},
        // Code page 1252 with a language never falls back; 040904E4 does not exist here.
        {nullptr, 0, 1252, &IqzVersionInfo::get_CompanyName, L"", L"0409/04E4"},
        // LanguageName names the file's language, not the one set.
        {nullptr, 1031, 0, &IqzVersionInfo::get_LanguageName, Widen(english), L"0407/04E4"},
        // Strings only under 040904E4: found through the fallback, which then stays.
        {"western.dll", 0, 0, &IqzVersionInfo::get_PrivateBuild, L"", L"0409/04B0"},
        {nullptr, 0, 0, &IqzVersionInfo::get_CompanyName, L"Tervik", L"0409/04E4"},
        // Language 0 with code page 1252 is not a fallback translation of its own.
        {"neutral.dll", 0, 0, &IqzVersionInfo::get_LegalCopyright, L"(c) Tervik", L"0409/04E4"},
        // A table naming 0407/1252 while the strings sit under 040904B0 finds nothing.
        {"mislabelled.dll", 0, 0, &IqzVersionInfo::get_CompanyName, L"", L"0407/04E4"},
        // A last value without terminator ends at its reported length.
        {"unterminated.dll", 0, 0, &IqzVersionInfo::get_ProductName, L"Open", L"0409/04B0"},
        {"unknown-language.dll", 0, 0, &IqzVersionInfo::get_LanguageName, L"", L"0C7F/04B0"},
    };
    ComRef<IqzVersionInfo> info;
    for (const Step& step : steps) {
        const auto& [file, language, codepage, read, text, translationAfter] = step;
        SCOPED_TRACE("step " + std::to_string(&step - steps));
        if (file != nullptr) info = NewVersionInfo(File(file));
        if (language != 0) info->put_Language(language);
        if (codepage != 0) info->put_Codepage(codepage);
        EXPECT_EQ(ReadText(info.Get(), read), text);
        EXPECT_EQ(State(info.Get()).substr(State(info.Get()).size() - 9), translationAfter);
    }
}

// One table of names, each assigned to a trusted and to an untrusted object that hold a file's
// data first (German, so that the translation shows whether anything was loaded). A trusted
// caller sees what it always saw: a local file that only carries no version resource loads
// nothing and succeeds, other failures leave their code and the system's text, and the
// translation stays unless data was loaded. An untrusted one reads only what a drive
// letter with its root names on a local drive; every other name is refused alike, the data
// discarded, Path kept. \\fileserver\share and the network drive N: hold this vinspect.dll
// (network_paths.sh). Devices, which can block the calling thread (a serial port waits for its
// line), are assigned to the untrusted object only; the time limit of core_tests (CTest's
// TIMEOUT, tests/CMakeLists.txt) ends the program should one of them never come back (nothing
// measures how fast).
TEST_F(Object, UntrustedCallersReadOnlyFilesOnLocalDrives) {
    const std::wstring bin = Widen(BinDir()), module = bin + L"\\vinspect.dll";
    const std::wstring scratch = bin + L"\\scratch\\";
    const WORD version[] = {VINSPECT_VERSION_NUMBERS};
    constexpr HRESULT kDevice = S_FALSE;
    ASSERT_TRUE(SetCurrentDirectoryA(BinDir().c_str()));  // for the rooted and drive-relative rows
    // Rows: the name, the trusted result (kDevice: not tried), whether it loads vinspect.dll
    // there, whether it is local (the untrusted result is then the same, otherwise a refusal).
    const std::tuple<std::wstring, HRESULT, bool, bool> rows[] = {
        {module, S_OK, true, true},
        {scratch + L"..\\vinspect.dll", S_OK, true, true},
        {bin + L"\\missing.dll", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), false, true},
        // "Resource type not found" and "bad format", where the platform tells them apart.
        {scratch + L"no-resources.dll", S_OK, false, true},
        {scratch + L"notes.txt", S_OK, false, true},
        {scratch + L"other-resources.dll", S_OK, false, true},
        {scratch + L"bad-image.exe", S_OK, false, true},
        {scratch + L"no-fixed.dll", E_UNEXPECTED, false, true},
        {L"\\\\fileserver\\share\\vinspect.dll", S_OK, true, false},
        {L"//fileserver/share/vinspect.dll", S_OK, true, false},
        {L"\\\\?\\UNC\\fileserver\\share\\vinspect.dll", S_OK, true, false},
        {L"\\\\.\\UNC\\fileserver\\share\\vinspect.dll", S_OK, true, false},
        {L"\\??\\UNC\\fileserver\\share\\vinspect.dll", S_OK, true, false},
        // Fullwidth backslashes, which the conversion to the ANSI code page makes "\\".
        {L"\xFF3C\xFF3C" L"fileserver\xFF3Cshare\xFF3Cvinspect.dll", S_OK, true, false},
        {L"\\\\?\\" + module, S_OK, true, false},
        {L"\\\\.\\" + module, S_OK, true, false},
        {L"\\\\.\\NUL", S_OK, false, false},
        {L"C:\\windows\\nul.txt", S_OK, false, false},
        {L"vinspect.dll", S_OK, true, false},  // found beside the program
        {module.substr(2), S_OK, true, false},  // rooted on the current drive
        {bin.substr(0, 2) + L"vinspect.dll", S_OK, true, false},  // the drive's current folder
        {L"N:\\vinspect.dll", S_OK, true, false},
        {L"COM1", kDevice, false, false},
        {L"\\\\.\\COM1", kDevice, false, false},
        {L"C:\\windows\\COM1", kDevice, false, false},
        {L"C:\\windows\\com1.txt", kDevice, false, false},
        {L"C:\\windows\\CONIN$", kDevice, false, false},
    };
    for (const auto& [path, trustedResult, loads, local] : rows) {
        for (const bool untrusted : {false, true}) {
            if (!untrusted && trustedResult == kDevice) continue;
            const std::string row = Narrow(path) + (untrusted ? " (untrusted)" : " (trusted)");
            ComRef<IqzVersionInfo> info = NewVersionInfo(File("german.dll"));
            SetUntrusted(info.Get(), untrusted);
            const bool refused = untrusted && !local, loaded = loads && !refused;
            Bstr name(SysAllocString(path.c_str()));
            ExpectError([&] { return info->put_Path(name.Get()); },
                        refused ? kNotLocal : trustedResult, row);
            EXPECT_EQ(State(info.Get()),
                      path + (loaded ? L" loaded 0409/04B0" : L" empty 0407/04E4")) << row;
            LONG low = -1;  // written only from loaded data
            info->get_FileVersionLow(&low);
            EXPECT_EQ(low, loaded ? version[2] << 16 | version[3] : -1) << row;
        }
    }
}

}  // namespace
