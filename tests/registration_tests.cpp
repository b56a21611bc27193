// Self-registration through the library's own entry points, on copies of vinspect.dll. (The
// script hosts creating the object by ProgID are run by the package test, from the zip.)
#include "test_support.h"

#include <optional>

using namespace test_support;

namespace {

const char kClassKey[] = "CLSID\\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}";
// Every key that registration writes: the ProgIDs, the class, the interface, the type library.
const char* const kWritten[] = {"qzVersionInfo.VersionInfo.1", "qzVersionInfo.VersionInfo",
                                kClassKey, "Interface\\{6F1C2A11-3B7E-4D21-9A55-0C1E2F3A4B01}",
                                "TypeLib\\{6F1C2A10-3B7E-4D21-9A55-0C1E2F3A4B01}"};
const std::string kBuilt = BinDir() + "\\vinspect.dll";

// What Registered() shows for the library at `library`.
std::string Expected(const std::string& library) {
    const std::string name =
        " @=Tervik VersionInfo Object CLSID { @={6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01} }";
    return name + " |" + name + " CurVer { @=qzVersionInfo.VersionInfo.1 } | @=Tervik VersionInfo"
           " Object Implemented Categories { @= {7DD95801-9882-11CF-9FA9-00AA006C42C4} { } }"
           " InprocServer32 { @=" + library + " ThreadingModel=Apartment } ProgID { @="
           "qzVersionInfo.VersionInfo.1 } Programmable { } VersionIndependentProgID { @="
           "qzVersionInfo.VersionInfo } | " + library;
}

// The keys of kWritten under Software\Classes of `root` (HKLM or HKCU), one row each, as Dump
// shows them.
std::vector<std::string> WrittenKeys(HKEY root) {
    std::vector<std::string> rows;
    for (const std::string key : kWritten) rows.push_back(Dump(root, "Software\\Classes\\" + key));
    return rows;
}

// The class's three keys as Dump shows them, then the path of the registered type library.
std::string Registered() {
    const std::vector<std::string> rows = WrittenKeys(HKEY_LOCAL_MACHINE);
    Bstr typeLibrary;
    QueryPathOfRegTypeLib(LIBID_qzVersionInfo, 1, 0, 0, typeLibrary.Out());
    return rows[0] + " |" + rows[1] + " |" + rows[2] + " | " + Narrow(Text(typeLibrary.Get()));
}

void ExpectRows(const std::vector<std::string>& got, const std::vector<std::string>& expected,
                const std::string& row) {
    for (size_t i = 0; i < std::size(kWritten); ++i)
        EXPECT_EQ(got[i], expected[i]) << row << ": " << kWritten[i];
}

// A copy of the built library in its own folder below the scratch folder.
std::string Copy(const std::string& folder) {
    std::string target = ScratchDir() + "\\" + folder;
    CreateDirectoryA(target.c_str(), nullptr);
    EXPECT_TRUE(CopyFileA(kBuilt.c_str(), (target += "\\vinspect.dll").c_str(), FALSE));
    return target;
}

class Registration : public testing::Test {
protected:
    // Leave the build's own library registered, as the main job expects.
    static void TearDownTestSuite() { CallExport(kBuilt, "DllRegisterServer"); }
};

// Registering again changes nothing, and clears what an older registration left in the class
// key; a moved library (its path with a quote in it) is written afresh. Unregistration that
// cannot open a key it must remove (InprocServer32 allows reading only) removes the rest, keeps
// the class registered and reports the registry's refusal; unregistration then removes what is
// left, leaves the type library, and succeeds again with nothing left to remove.
TEST_F(Registration, RegisterTwiceMoveAndUnregister) {
    const std::string first = Copy("first"), moved = Copy("it's moved");
    for (const std::string& library : {first, first, moved}) {
        vinspect::RegKey stale;
        RegCreateKeyA(HKEY_CLASSES_ROOT, (std::string(kClassKey) + "\\Stale").c_str(), stale.Out());
        ASSERT_EQ(CallExport(library, "DllRegisterServer"), S_OK) << library;
        EXPECT_EQ(Registered(), Expected(library));
    }
    {
        ReadOnlyKey readOnly(HKEY_CLASSES_ROOT, std::string(kClassKey) + "\\InprocServer32");
        EXPECT_EQ(CallExport(moved, "DllUnregisterServer"), E_ACCESSDENIED);
    }
    EXPECT_EQ(Registered(), " | | @=Tervik VersionInfo Object InprocServer32 { @=" + moved +
                                " ThreadingModel=Apartment } | " + moved);
    for (int time = 0; time < 2; ++time) {
        ASSERT_EQ(CallExport(moved, "DllUnregisterServer"), S_OK);
        EXPECT_EQ(Registered(), " | | | " + moved);
    }
}

// A registration that fails after it has removed and written keys (a value it cannot write:
// InprocServer32 allows reading only), or whose type library cannot be loaded after the classes
// are written (its resource damaged, no .tlb beside it), or whose script is broken, returns its
// failure and leaves every key as it found it: the earlier library stays registered and serves
// clients by both ProgIDs.
TEST_F(Registration, FailedRegistrationKeepsTheEarlierOne) {
    const std::string earlier = Copy("earlier"), later = Copy("later");
    const std::string untyped = Copy("untyped"), broken = Copy("broken");
    PutResource(untyped, "TYPELIB", 1, "none", 4, 0);
    const char script[] = "HKCR { qzVersionInfo.VersionInfo = s 'x' {";
    PutResource(broken, "REGISTRY", 101, script, sizeof script - 1);
    vinspect::ComRef<ITypeLib> none;
    const std::string beside = untyped.substr(0, untyped.size() - 3) + "tlb";
    const HRESULT noTypeLibrary = LoadTypeLib(Widen(beside).c_str(), none.Out());
    const std::string unwritable = std::string(kClassKey) + "\\InprocServer32";
    for (const auto& [library, expected] :
         {std::pair(later, E_ACCESSDENIED), std::pair(untyped, noTypeLibrary),
          std::pair(broken, DISP_E_EXCEPTION)}) {
        ASSERT_EQ(CallExport(earlier, "DllRegisterServer"), S_OK);
        const std::vector<std::string> before = WrittenKeys(HKEY_LOCAL_MACHINE);
        {
            std::optional<ReadOnlyKey> readOnly;
            if (library == later) readOnly.emplace(HKEY_CLASSES_ROOT, unwritable);
            EXPECT_EQ(CallExport(library, "DllRegisterServer"), expected) << library;
        }
        ExpectRows(WrittenKeys(HKEY_LOCAL_MACHINE), before, library);
        for (const wchar_t* id : {L"qzVersionInfo.VersionInfo.1", L"qzVersionInfo.VersionInfo"}) {
            vinspect::ComRef<IqzVersionInfo> info;
            CLSID found = {};
            EXPECT_EQ(CLSIDFromProgID(id, &found), S_OK) << library;
            ASSERT_EQ(CoCreateInstance(found, nullptr, CLSCTX_INPROC_SERVER, IID_IqzVersionInfo,
                                       info.OutVoid()), S_OK) << library;
            EXPECT_EQ(Assign(info.Get(), kBuilt), S_OK) << library;
            EXPECT_NE(GetModuleHandleA(earlier.c_str()), nullptr) << library;
        }
    }
}

// DllInstall with "user" (what regsvr32 /n /i:user passes) writes under HKCU\Software\Classes
// the rows that machine-wide registration writes under HKLM\Software\Classes, type library
// included, and nothing machine-wide; removing it leaves the user's classes as they were. Any
// other command line is refused and changes nothing. Unregistration keeps the shared keys CLSID,
// Interface and TypeLib, for the user as for the machine: the test makes them first. (Wine 8
// does not merge the user's classes into HKEY_CLASSES_ROOT, so the rows are read where they are
// written; its RegisterTypeLibForUser writes the other registry view's interface key
// machine-wide, which the rows of the process's own view leave out.)
TEST_F(Registration, PerUserRegistration) {
    const std::string library = Copy("user");
    for (const char* shared : {"Software\\Classes\\CLSID", "Software\\Classes\\Interface",
                               "Software\\Classes\\TypeLib"})
        RegCreateKeyA(HKEY_CURRENT_USER, shared, vinspect::RegKey().Out());
    ASSERT_EQ(CallExport(library, "DllRegisterServer"), S_OK);
    const std::vector<std::string> machineWide = WrittenKeys(HKEY_LOCAL_MACHINE);
    ASSERT_EQ(CallExport(library, "DllUnregisterServer"), S_OK);
    UnRegisterTypeLib(LIBID_qzVersionInfo, 1, 0, 0, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    const std::vector<std::string> machine = WrittenKeys(HKEY_LOCAL_MACHINE);
    const std::string user = Dump(HKEY_CURRENT_USER, "Software\\Classes");
    ASSERT_EQ(CallExport(library, "DllInstall", TRUE, L"User"), S_OK);
    ExpectRows(WrittenKeys(HKEY_CURRENT_USER), machineWide, "per user");
    for (const wchar_t* refused : {L"", L"machine", L"user ", L"/i:user", (const wchar_t*)nullptr})
        for (BOOL install : {TRUE, FALSE})
            EXPECT_EQ(CallExport(library, "DllInstall", install, refused), E_INVALIDARG)
                << refused << ", install " << install;
    ExpectRows(WrittenKeys(HKEY_CURRENT_USER), machineWide, "after refused command lines");
    ExpectRows(WrittenKeys(HKEY_LOCAL_MACHINE), machine, "machine-wide");
    for (int time = 0; time < 2; ++time) {
        EXPECT_EQ(CallExport(library, "DllInstall", FALSE, L"user"), S_OK) << time;
        EXPECT_EQ(Dump(HKEY_CURRENT_USER, "Software\\Classes"), user) << time;
    }
}

}  // namespace
