// Loading a file's version data through Path, the translation it selects, and the error objects
// that failed loads leave for the caller.
#include <gtest/gtest.h>

#include <ostream>

#include "test_modules.h"
#include "versioninfo/error_report.h"

using namespace testing_support;
using vinspect::Bstr;
using vinspect::ComRef;

namespace {

constexpr HRESULT kNotSpecified = static_cast<HRESULT>(0x800403E9);

// What a caller sees of the loading state: Path, InfoExist, Language, Codepage.
struct State {
    std::wstring path;
    bool pathIsNull;
    bool loaded;
    USHORT language;
    USHORT codepage;
    bool operator==(const State&) const = default;
};

void PrintTo(const State& state, std::ostream* out) {
    *out << (state.pathIsNull ? "null" : std::string(state.path.begin(), state.path.end()))
         << (state.loaded ? " loaded " : " empty ") << std::hex << state.language << "/"
         << state.codepage;
}

State Read(IqzVersionInfo* info) {
    State state{};
    Bstr path;
    VARIANT_BOOL exists = VARIANT_FALSE;
    short language = 0;
    short codepage = 0;
    EXPECT_EQ(info->get_Path(path.Out()), S_OK);
    EXPECT_EQ(info->get_InfoExist(&exists), S_OK);
    EXPECT_EQ(info->get_Language(&language), S_OK);
    EXPECT_EQ(info->get_Codepage(&codepage), S_OK);
    return {Text(path.Get()), path.Get() == nullptr, exists == VARIANT_TRUE,
            static_cast<USHORT>(language), static_cast<USHORT>(codepage)};
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
        WriteTextFile(File("notes.txt"), "not a module\r\n");
    }

    static void Write(const char* name, const VersionNode& root) {
        WriteModule(File(name), Serialize(root));
    }
    static std::string File(const char* name) { return dir_ + "\\" + name; }
    static State Loaded(const char* name, USHORT language, USHORT codepage) {
        return {Widen(File(name)), false, true, language, codepage};
    }

    static inline std::string dir_;
};

TEST_F(Loading, NewObjectHasNoDataAndDefaultTranslation) {
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    EXPECT_EQ(Read(info.Get()), (State{L"", true, false, 1033, 1200}));
    EXPECT_EQ(info->get_Path(nullptr), E_POINTER);
    EXPECT_EQ(info->get_InfoExist(nullptr), E_POINTER);
    EXPECT_EQ(info->get_Language(nullptr), E_POINTER);
    EXPECT_EQ(info->get_Codepage(nullptr), E_POINTER);
}

TEST_F(Loading, FileWithVersionDataSelectsItsFirstTranslation) {
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    info->put_Language(1031);
    ASSERT_EQ(Assign(info.Get(), File("german.dll")), S_OK);
    EXPECT_FALSE(TakeErrorObject().present);
    EXPECT_EQ(Read(info.Get()), Loaded("german.dll", 0x0407, 0x04E4));

    // Files without a translation table, or with an empty one, keep the previous translation.
    for (const char* name : {"untranslated.dll", "empty-table.dll"}) {
        ASSERT_EQ(Assign(info.Get(), File(name)), S_OK);
        EXPECT_EQ(Read(info.Get()), Loaded(name, 0x0407, 0x04E4));
    }

    // Values set before Path are replaced by the file's translation; setters take any value.
    info->put_Language(1031);
    info->put_Codepage(static_cast<short>(65001));
    short codepage = 0;
    info->get_Codepage(&codepage);
    EXPECT_EQ(codepage, -535);
    ASSERT_EQ(Assign(info.Get(), File("english.dll")), S_OK);
    EXPECT_EQ(Read(info.Get()), Loaded("english.dll", 1033, 1200));
}

TEST_F(Loading, FilesWithoutVersionResourceAreAcceptedWithoutData) {
    for (const char* name : {"no-resources.dll", "notes.txt"}) {
        ComRef<IqzVersionInfo> info = NewVersionInfo();
        ASSERT_EQ(Assign(info.Get(), File("german.dll")), S_OK);
        EXPECT_EQ(Assign(info.Get(), File(name)), S_OK);
        EXPECT_FALSE(TakeErrorObject().present);
        EXPECT_EQ(Read(info.Get()), (State{Widen(File(name)), false, false, 0x0407, 0x04E4}));
        LONG value = 0;
        EXPECT_EQ(info->get_FileFlags(&value), kNotSpecified) << name;
    }
}

TEST_F(Loading, FailedLoadsReportTheSystemTextAndLeaveNoData) {
    const struct {
        std::string path;
        bool null;
        HRESULT expected;  // 0: whatever failure the platform gives for the name
    } rows[] = {
        {File("missing.dll"), false, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        {dir_, false, 0},
        {"", false, 0},
        {"", true, E_INVALIDARG},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.null ? "null name" : row.path);
        ComRef<IqzVersionInfo> info = NewVersionInfo();
        ASSERT_EQ(Assign(info.Get(), File("german.dll")), S_OK);
        SetErrorInfo(0, nullptr);
        HRESULT result = row.null ? info->put_Path(nullptr) : Assign(info.Get(), row.path);
        const State empty{row.null ? L"" : Widen(row.path), row.null, false, 0x0407, 0x04E4};
        EXPECT_EQ(Read(info.Get()), empty);
        if (result == S_OK) continue;  // a name the platform takes for a file without resources
        if (row.expected != 0) {
            EXPECT_EQ(result, row.expected);
        }
        EXPECT_EQ(static_cast<unsigned>(result) & 0xFFFF0000u, 0x80070000u);
        ErrorObject error = TakeErrorObject();
        EXPECT_EQ(error.description, SystemText(result));
        EXPECT_TRUE(IsEqualGUID(error.guid, GUID_NULL));
        EXPECT_EQ(error.helpFile, L"");
    }
}

TEST_F(Loading, BlockWithoutFixedInformationIsUnexpected) {
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    ASSERT_EQ(Assign(info.Get(), File("english.dll")), S_OK);
    EXPECT_EQ(Assign(info.Get(), File("no-fixed.dll")), E_UNEXPECTED);
    ErrorObject error = TakeErrorObject();
    EXPECT_TRUE(error.present);
    EXPECT_EQ(error.description, SystemText(E_UNEXPECTED));
    EXPECT_EQ(Read(info.Get()), (State{Widen(File("no-fixed.dll")), false, false, 1033, 1200}));
}

TEST_F(Loading, FileChangedOnDiskIsReadAfresh) {
    const std::string path = File("changing.dll");
    VS_FIXEDFILEINFO first = Fixed(0x00010000, 0);
    VS_FIXEDFILEINFO second = Fixed(0x00020003, 0);
    Write("changing.dll", VersionRoot(&first, {}));
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    ASSERT_EQ(Assign(info.Get(), path), S_OK);
    Write("changing.dll", VersionRoot(&second, {}));
    LONG version = 0;
    ASSERT_EQ(info->get_FileVersionHigh(&version), S_OK);
    EXPECT_EQ(version, 0x00010000);  // the cached block until Path is assigned again
    ASSERT_EQ(Assign(info.Get(), path), S_OK);
    ASSERT_EQ(info->get_FileVersionHigh(&version), S_OK);
    EXPECT_EQ(version, 0x00020003);
}

TEST(ErrorReporting, SourceIsTheRegisteredProgIdAndCodesMapAsDocumented) {
    // A class without a registered ProgID gives an error object without source.
    const GUID unregistered = {0x6F1C2A1F, 0x3B7E, 0x4D21, {0x9A, 0x55, 0, 0, 0, 0, 0, 0}};
    EXPECT_EQ(vinspect::ReportError(unregistered, vinspect::ComponentError::FileNameNotSpecified), kNotSpecified);
    ErrorObject error = TakeErrorObject();
    EXPECT_EQ(error.source, L"");
    EXPECT_EQ(error.description, L"File name is not specified.");
    EXPECT_TRUE(IsEqualGUID(error.guid, GUID_NULL));

    // System codes come back unchanged with the system's text.
    const HRESULT accessDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    EXPECT_EQ(vinspect::ReportError(unregistered, accessDenied), accessDenied);
    EXPECT_EQ(TakeErrorObject().description, SystemText(accessDenied));

    // With a ProgID registered for VersionInfo, it becomes the source of the object's errors.
    const char* key = "CLSID\\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}\\ProgID";
    vinspect::RegKey probe;
    bool registered = RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, probe.Out()) == 0;
    if (!registered) {
        ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, key, REG_SZ, "qzVersionInfo.VersionInfo.1", 0), 0);
    }
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    SetErrorInfo(0, nullptr);
    Bstr company;
    EXPECT_EQ(info->get_CompanyName(company.Out()), kNotSpecified);
    EXPECT_EQ(TakeErrorObject().source, L"qzVersionInfo.VersionInfo.1");
    if (!registered) RegDeleteTreeA(HKEY_CLASSES_ROOT, "CLSID\\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}");
}

}  // namespace
