// The registry script interpreter against a scratch key of HKEY_CURRENT_USER that every test
// gets empty and leaves removed: refused scripts, and scripts generated from the grammar. (The
// component's own script, applied from its module's resource, is checked key by key by the
// registration tests.)
#include "test_support.h"

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

class Registry : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kScratch, scratch_.Out()), 0);
        // The first entry of a name wins, whatever its case; "11" is found only when the table
        // has grown past its first room of 10 entries.
        variables_.Add("Module", "C:\\it's");
        variables_.Add("MODULE", "hidden by the first entry");
        for (int i = 0; i < 12; ++i) variables_.Add(std::to_string(i).c_str(), "t");
    }
    void TearDown() override { EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, kScratch), 0); }
    HRESULT Apply(const std::string& text, BOOL registerMode = TRUE) {
        return vinspect::ApplyScriptText(text.c_str(), registerMode, variables_);
    }
    std::string Dump() { return test_support::Dump(HKEY_CURRENT_USER, kScratch).erase(0, 1); }

    static constexpr const char* kScratch = "Software\\vinspect-registry-tests";
    vinspect::RegKey scratch_;
    vinspect::VariableTable variables_;
};

// Variables (the first entry of a name wins, whatever its case; "11" is found only once the table
// has grown past its first room of 10 entries), %%, quoting ('' for a quote; a quoted "}" still
// ends its block) and keywords in any case; Delete creates nothing, and ForceRemove never removes
// the guarded CLSID.
TEST_F(Registry, VariablesQuotingAndKeywords) {
    const std::string script = "'it''s' = S '' { vAl 'n m' = d 10 '}' '100%%' = s %module% c%11%"
                               " CLSID { keep } Delete c = s y { y } ForceRemove clsid";
    EXPECT_EQ(Apply(Wrap(script)), S_OK);
    EXPECT_EQ(Dump(), "100% { @=C:\\it's } CLSID { keep { } } ct { } it's { @= n m=#10 }");
}

// A key that allows reading only is walked through to its writable subkeys. A value written to
// it fails with the registry's reason, and its root block is put back as it was, newest change
// first: values with their earlier type and data, created keys gone, and the trees that
// ForceRemove and Delete removed back with their values and subkeys; the root block before it
// stays. Unregistration cannot open it with full access: it is passed over, the rest goes, and
// the refusal is the result.
TEST_F(Registry, ReadOnlyKeysFailAndArePutBack) {
    ASSERT_EQ(Apply(Wrap("ro { w } k = d 1 { val v = s old sub { deep = s x } } gone { g }"
                         " w = d 5")), S_OK);
    test_support::ReadOnlyKey readOnly(HKEY_CURRENT_USER, std::string(kScratch) + "\\ro");
    EXPECT_EQ(Apply(Wrap("ro { w = s x }")), S_OK);
    const std::string before = Dump();
    EXPECT_EQ(Apply(Wrap("first") + " " +
                    Wrap("w = s new ForceRemove k = s 2 { val v = s new n } Delete gone"
                         " ForceRemove new = s x { val q = d 3 } ro = s z")),
              E_ACCESSDENIED);
    EXPECT_EQ(RegDeleteKeyA(scratch_.Get(), "first"), 0);
    EXPECT_EQ(Dump(), before);
    EXPECT_EQ(Apply(Wrap("k { sub { deep } } ro { w } gone { g }"), FALSE), E_ACCESSDENIED);
    EXPECT_EQ(Dump(), "ro { w { @=x } } w { @=#5 }");
}

// Every syntax fault is refused with its code before anything is written or removed: "k" is
// neither replaced, nor given a subkey, nor removed. Unregistration passes over assignments
// without reading their types and numbers, so the faults there ("y ...") are applied.
TEST_F(Registry, SyntaxFailuresAreRefusedBeforeAnythingChanges) {
    const std::string longVariable = "%" + Repeat("n", 32) + "%";
    const std::vector<std::string> bodies = {
        "x {", "x = s", "x = s 'y", "x\\y", "x { y { z\\w } }", "missing { z\\w }", "val v x", "''",
        "x%", "y = d abc", "y = d 4294967296", "y = q x", "y = sz x", "y { val z = '' x }",
        "val " + Repeat("v", 260) + " = s 1", "x = s " + Repeat("u", 4096),
        "x = s '" + Repeat("q", 4095) + "'", Repeat("x { ", 62) + Repeat("} ", 62),
        "%" + Repeat("n", 31) + "%", Repeat("x { ", 50000) + Repeat("} ", 50000), longVariable};
    for (BOOL registerMode : {TRUE, FALSE}) {
        for (const std::string& bad : bodies) {
            SCOPED_TRACE(bad.substr(0, 60));
            ASSERT_EQ(Apply(Wrap("k")), S_OK);
            const bool passedOver = !registerMode && bad[0] == 'y';
            const HRESULT refused = bad == longVariable ? E_FAIL : DISP_E_EXCEPTION;
            EXPECT_EQ(Apply(Wrap("ForceRemove k { a } " + bad), registerMode),
                      passedOver ? S_OK : refused);
            EXPECT_EQ(Dump(), passedOver ? "" : "k { }");
        }
        for (const char* bad : {" \t\r\n", "HKXX { }", "HKCU x", "HKCU { } trailing"})
            EXPECT_EQ(Apply(bad, registerMode), DISP_E_EXCEPTION) << bad;
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
        if (prefix != " val" && depth < 4 && random() % 2 == 0)
            out += " {" + Entries(random, noRemove, depth + 1) + " }";
    }
    return out;
}

// Generated scripts register twice to the same result, are put back whole when a failure ends
// them, and unregister without leaving anything or reporting a failure, unless they keep keys
// with "NoRemove"; no key is left open. (Damaged
// scripts are not tried: root blocks before a failing one stay, so a refused script may rightly
// have changed the registry.)
TEST_F(Registry, GeneratedScriptsRoundTrip) {
    Dump();  // the first use of the predefined root key opens a handle that stays
    const int handles = test_support::HandleCount();
    for (unsigned seed = 1; seed <= 400; ++seed) {
        RegDeleteTreeA(scratch_.Get(), nullptr);
        std::mt19937 random(seed);
        const std::string script = Wrap(Entries(random, seed % 4 == 0));
        ASSERT_EQ(Apply(script), S_OK) << script;
        const std::string once = Dump();
        ASSERT_EQ(Apply(script), S_OK) << script;
        EXPECT_EQ(Dump(), once) << script;
        // Another generated block that fails at its end ("ro" allows reading only) is put back.
        const std::string failing = Wrap(Entries(random, seed % 4 == 0) + " ro = s z");
        ASSERT_EQ(RegCreateKeyA(scratch_.Get(), "ro", vinspect::RegKey().Out()), 0);
        {
            const std::string before = Dump();
            test_support::ReadOnlyKey readOnly(HKEY_CURRENT_USER, std::string(kScratch) + "\\ro");
            EXPECT_EQ(Apply(failing), E_ACCESSDENIED) << failing;
            EXPECT_EQ(Dump(), before) << failing;
        }
        RegDeleteKeyA(scratch_.Get(), "ro");
        EXPECT_EQ(Dump(), once) << failing;
        ASSERT_EQ(Apply(script, FALSE), S_OK) << script;
        EXPECT_TRUE(seed % 4 == 0 || Dump().empty()) << script;
    }
    EXPECT_EQ(test_support::HandleCount(), handles);
}

}  // namespace
