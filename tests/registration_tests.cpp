// Self-registration through the library's own entry points, on copies of vinspect.dll, and the
// platform's script hosts creating the object by ProgID.
#include <gtest/gtest.h>

#include <cstdio>

#include "test_modules.h"

using namespace testing_support;

namespace {

const char kClassKey[] = "CLSID\\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}";

// The class's three keys as Dump shows them, then the path of the registered type library.
std::string Registered() {
    vinspect::Bstr typeLibrary;
    QueryPathOfRegTypeLib(LIBID_qzVersionInfo, 1, 0, 0, typeLibrary.Out());
    const std::wstring path = Text(typeLibrary.Get());
    return Dump(HKEY_CLASSES_ROOT, "qzVersionInfo.VersionInfo.1") + " |" + Dump(HKEY_CLASSES_ROOT, "qzVersionInfo.VersionInfo") +
           " |" + Dump(HKEY_CLASSES_ROOT, kClassKey) + " | " + std::string(path.begin(), path.end());
}

std::string Expected(const std::string& library) {
    const std::string name = " @=Tervik VersionInfo Object CLSID { @={6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01} }";
    return name + " |" + name + " CurVer { @=qzVersionInfo.VersionInfo.1 } | @=Tervik VersionInfo Object Implemented"
           " Categories { @= {7DD95801-9882-11CF-9FA9-00AA006C42C4} { } } InprocServer32 { @=" + library +
           " ThreadingModel=Apartment } ProgID { @=qzVersionInfo.VersionInfo.1 } Programmable { }"
           " VersionIndependentProgID { @=qzVersionInfo.VersionInfo } | " + library;
}

// A copy of the built library in its own folder below the scratch folder.
std::string Copy(const std::string& folder) {
    const std::string target = ScratchDir() + "\\" + folder;
    CreateDirectoryA(target.c_str(), nullptr);
    EXPECT_TRUE(CopyFileA((BinDir() + "\\vinspect.dll").c_str(), (target + "\\vinspect.dll").c_str(), FALSE));
    return target + "\\vinspect.dll";
}

class Registration : public testing::Test {
protected:
    // Leave the build's own library registered, as the main job expects.
    static void TearDownTestSuite() { CallExport(BinDir() + "\\vinspect.dll", "DllRegisterServer"); }
};

// Registering again changes nothing; a moved library (its path with a quote in it) is written
// afresh; unregistration leaves the type library and succeeds with nothing left to remove.
TEST_F(Registration, RegisterTwiceMoveAndUnregister) {
    const std::string first = Copy("first"), moved = Copy("it's moved");
    for (const std::string& library : {first, first, moved}) {
        ASSERT_EQ(CallExport(library, "DllRegisterServer"), S_OK) << library;
        EXPECT_EQ(Registered(), Expected(library));
    }
    for (int time = 0; time < 2; ++time) {
        ASSERT_EQ(CallExport(moved, "DllUnregisterServer"), S_OK);
        EXPECT_EQ(Registered(), " | | | " + moved);
    }
}

// A broken script fails registration, which then leaves neither class keys nor a type library.
TEST_F(Registration, BrokenScriptLeavesNothingRegistered) {
    const std::string library = Copy("broken");
    const char script[] = "HKCR { NoRemove CLSID { ForceRemove {6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01} = s 'x' {";
    PutResource(library, "REGISTRY", 101, script, sizeof script - 1);
    ASSERT_EQ(CallExport(BinDir() + "\\vinspect.dll", "DllUnregisterServer"), S_OK);  // nothing registered before
    UnRegisterTypeLib(LIBID_qzVersionInfo, 1, 0, 0, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    EXPECT_EQ(CallExport(library, "DllRegisterServer"), DISP_E_EXCEPTION);
    EXPECT_EQ(Registered(), " | | | ");
}

// The type library file beside the library serves when the library's own cannot be loaded; the
// help directory is the folder of both.
TEST_F(Registration, TypeLibraryFileBesideTheLibrary) {
    const std::string library = Copy("separate"), folder = library.substr(0, library.size() - 12);
    PutResource(library, "TYPELIB", 1, "not a type library", 18, 0);
    ASSERT_TRUE(CopyFileA((BinDir() + "\\vinspect.tlb").c_str(), (folder + "vinspect.tlb").c_str(), FALSE));
    ASSERT_EQ(CallExport(library, "DllRegisterServer"), S_OK);
    EXPECT_EQ(Registered(), Expected(library).substr(0, Expected(library).size() - 3) + "tlb");
    char help[MAX_PATH] = "";
    LONG size = sizeof help;
    RegQueryValueA(HKEY_CLASSES_ROOT, "TypeLib\\{6F1C2A10-3B7E-4D21-9A55-0C1E2F3A4B01}\\1.0\\HELPDIR", help, &size);
    EXPECT_EQ(std::string(help), folder);
}

// The samples in both script languages, run by the script host of the test's own bitness, on
// the built library and on a missing file.
TEST_F(Registration, ScriptHostsCreateTheObjectByProgId) {
    const std::string built = BinDir() + "\\vinspect.dll";
    ASSERT_EQ(CallExport(built, "DllRegisterServer"), S_OK);
    const std::wstring notFound = SystemText(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    for (const char* sample : {"vinfo.vbs", "vinfo.js"}) {
        for (const std::string& file : {built, ScratchDir() + "\\missing.dll"}) {
            FILE* pipe = _popen(("cscript.exe //nologo \"" + BinDir() + "\\" + sample + "\" \"" + file + "\" 2>&1").c_str(), "rb");
            std::string output(65536, '\0');
            output.resize(pipe != nullptr ? std::fread(output.data(), 1, output.size(), pipe) : 0);
            const bool missing = file != built;
            EXPECT_EQ(pipe != nullptr ? _pclose(pipe) : -1, missing ? 1 : 0) << sample << output;
            for (const std::string& part : missing ? std::vector<std::string>{"80070002", std::string(notFound.begin(), notFound.end() - 2)}
                                                   : std::vector<std::string>{"CompanyName:      Tervik", "OS:               Win32", "File name is not specified."}) {
                EXPECT_NE(output.find(part), std::string::npos) << sample << " lacks " << part << " in " << output;
            }
        }
    }
}

}  // namespace
