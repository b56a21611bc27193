// Loading a file's version data through Path, the translation it selects, and the error objects
// that failed loads leave for the caller.
#include <gtest/gtest.h>

#include "test_modules.h"
#include "versioninfo/error_report.h"

using namespace testing_support;
using vinspect::Bstr;
using vinspect::ComRef;

namespace {

constexpr HRESULT kNotSpecified = static_cast<HRESULT>(0x800403E9);

struct State {
    std::wstring path;
    bool pathIsNull;
    bool loaded;
    USHORT language;
    USHORT codepage;
};

State Read(IqzVersionInfo* info) {
    State state{};
    Bstr path;
    EXPECT_EQ(info->get_Path(path.Out()), S_OK);
    state.pathIsNull = path.Get() == nullptr;
    state.path = Text(path.Get());
    VARIANT_BOOL exists = VARIANT_FALSE;
    EXPECT_EQ(info->get_InfoExist(&exists), S_OK);
    state.loaded = exists == VARIANT_TRUE;
    short value = 0;
    EXPECT_EQ(info->get_Language(&value), S_OK);
    state.language = static_cast<USHORT>(value);
    EXPECT_EQ(info->get_Codepage(&value), S_OK);
    state.codepage = static_cast<USHORT>(value);
    return state;
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
        WriteModule(File("english.dll"),
                    Serialize(VersionRoot(&fixed, {StringFileInfo({StringTable(
                                                       L"040904B0", {{L"CompanyName", L"Tervik"}})}),
                                                   Translations({{0x0409, 0x04B0}})})));
        WriteModule(File("german.dll"),
                    Serialize(VersionRoot(&fixed, {StringFileInfo({StringTable(
                                                       L"040704E4", {{L"CompanyName", L"Firma"}})}),
                                                   Translations({{0x0407, 0x04E4}, {0x0409, 0x04B0}})})));
        WriteModule(File("untranslated.dll"),
                    Serialize(VersionRoot(&fixed, {StringFileInfo({StringTable(
                                                       L"040904B0", {{L"CompanyName", L"Tervik"}})})})));
        WriteModule(File("empty-table.dll"),
                    Serialize(VersionRoot(&fixed, {Translations({})})));
        WriteModule(File("no-fixed.dll"),
                    Serialize(VersionRoot(nullptr, {Translations({{0x0407, 0x04E4}})})));
        WriteModule(File("no-resources.dll"), {});
        WriteTextFile(File("notes.txt"), "not a module\r\n");
    }

    static std::string File(const char* name) { return dir_ + "\\" + name; }

    static std::string dir_;
};

std::string Loading::dir_;

TEST_F(Loading, NewObjectHasNoDataAndDefaultTranslation) {
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    State state = Read(info.Get());
    EXPECT_TRUE(state.pathIsNull);
    EXPECT_FALSE(state.loaded);
    EXPECT_EQ(state.language, 1033);
    EXPECT_EQ(state.codepage, 1200);

    LONG value = 7;
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(info->get_FileVersionHigh(&value), kNotSpecified);
    EXPECT_EQ(value, 7);
    ErrorObject error = TakeErrorObject();
    ASSERT_TRUE(error.present);
    EXPECT_EQ(error.description, L"File name is not specified.");
    EXPECT_TRUE(IsEqualGUID(error.guid, GUID_NULL));
    EXPECT_EQ(error.helpFile, L"");

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
    State state = Read(info.Get());
    EXPECT_EQ(state.path, Widen(File("german.dll")));
    EXPECT_TRUE(state.loaded);
    EXPECT_EQ(state.language, 0x0407);
    EXPECT_EQ(state.codepage, 0x04E4);

    // Files without a translation table, or with an empty one, keep the previous translation.
    for (const char* name : {"untranslated.dll", "empty-table.dll"}) {
        ASSERT_EQ(Assign(info.Get(), File(name)), S_OK) << name;
        state = Read(info.Get());
        EXPECT_TRUE(state.loaded) << name;
        EXPECT_EQ(state.language, 0x0407) << name;
        EXPECT_EQ(state.codepage, 0x04E4) << name;
    }

    // A value set before Path is replaced by the file's translation.
    info->put_Language(1031);
    info->put_Codepage(-535);
    ASSERT_EQ(Assign(info.Get(), File("english.dll")), S_OK);
    state = Read(info.Get());
    EXPECT_EQ(state.language, 1033);
    EXPECT_EQ(state.codepage, 1200);

    // Setters take any value, also one that reads back negative.
    info->put_Codepage(static_cast<short>(65001));
    short codepage = 0;
    info->get_Codepage(&codepage);
    EXPECT_EQ(codepage, -535);
}

TEST_F(Loading, FilesWithoutVersionResourceAreAcceptedWithoutData) {
    for (const char* name : {"no-resources.dll", "notes.txt"}) {
        ComRef<IqzVersionInfo> info = NewVersionInfo();
        ASSERT_EQ(Assign(info.Get(), File("english.dll")), S_OK);
        EXPECT_EQ(Assign(info.Get(), File(name)), S_OK) << name;
        EXPECT_FALSE(TakeErrorObject().present) << name;
        State state = Read(info.Get());
        EXPECT_EQ(state.path, Widen(File(name)));
        EXPECT_FALSE(state.loaded) << name;
        // The earlier file's translation stays.
        EXPECT_EQ(state.language, 1033);
        EXPECT_EQ(state.codepage, 1200);
        LONG value = 0;
        EXPECT_EQ(info->get_FileFlags(&value), kNotSpecified) << name;
    }
}

TEST_F(Loading, FailedLoadsReportTheSystemTextAndLeaveNoData) {
    const std::string missing = File("missing.dll");
    struct Row {
        std::string path;
        bool null;
        HRESULT expected;  // 0: whatever the platform gives, but a failure
    } rows[] = {
        {missing, false, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        {dir_, false, 0},
        {"", false, 0},
        {"", true, E_INVALIDARG},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.null ? "null name" : row.path);
        ComRef<IqzVersionInfo> info = NewVersionInfo();
        ASSERT_EQ(Assign(info.Get(), File("german.dll")), S_OK);

        SetErrorInfo(0, nullptr);
        HRESULT result = row.null ? info->put_Path(nullptr) : Assign(info.Get(), row.path);
        if (row.expected != 0) {
            EXPECT_EQ(result, row.expected);
        }
        if (result == S_OK) {
            // The platform may call the name a file without resources; then nothing is loaded.
            EXPECT_FALSE(Read(info.Get()).loaded);
            continue;
        }
        EXPECT_EQ(static_cast<unsigned>(result) & 0xFFFF0000u, 0x80070000u);
        ErrorObject error = TakeErrorObject();
        ASSERT_TRUE(error.present);
        EXPECT_EQ(error.description, SystemText(result));
        EXPECT_TRUE(IsEqualGUID(error.guid, GUID_NULL));

        State state = Read(info.Get());
        EXPECT_FALSE(state.loaded);
        EXPECT_EQ(state.pathIsNull, row.null);
        EXPECT_EQ(state.path, row.null ? L"" : Widen(row.path));
        EXPECT_EQ(state.language, 0x0407);
        EXPECT_EQ(state.codepage, 0x04E4);
    }
}

TEST_F(Loading, BlockWithoutFixedInformationIsUnexpected) {
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    ASSERT_EQ(Assign(info.Get(), File("english.dll")), S_OK);
    EXPECT_EQ(Assign(info.Get(), File("no-fixed.dll")), E_UNEXPECTED);
    ErrorObject error = TakeErrorObject();
    ASSERT_TRUE(error.present);
    EXPECT_EQ(error.description, SystemText(E_UNEXPECTED));
    State state = Read(info.Get());
    EXPECT_FALSE(state.loaded);
    EXPECT_EQ(state.language, 1033);
}

TEST_F(Loading, FileChangedOnDiskIsReadAfresh) {
    const std::string path = File("changing.dll");
    VS_FIXEDFILEINFO first = Fixed(0x00010000, 0);
    WriteModule(path, Serialize(VersionRoot(&first, {})));
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    ASSERT_EQ(Assign(info.Get(), path), S_OK);
    LONG version = 0;
    ASSERT_EQ(info->get_FileVersionHigh(&version), S_OK);
    EXPECT_EQ(version, 0x00010000);

    VS_FIXEDFILEINFO second = Fixed(0x00020003, 0);
    WriteModule(path, Serialize(VersionRoot(&second, {})));
    EXPECT_EQ(version, 0x00010000);  // still the cached block until Path is assigned again
    ASSERT_EQ(Assign(info.Get(), path), S_OK);
    ASSERT_EQ(info->get_FileVersionHigh(&version), S_OK);
    EXPECT_EQ(version, 0x00020003);
}

TEST(ErrorReporting, SourceIsTheRegisteredProgIdAndCodesMapAsDocumented) {
    // A class without a registered ProgID gives an error object without source.
    const GUID unregistered = {0x6F1C2A1F, 0x3B7E, 0x4D21, {0x9A, 0x55, 0, 0, 0, 0, 0, 0}};
    EXPECT_EQ(vinspect::ReportError(unregistered, vinspect::kFileNameNotSpecified), kNotSpecified);
    ErrorObject error = TakeErrorObject();
    ASSERT_TRUE(error.present);
    EXPECT_EQ(error.source, L"");
    EXPECT_EQ(error.description, L"File name is not specified.");

    // System codes come back unchanged with the system's text.
    const HRESULT accessDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    EXPECT_EQ(vinspect::ReportError(unregistered, accessDenied), accessDenied);
    EXPECT_EQ(TakeErrorObject().description, SystemText(accessDenied));

    // With a ProgID registered for VersionInfo, it becomes the source.
    const char* key = "CLSID\\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}\\ProgID";
    HKEY probe = nullptr;
    bool registered = RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &probe) == ERROR_SUCCESS;
    if (probe != nullptr) RegCloseKey(probe);
    if (!registered) {
        ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, key, REG_SZ, "qzVersionInfo.VersionInfo.1", 0),
                  ERROR_SUCCESS);
    }
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    SetErrorInfo(0, nullptr);
    BSTR company = nullptr;
    EXPECT_EQ(info->get_CompanyName(&company), kNotSpecified);
    EXPECT_EQ(TakeErrorObject().source, L"qzVersionInfo.VersionInfo.1");
    if (!registered) {
        RegDeleteKeyA(HKEY_CLASSES_ROOT, key);
        RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}");
    }
}

}  // namespace
