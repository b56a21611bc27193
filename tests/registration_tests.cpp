// Self-registration end to end: the platform's regsvr32 of the test's own bitness registers and
// unregisters copies of vinspect.dll, and the real script hosts create the object by ProgID.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "test_modules.h"

using namespace testing_support;
using vinspect::ComRef;

namespace {

const char kClassKey[] = "CLSID\\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}";
const char* const kOwnKeys[] = {"qzVersionInfo.VersionInfo.1", "qzVersionInfo.VersionInfo",
                                kClassKey};

// Every key and value below `path` of HKEY_CLASSES_ROOT, one line each, names sorted.
void Describe(HKEY parent, const std::string& path, std::vector<std::string>* lines) {
    vinspect::RegKey key;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS) return;
    lines->push_back("[" + path + "]");
    std::vector<std::string> values;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLength = sizeof name;
        BYTE data[1024];
        DWORD dataLength = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key.Get(), i, name, &nameLength, nullptr, &type, data, &dataLength) !=
            ERROR_SUCCESS) {
            break;
        }
        std::string text = type == REG_SZ ? std::string(reinterpret_cast<char*>(data))
                                          : "type " + std::to_string(type);
        values.push_back((nameLength == 0 ? std::string("@") : std::string(name)) + "=" + text +
                         " (" + std::to_string(dataLength) + " bytes)");
    }
    std::sort(values.begin(), values.end());
    lines->insert(lines->end(), values.begin(), values.end());
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(key.Get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        subkeys.push_back(name);
    }
    std::sort(subkeys.begin(), subkeys.end());
    for (const std::string& subkey : subkeys) Describe(parent, path + "\\" + subkey, lines);
}

std::vector<std::string> OwnRegistration() {
    std::vector<std::string> lines;
    for (const char* key : kOwnKeys) Describe(HKEY_CLASSES_ROOT, key, &lines);
    return lines;
}

std::vector<std::string> ExpectedRegistration(const std::string& library) {
    const std::string name = "@=Tervik VersionInfo Object (26 bytes)";
    const std::string clsid = "@={6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01} (39 bytes)";
    const std::string classKey = kClassKey;
    return {
        "[qzVersionInfo.VersionInfo.1]", name,
        "[qzVersionInfo.VersionInfo.1\\CLSID]", clsid,
        "[qzVersionInfo.VersionInfo]", name,
        "[qzVersionInfo.VersionInfo\\CLSID]", clsid,
        "[qzVersionInfo.VersionInfo\\CurVer]", "@=qzVersionInfo.VersionInfo.1 (28 bytes)",
        "[" + classKey + "]", name,
        "[" + classKey + "\\Implemented Categories]", "@= (1 bytes)",
        "[" + classKey + "\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}]",
        "[" + classKey + "\\InprocServer32]",
        "@=" + library + " (" + std::to_string(library.size() + 1) + " bytes)",
        "ThreadingModel=Apartment (10 bytes)",
        "[" + classKey + "\\ProgID]", "@=qzVersionInfo.VersionInfo.1 (28 bytes)",
        "[" + classKey + "\\Programmable]",
        "[" + classKey + "\\VersionIndependentProgID]", "@=qzVersionInfo.VersionInfo (26 bytes)",
    };
}

std::string RegisteredTypeLibrary() {
    vinspect::Bstr path;
    if (FAILED(QueryPathOfRegTypeLib(LIBID_qzVersionInfo, 1, 0, 0, path.Out()))) return "";
    char ansi[MAX_PATH * 2] = "";
    WideCharToMultiByte(CP_ACP, 0, path.Get(), -1, ansi, sizeof ansi, nullptr, nullptr);
    return ansi;
}

DWORD Regsvr32(const std::string& arguments) {
    std::string output;
    return RunProgram("regsvr32.exe " + arguments, &output);
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

class Registration : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = ScratchDir();
        built_ = BinDir() + "\\vinspect.dll";
    }
    static void TearDownTestSuite() {
        // Leave the build's own library registered, as the main job expects.
        Regsvr32("/s " + Quoted(built_));
    }

    // A copy of the built library in its own folder below the scratch folder.
    static std::string Copy(const std::string& folder) {
        std::string target = dir_ + "\\" + folder;
        CreateDirectoryA(target.c_str(), nullptr);
        target += "\\vinspect.dll";
        EXPECT_TRUE(CopyFileA(built_.c_str(), target.c_str(), FALSE)) << target;
        return target;
    }

    static inline std::string dir_;
    static inline std::string built_;
};

TEST_F(Registration, ScriptIsStoredWithCrLfTabsAndNoTerminator) {
    vinspect::ModuleHandle module(LoadLibraryExA(built_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    HRSRC found = FindResourceExA(module.Get(), "REGISTRY", MAKEINTRESOURCEA(101),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(found, nullptr);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(module.Get(), found)));
    const std::string script(bytes, SizeofResource(module.Get(), found));
    EXPECT_EQ(script.find('\0'), std::string::npos);
    EXPECT_EQ(script.substr(0, 10), "HKCR\r\n{\r\n\t");
    EXPECT_EQ(std::count(script.begin(), script.end(), '\n'), 29);
    EXPECT_EQ(std::count(script.begin(), script.end(), '\r'), 29);
    EXPECT_NE(script.find("\r\n\t\t\tInprocServer32 = s '%MODULE%'\r\n"), std::string::npos);
}

TEST_F(Registration, RegisterTwiceMoveAndUnregister) {
    const std::string first = Copy("first");
    ASSERT_EQ(Regsvr32("/s " + Quoted(first)), 0u);
    const std::vector<std::string> once = OwnRegistration();
    EXPECT_EQ(once, ExpectedRegistration(first));
    EXPECT_EQ(RegisteredTypeLibrary(), first);

    ASSERT_EQ(Regsvr32("/s " + Quoted(first)), 0u);
    EXPECT_EQ(OwnRegistration(), once);

    // After a move, the class key is written afresh with the new path.
    const std::string moved = Copy("moved");
    ASSERT_EQ(Regsvr32("/s " + Quoted(moved)), 0u);
    EXPECT_EQ(OwnRegistration(), ExpectedRegistration(moved));

    ASSERT_EQ(Regsvr32("/u /s " + Quoted(moved)), 0u);
    EXPECT_TRUE(OwnRegistration().empty());
    vinspect::RegKey clsid;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, clsid.Out()), ERROR_SUCCESS);
    EXPECT_EQ(RegisteredTypeLibrary(), moved);

    // Nothing registered: unregistration still succeeds.
    EXPECT_EQ(Regsvr32("/u /s " + Quoted(moved)), 0u);
}

TEST_F(Registration, UnregistrationKeepsKeysThatHoldAnotherProgramsSubkeys) {
    const std::string library = Copy("shared");
    ASSERT_EQ(Regsvr32("/s " + Quoted(library)), 0u);
    const std::string classKey = kClassKey;
    const std::string categories = classKey + "\\Implemented Categories";
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, (classKey + "\\Foreign").c_str(), REG_SZ, "x", 1),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, (categories + "\\{00000000-1111-2222-3333-444444444444}").c_str(),
                           REG_SZ, "", 0),
              ERROR_SUCCESS);
    ASSERT_EQ(Regsvr32("/u /s " + Quoted(library)), 0u);

    std::vector<std::string> left;
    Describe(HKEY_CLASSES_ROOT, classKey, &left);
    const std::vector<std::string> expected = {
        "[" + classKey + "]", "@=Tervik VersionInfo Object (26 bytes)",
        "[" + classKey + "\\Foreign]", "@=x (2 bytes)",
        "[" + categories + "]", "@= (1 bytes)",
        "[" + categories + "\\{00000000-1111-2222-3333-444444444444}]", "@= (1 bytes)",
    };
    EXPECT_EQ(left, expected);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, classKey.c_str());
}

TEST_F(Registration, PathWithSingleQuoteIsRegisteredExactly) {
    const std::string library = Copy("it's here");
    ASSERT_EQ(Regsvr32("/s " + Quoted(library)), 0u);
    EXPECT_EQ(OwnRegistration(), ExpectedRegistration(library));
    ASSERT_EQ(Regsvr32("/u /s " + Quoted(library)), 0u);
    EXPECT_TRUE(OwnRegistration().empty());
}

TEST_F(Registration, TypeLibraryFileBesideTheLibraryServesWhenItsOwnCannotBeLoaded) {
    const std::string library = Copy("separate");
    HANDLE update = BeginUpdateResourceA(library.c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    // The library's own type library is replaced by bytes that are no type library.
    char broken[] = "not a type library";
    ASSERT_TRUE(UpdateResourceA(update, "TYPELIB", MAKEINTRESOURCEA(1),
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), broken, sizeof broken));
    ASSERT_TRUE(EndUpdateResourceA(update, FALSE));
    const std::string tlb = dir_ + "\\separate\\vinspect.tlb";
    ASSERT_TRUE(CopyFileA((BinDir() + "\\vinspect.tlb").c_str(), tlb.c_str(), FALSE));

    ASSERT_EQ(Regsvr32("/s " + Quoted(library)), 0u);
    EXPECT_EQ(RegisteredTypeLibrary(), tlb);
    // The help directory is the folder of both files.
    char help[MAX_PATH] = "";
    LONG size = sizeof help;
    RegQueryValueA(HKEY_CLASSES_ROOT,
                   "TypeLib\\{6F1C2A10-3B7E-4D21-9A55-0C1E2F3A4B01}\\1.0\\HELPDIR", help, &size);
    EXPECT_EQ(std::string(help), dir_ + "\\separate\\");
}

// Runs a script with the script host of the test's own bitness and returns what it printed.
std::string RunScript(const std::string& script, const std::string& argument, DWORD* status) {
    std::string output;
    *status = RunProgram("cscript.exe //nologo " + Quoted(script) + " " + Quoted(argument), &output);
    return output;
}

std::string Trimmed(const std::wstring& text) {
    std::string ansi(text.begin(), text.end());
    while (!ansi.empty() && (ansi.back() == '\n' || ansi.back() == '\r')) ansi.pop_back();
    return ansi;
}

TEST_F(Registration, ScriptHostsCreateTheObjectByProgId) {
    ASSERT_EQ(Regsvr32("/s " + Quoted(built_)), 0u);
    const std::string missing = dir_ + "\\missing.dll";
    const std::string notFound = Trimmed(SystemText(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)));
    for (const char* sample : {"vinfo.vbs", "vinfo.js"}) {
        SCOPED_TRACE(sample);
        const std::string script = BinDir() + "\\" + sample;
        DWORD status = 0;
        std::string output = RunScript(script, built_, &status);
        EXPECT_EQ(status, 0u) << output;
        EXPECT_NE(output.find("CompanyName:      Tervik"), std::string::npos) << output;
        EXPECT_NE(output.find("File version:     1.0.71.0"), std::string::npos) << output;
        EXPECT_NE(output.find("OS:               Win32"), std::string::npos) << output;
        EXPECT_NE(output.find("Without data:     "), std::string::npos) << output;
        EXPECT_NE(output.find("File name is not specified."), std::string::npos) << output;

        char system[MAX_PATH] = "";
        GetSystemDirectoryA(system, MAX_PATH);
        output = RunScript(script, std::string(system) + "\\comctl32.dll", &status);
        EXPECT_EQ(status, 0u) << output;
        EXPECT_NE(output.find("File version:"), std::string::npos) << output;

        output = RunScript(script, missing, &status);
        EXPECT_EQ(status, 1u) << output;
        EXPECT_NE(output.find("80070002"), std::string::npos) << output;
        EXPECT_NE(output.find(notFound), std::string::npos) << output;
    }
    DWORD status = 0;
    EXPECT_NE(RunScript(BinDir() + "\\vinfo.vbs", missing, &status)
                  .find("from qzVersionInfo.VersionInfo.1: "),
              std::string::npos);

    // Properties put by name, and both ProgIDs.
    const std::string script = dir_ + "\\put.vbs";
    WriteTextFile(script,
                  "Set o = CreateObject(\"qzVersionInfo.VersionInfo\")\r\n"
                  "o.Path = WScript.Arguments(0)\r\n"
                  "o.Codepage = 1252\r\n"
                  "WScript.Echo o.Codepage & \" \" & o.CompanyName\r\n"
                  "o.Codepage = \"1200\"\r\n"
                  "WScript.Echo o.Codepage & \" \" & o.GetValue(\"StringFileInfo\", \"CompanyName\")\r\n"
                  "Set p = CreateObject(\"qzVersionInfo.VersionInfo.1\")\r\n"
                  "WScript.Echo p.Version & \" \" & p.InfoExist\r\n");
    std::string output = RunScript(script, built_, &status);
    EXPECT_EQ(status, 0u) << output;
    // Under code page 1252 the strings of this 040904B0 file are not found, and no fallback is tried.
    EXPECT_EQ(output, "1252 \r\n1200 Tervik\r\n1.0.71 False\r\n");
}

}  // namespace
