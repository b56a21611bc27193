// Loading a file's version data through Path, the translation it selects, and what failed and
// data-less loads leave for the caller.
#include <gtest/gtest.h>

#include "test_modules.h"

using namespace testing_support;
using vinspect::Bstr;
using vinspect::ComRef;

namespace {

// What a caller sees of the loading state: Path (or "null"), InfoExist, Language/Codepage.
std::wstring State(IqzVersionInfo* info) {
    Bstr path;
    VARIANT_BOOL exists = VARIANT_FALSE;
    short language = 0, codepage = 0;
    EXPECT_EQ(info->get_Path(path.Out()), S_OK);
    EXPECT_EQ(info->get_InfoExist(&exists), S_OK);
    EXPECT_EQ(info->get_Language(&language), S_OK);
    EXPECT_EQ(info->get_Codepage(&codepage), S_OK);
    wchar_t text[64];
    swprintf(text, 64, L" %ls %04X/%04X", exists == VARIANT_TRUE ? L"loaded" : L"empty",
             USHORT(language), USHORT(codepage));
    return (path.Get() != nullptr ? Text(path.Get()) : L"null") + text;
}

// Assigns Path with a clean error slot, so that the error object afterwards is this call's.
HRESULT Assign(IqzVersionInfo* info, const std::string& path) {
    SetErrorInfo(0, nullptr);
    Bstr name(SysAllocString(Widen(path).c_str()));
    return info->put_Path(name.Get());
}

class Loading : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = ScratchDir();
        VS_FIXEDFILEINFO fixed = Fixed(0x00040000, 0x05650001);
        VersionNode strings = StringFileInfo({StringTable(L"040904B0", {{L"CompanyName", L"T"}})});
        Write("english.dll", VersionRoot(&fixed, {strings, Translations({{0x0409, 0x04B0}})}));
        Write("german.dll",
              VersionRoot(&fixed, {strings, Translations({{0x0407, 0x04E4}, {0x0409, 0x04B0}})}));
        Write("untranslated.dll", VersionRoot(&fixed, {strings}));
        Write("empty-table.dll", VersionRoot(&fixed, {Translations({})}));
        Write("no-fixed.dll", VersionRoot(nullptr, {Translations({{0x0407, 0x04E4}})}));
        WriteModule(File("no-resources.dll"), {});
        WriteModule(File("other-resources.dll"), {});
        PutResource(File("other-resources.dll"), MAKEINTRESOURCEA(10), 1, "data", 4);
        WriteTextFile(File("notes.txt"), "not a module\r\n");
        WriteTextFile(File("bad-image.exe"), std::string("MZ") + std::string(300, '\x7F'));
    }
    static void Write(const char* name, const VersionNode& root) {
        WriteModule(File(name), Serialize(root));
    }
    static std::string File(const char* name) { return dir_ + "\\" + name; }

    static inline std::string dir_;
};

TEST_F(Loading, NewObjectHasNoDataAndDefaultTranslation) {
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    EXPECT_EQ(State(info.Get()), L"null empty 0409/04B0");
    EXPECT_EQ(info->get_Path(nullptr), E_POINTER);
    EXPECT_EQ(info->get_InfoExist(nullptr), E_POINTER);
    EXPECT_EQ(info->get_Language(nullptr), E_POINTER);
    EXPECT_EQ(info->get_Codepage(nullptr), E_POINTER);
}

TEST_F(Loading, FileWithVersionDataSelectsItsFirstTranslation) {
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    info->put_Language(1031);
    ExpectError(Assign(info.Get(), File("german.dll")), S_OK, "german.dll");
    EXPECT_EQ(State(info.Get()), Widen(File("german.dll")) + L" loaded 0407/04E4");
    // Files without a translation table, or with an empty one, keep the previous translation.
    for (const char* name : {"untranslated.dll", "empty-table.dll"}) {
        ASSERT_EQ(Assign(info.Get(), File(name)), S_OK);
        EXPECT_EQ(State(info.Get()), Widen(File(name)) + L" loaded 0407/04E4");
    }
    // Values set before Path are replaced by the file's translation; setters take any value.
    info->put_Language(1031);
    info->put_Codepage(static_cast<short>(65001));
    EXPECT_EQ(State(info.Get()), Widen(File("empty-table.dll")) + L" loaded 0407/FDE9");
    ASSERT_EQ(Assign(info.Get(), File("english.dll")), S_OK);
    EXPECT_EQ(State(info.Get()), Widen(File("english.dll")) + L" loaded 0409/04B0");
}

// Each name is assigned after a file with data was loaded: files that only carry no version
// resource load nothing and succeed; other failures leave the platform's code and text; the
// translation stays.
TEST_F(Loading, FilesWithoutDataAndFailedLoads) {
    constexpr HRESULT kAnyOutcome = 1;  // a name whose code the platform chooses
    const struct {
        std::string path;  // "<null>": a null string
        HRESULT result;
    } rows[] = {
        {File("no-resources.dll"), S_OK},
        {File("other-resources.dll"), S_OK},  // the platform's "resource type not found"
        {File("notes.txt"), S_OK},
        {File("bad-image.exe"), S_OK},  // "bad format" where the platform tells it apart
        {File("missing.dll"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        {File("no-fixed.dll"), E_UNEXPECTED},
        {dir_, kAnyOutcome},
        {"", kAnyOutcome},
        {"<null>", E_INVALIDARG},
    };
    for (const auto& row : rows) {
        ComRef<IqzVersionInfo> info = NewVersionInfo(File("german.dll"));
        const bool null = row.path == "<null>";
        SetErrorInfo(0, nullptr);
        const HRESULT result = null ? info->put_Path(nullptr) : Assign(info.Get(), row.path);
        HRESULT expected = row.result;
        if (expected == kAnyOutcome) {
            EXPECT_TRUE(result == S_OK || HRESULT_FACILITY(result) == FACILITY_WIN32) << row.path;
            expected = result;
        }
        ExpectError(result, expected, row.path);
        EXPECT_EQ(State(info.Get()), (null ? L"null" : Widen(row.path)) + L" empty 0407/04E4");
    }
}

TEST_F(Loading, FileChangedOnDiskIsReadAfresh) {
    VS_FIXEDFILEINFO first = Fixed(0x00010000, 0), second = Fixed(0x00020003, 0);
    Write("changing.dll", VersionRoot(&first, {}));
    ComRef<IqzVersionInfo> info = NewVersionInfo(File("changing.dll"));
    Write("changing.dll", VersionRoot(&second, {}));
    LONG version = 0;
    ASSERT_EQ(info->get_FileVersionHigh(&version), S_OK);
    EXPECT_EQ(version, 0x00010000);  // the cached block until Path is assigned again
    ASSERT_EQ(Assign(info.Get(), File("changing.dll")), S_OK);
    ASSERT_EQ(info->get_FileVersionHigh(&version), S_OK);
    EXPECT_EQ(version, 0x00020003);
}

}  // namespace
