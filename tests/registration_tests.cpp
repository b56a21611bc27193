// Self-registration through the library's own entry points, on copies of vinspect.dll. (The
// script hosts creating the object by ProgID are run by the package test, from the zip.)
#include "test_support.h"

using namespace test_support;

namespace {

const char kClassKey[] = "CLSID\\{6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01}";
const char kInterfaceKey[] = "Interface\\{6F1C2A11-3B7E-4D21-9A55-0C1E2F3A4B01}";
const std::string kBuilt = BinDir() + "\\vinspect.dll";

// The class's three keys as Dump shows them, then the path of the registered type library.
std::string Registered() {
    std::string keys;
    for (const char* key : {"qzVersionInfo.VersionInfo.1", "qzVersionInfo.VersionInfo", kClassKey})
        keys += Dump(HKEY_CLASSES_ROOT, key) + " |";
    vinspect::Bstr typeLibrary;
    QueryPathOfRegTypeLib(LIBID_qzVersionInfo, 1, 0, 0, typeLibrary.Out());
    return keys + " " + Narrow(Text(typeLibrary.Get()));
}

std::string Expected(const std::string& library) {
    const std::string name =
        " @=Tervik VersionInfo Object CLSID { @={6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01} }";
    return name + " |" + name + " CurVer { @=qzVersionInfo.VersionInfo.1 } | @=Tervik VersionInfo"
           " Object Implemented Categories { @= {7DD95801-9882-11CF-9FA9-00AA006C42C4} { } }"
           " InprocServer32 { @=" + library + " ThreadingModel=Apartment } ProgID { @="
           "qzVersionInfo.VersionInfo.1 } Programmable { } VersionIndependentProgID { @="
           "qzVersionInfo.VersionInfo } | " + library;
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

// A value that cannot be written (InprocServer32 allows reading only) fails the registration
// with the registry's reason: the earlier library stays registered, and of what the failed
// registration wrote nothing remains but the class key that still holds InprocServer32.
TEST_F(Registration, UnwritableValueFailsAndKeepsTheEarlierLibrary) {
    const std::string earlier = Copy("earlier"), later = Copy("later");
    ASSERT_EQ(CallExport(earlier, "DllRegisterServer"), S_OK);
    {
        ReadOnlyKey readOnly(HKEY_CLASSES_ROOT, std::string(kClassKey) + "\\InprocServer32");
        EXPECT_EQ(CallExport(later, "DllRegisterServer"), E_ACCESSDENIED);
    }
    EXPECT_EQ(Registered(), " | | @=Tervik VersionInfo Object InprocServer32 { @=" + earlier +
                                " ThreadingModel=Apartment } | " + earlier);
}

// Registrations that fail leave no class key, ProgID, type library or interface key: a broken
// script, and a type library found neither in the library (its resource damaged) nor beside it (the
// classes, written first, are taken back). The failure is the script's, or the type library's as
// the platform reports it.
TEST_F(Registration, FailedRegistrationLeavesNothingRegistered) {
    const std::string broken = Copy("broken"), untyped = Copy("untyped");
    const char script[] =
        "HKCR { NoRemove CLSID { ForceRemove {6F1C2A12-3B7E-4D21-9A55-0C1E2F3A4B01} = s 'x' {";
    PutResource(broken, "REGISTRY", 101, script, sizeof script - 1);
    PutResource(untyped, "TYPELIB", 1, "none", 4, 0);
    vinspect::ComRef<ITypeLib> none;
    const std::string beside = untyped.substr(0, untyped.size() - 3) + "tlb";
    const HRESULT noTypeLibrary = LoadTypeLib(Widen(beside).c_str(), none.Out());
    EXPECT_TRUE(FAILED(noTypeLibrary));
    for (const auto& [library, expected] :
         {std::pair(broken, DISP_E_EXCEPTION), std::pair(untyped, noTypeLibrary)}) {
        ASSERT_EQ(CallExport(kBuilt, "DllUnregisterServer"), S_OK);
        UnRegisterTypeLib(LIBID_qzVersionInfo, 1, 0, 0, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
        EXPECT_EQ(CallExport(library, "DllRegisterServer"), expected) << library;
        EXPECT_EQ(Registered() + Dump(HKEY_CLASSES_ROOT, kInterfaceKey), " | | | ") << library;
    }
}

}  // namespace
