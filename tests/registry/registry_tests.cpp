// The registry script interpreter against a scratch key of HKEY_CURRENT_USER that every test
// gets empty and leaves removed: edge cases in groups, a script in a module resource, and
// scripts generated from the grammar.
#include "test_modules.h"

#include <gtest/gtest.h>

#include <random>

#include "server/registry/script_interpreter.h"

namespace {

// A root block that reaches the scratch key and holds `body` there.
std::string Wrap(const std::string& body) {
    return "HKCU { NoRemove Software { NoRemove vinspect-registry-tests { " + body + " } } }";
}

std::string Repeat(const std::string& text, int count) {
    std::string out;
    while (count-- > 0) out += text;
    return out;
}

// This process's open handles, found by asking after each handle value in turn (Wine's
// GetProcessHandleCount gives 0).
int HandleCount() {
    int count = 0;
    DWORD flags;
    for (UINT_PTR h = 4; h < 0x10000; h += 4) count += GetHandleInformation(HANDLE(h), &flags);
    return count;
}

class Registry : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kScratch, scratch_.Out()), 0);
        // The first entry of a name wins, whatever its case; "11" is found only when the table
        // has grown past its first room of 10 entries.
        variables_.Add(L"Module", L"C:\\it's");
        variables_.Add(L"MODULE", L"hidden by the first entry");
        for (int i = 0; i < 12; ++i) variables_.Add(std::to_wstring(i).c_str(), L"t");
    }
    void TearDown() override { EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, kScratch), 0); }
    HRESULT Apply(const std::string& text, BOOL registerMode = TRUE) {
        return vinspect::ApplyScriptText(text.c_str(), registerMode, variables_);
    }
    std::string Dump() { return testing_support::Dump(HKEY_CURRENT_USER, kScratch).erase(0, 1); }

    static constexpr const char* kScratch = "Software\\vinspect-registry-tests";
    vinspect::RegKey scratch_;
    vinspect::VariableTable variables_;
};

// Root names and keywords in any case; quoting ('' for a quote, a quoted "}" ends its block, a
// quoted keyword is a keyword, a quote inside a replacement ends the quoted token it was placed
// in); %% and variables; both value types ("S ''" stores an empty string with its terminating
// zero); the longest value name, unquoted and quoted tokens and the deepest nesting. Later entries
// meet the keys of earlier ones: ForceRemove and Delete remove a key's tree first (Delete creates
// nothing), never the guarded CLSID and TypeLib. The script is stored as modules store it (CRLF
// line ends, tabs, no terminating zero) and applied from its module mapped as data, which is
// released again after a success and after a failure: a module left mapped could not be deleted.
TEST_F(Registry, RegistrationFromAModuleResource) {
    std::string script =
        "hKeY_cUrReNt_uSeR\r\n{\r\n\tnOrEmOvE SOFTWARE { noremove vinspect-registry-tests {\r\n"
        "\t\t'it''s' = S '' { vAl 'n m' = d 10 'q'r = s x '}' a'b 'FORCEREMOVE' c%11%\r\n"
        "\t\t'100%%' = s %module% { p = D -1 val v = s '%MODULE%' }\r\n\t\tVAL " +
        Repeat("v", 259) + " = s " + Repeat("u", 4095) + " val q = s '" + Repeat("q", 4094) +
        "' " + Repeat("x { ", 61) + Repeat("} ", 61) + "\r\n\t\ta = s old { old } c { x } e { old }"
        " CLSID { keep } TypeLib { keep } ForceRemove a { new } Delete c = s y { y }"
        " ForceRemove NoRemove e { f } ForceRemove clsid Delete TYPELIB } }\r\n}\r\n";
    const std::string module = testing_support::ScratchDir() + "\\registry-script.dll";
    testing_support::WriteModule(module, {});  // a copy of a module without resources
    testing_support::PutResource(module, "REGISTRY", 101, script.data(), DWORD(script.size()));
    const std::wstring path = testing_support::Widen(module);
    EXPECT_EQ(vinspect::ApplyRegistryResource(path.c_str(), 101, TRUE, variables_), S_OK);
    EXPECT_EQ(Dump(), "q=" + Repeat("q", 4094) + " " + Repeat("v", 259) + "=" + Repeat("u", 4095) +
                          " 100% { @=C:\\it's v=C:\\it p { @=#-1 } s' { } } a { new { } } a'b { }"
                          " CLSID { keep { } } ct { } e { f { } }"
                          " it's { @= n m=#10 q { } r { @=x } } TypeLib { keep { } }" +
                          Repeat(" x {", 61) + Repeat(" }", 61));
    EXPECT_EQ(vinspect::ApplyRegistryResource(path.c_str(), 102, TRUE, variables_), HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_TRUE(DeleteFileA(module.c_str())) << "the module is released";
}

// Every syntax fault is refused with its code before anything is written or removed: "k" is
// neither replaced, nor given a subkey, nor removed. Unregistration passes over assignments
// without reading their types and numbers, so the faults there ("y ...") are applied.
TEST_F(Registry, SyntaxFailuresAreRefusedBeforeAnythingChanges) {
    const std::string longVariable = "%" + Repeat("n", 32) + "%";
    const std::string bodies[] = {
        "x {", "x = s", "x = s 'y", "x\\y", "x { y { z\\w } }", "missing { z\\w }", "val v x", "''",
        "val " + Repeat("v", 260) + " = s 1", "x = s " + Repeat("u", 4096),
        "x = s '" + Repeat("q", 4095) + "'", Repeat("x { ", 62) + Repeat("} ", 62),
        Repeat("x { ", 50000) + Repeat("} ", 50000), "x%", "%" + Repeat("n", 31) + "%",
        longVariable, "y = d abc", "y = d 4294967296", "y = q x", "y = sz x", "y { val z = '' x }"};
    for (BOOL registerMode : {TRUE, FALSE}) {
        for (const std::string& bad : bodies) {
            SCOPED_TRACE(bad.substr(0, 60));
            ASSERT_EQ(Apply(Wrap("k")), S_OK);
            const bool passedOver = !registerMode && bad[0] == 'y';
            EXPECT_EQ(Apply(Wrap("ForceRemove k { a } " + bad), registerMode),
                      passedOver ? S_OK : bad == longVariable ? E_FAIL : DISP_E_EXCEPTION);
            EXPECT_EQ(Dump(), passedOver ? "" : "k { }");
        }
        for (const char* bad : {" \t\r\n", "HKXX { }", "HKCU x", "HKCU { } trailing"}) {
            EXPECT_EQ(Apply(bad, registerMode), DISP_E_EXCEPTION) << bad;
        }
        EXPECT_EQ(Apply("", registerMode), S_OK);
    }
}

// Entries from few names (so that entries meet the same keys again) with every prefix, both
// value types and blocks up to five levels deep.
std::string Entries(std::mt19937& random, bool noRemove, int depth = 0) {
    auto pick = [&](std::vector<std::string> words) { return words[random() % words.size()]; };
    std::string out;
    for (unsigned count = random() % 4; count > 0; --count) {
        const std::string prefix = pick({" val", " ForceRemove", " Delete", "", "", ""});
        const std::string value = pick({" = s 'a b'", " = S ''", " = d 7", " = D -3", " = s x"});
        out += prefix + (noRemove && prefix != " val" && random() % 4 == 0 ? " NoRemove" : "");
        out += pick({" vt0", " VT0", " vt1", " 'vt 2'", " clsid"});
        if (prefix == " val" || random() % 2 == 0) out += value;
        if (prefix != " val" && depth < 4 && random() % 2 == 0) {
            out += " {" + Entries(random, noRemove, depth + 1) + " }";
        }
    }
    return out;
}

// Generated scripts register twice to the same result and unregister without leaving anything
// unless they keep keys with "NoRemove"; no key is left open. (Damaged scripts are not tried:
// root blocks before a failing one, and trees that ForceRemove or Delete removed before it,
// stay as the failure left them, so a refused script may rightly have changed the registry.)
TEST_F(Registry, GeneratedScriptsRoundTrip) {
    Dump();  // the first use of the predefined root key opens a handle that stays
    const int handles = HandleCount();
    for (unsigned seed = 1; seed <= 400; ++seed) {
        RegDeleteTreeA(scratch_.Get(), nullptr);
        std::mt19937 random(seed);
        const std::string script = Wrap(Entries(random, seed % 4 == 0));
        ASSERT_EQ(Apply(script), S_OK) << script;
        const std::string once = Dump();
        ASSERT_EQ(Apply(script), S_OK) << script;
        EXPECT_EQ(Dump(), once) << script;
        ASSERT_EQ(Apply(script, FALSE), S_OK) << script;
        EXPECT_TRUE(seed % 4 == 0 || Dump().empty()) << script;
    }
    EXPECT_EQ(HandleCount(), handles);
}

}  // namespace
