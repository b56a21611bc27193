// The registry script interpreter against a scratch key of HKEY_CURRENT_USER that every test
// gets empty and leaves removed: edge cases in groups, a script in a module resource, and
// scripts generated from the grammar.
#include "test_modules.h"

#include <sddl.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <random>

#include "server/registry/script_interpreter.h"

using vinspect::RegKey;

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

// " path" for each key in the registry's order, then " path.name=text" or " path.name=#number"
// for each of its values ("@": the default value), then its subkeys.
std::string Contents(HKEY key, const std::string& path = "") {
    char name[512];
    BYTE data[8192];
    DWORD length, size, type;
    std::string out;
    for (DWORD i = 0; length = sizeof name, size = sizeof data,
               RegEnumValueA(key, i, name, &length, nullptr, &type, data, &size) == 0; ++i) {
        out.append(" ").append(path).append(".").append(*name != '\0' ? name : "@").append("=");
        if (type == REG_DWORD) {
            out.append("#").append(std::to_string(*reinterpret_cast<LONG*>(data)));
        } else {
            out.append(reinterpret_cast<char*>(data), size - (size > 0));
        }
    }
    for (DWORD i = 0; length = sizeof name,
               RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == 0; ++i) {
        std::string child = path.empty() ? name : path + "/" + name;
        RegKey sub;
        RegOpenKeyExA(key, name, 0, KEY_READ, sub.Out());
        out += " " + child + Contents(sub.Get(), child);
    }
    return out;
}

class Registry : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, scratch_.Out(), nullptr), 0);
        variables_.Add(L"Module", L"C:\\it's");
        variables_.Add(L"MODULE", L"hidden by the first entry");
    }
    void TearDown() override {
        scratch_.Close();
        EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, kScratch), 0);
    }
    HRESULT Apply(const std::string& text, BOOL registerMode = TRUE) {
        return vinspect::ApplyScriptText(text.c_str(), registerMode, variables_);
    }
    std::string Dump() {
        std::string text = Contents(scratch_.Get());
        return text.empty() ? text : text.substr(1);
    }
    void Clear() { RegDeleteTreeA(scratch_.Get(), nullptr); }
    LONG AddKey(const char* name, DWORD options = 0) {
        RegKey key;
        return RegCreateKeyExA(scratch_.Get(), name, 0, nullptr, options, KEY_ALL_ACCESS, nullptr,
                               key.Out(), nullptr);
    }

    static constexpr const char* kScratch = "Software\\vinspect-registry-tests";
    RegKey scratch_;
    vinspect::VariableTable variables_;
};

TEST_F(Registry, TokensVariablesValueTypesAndLimits) {
    // A quote inside a replacement ends the quoted token it was placed in.
    EXPECT_EQ(Apply(Wrap("'it''s' = S '' { vAl 'n m' = d 10 'q'r = s x '}' a'b 'FORCEREMOVE' c"
                         " '100%%' = s %module% { p = D -1 val v = s '%MODULE%' }")),
              S_OK);
    EXPECT_EQ(Dump(), "100% 100%.@=C:\\it's 100%.v=C:\\it 100%/p 100%/p.@=#-1 100%/s' a'b c "
                      "it's it's.@= it's.n m=#10 it's/q it's/r it's/r.@=x");
    DWORD size = 0;  // an empty string keeps its terminating zero
    RegGetValueA(scratch_.Get(), "it's", nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &size);
    EXPECT_EQ(size, 1u);
    Clear();
    // The longest names and tokens and the deepest nesting, under root names in mixed case.
    EXPECT_EQ(Apply(std::string("hKeY_cUrReNt_uSeR { nOrEmOvE SOFTWARE { noremove vinspect-registry-tests {"
                                " VAL ") + Repeat("v", 259) + " = s " + Repeat("u", 4095) + " val q = s '" +
                    Repeat("q", 4094) + "' " + Repeat("x { ", 61) + Repeat("} ", 61) + "} } }"),
              S_OK);
    std::string expected =
        std::string(".q=") + Repeat("q", 4094) + " ." + Repeat("v", 259) + "=" + Repeat("u", 4095);
    for (std::string path = "x"; path.size() < 122; path += "/x") expected += " " + path;
    EXPECT_EQ(Dump(), expected);

    vinspect::VariableTable table;  // grows past its first room of 10 entries
    for (int i = 0; i < 25; ++i) ASSERT_EQ(table.Add(std::to_wstring(i).c_str(), L"t"), S_OK);
    EXPECT_STREQ(table.Find("24"), L"t");
}

TEST_F(Registry, ForceRemoveDeleteAndUnregistration) {
    ASSERT_EQ(Apply(Wrap("a = s old { old } c { x } e { old } CLSID { keep } TypeLib { keep }")),
              S_OK);
    EXPECT_EQ(Apply(Wrap("ForceRemove a { new } Delete c = s y { y } ForceRemove NoRemove e { f }"
                         " ForceRemove clsid Delete TYPELIB")), S_OK);
    EXPECT_EQ(Dump(), "a a/new CLSID CLSID/keep e e/f TypeLib TypeLib/keep");
    Clear();
    // Kept: keys with foreign subkeys (with their defaults) and every key after "NoRemove" in its
    // block. Removed: a key holding only a default value, one with foreign values.
    const std::string script =
        "missing { z } a = s x { b val v = s 1 } d = s only e g { NoRemove h { i } j } k";
    ASSERT_EQ(Apply(Wrap(script)), S_OK);
    ASSERT_EQ(AddKey("a\\a"), 0);  // foreign, and named as its parent
    ASSERT_EQ(RegSetKeyValueA(scratch_.Get(), "e", "extra", REG_SZ, "1", 2), 0);
    EXPECT_EQ(Apply(Wrap(script), FALSE), S_OK);
    EXPECT_EQ(Dump(), "a a.@=x a/a g g/h g/j");
}

TEST_F(Registry, RegistryFailuresAndReadOnlyKeys) {
    // A lasting key cannot be created under a volatile one: the second root block is undone.
    ASSERT_EQ(AddKey("vol", REG_OPTION_VOLATILE), 0);
    EXPECT_EQ(Apply(Wrap("first = s 1") + " " + Wrap("second { x } vol { child }")),
              DISP_E_EXCEPTION);
    EXPECT_EQ(Dump(), "first first.@=1");

    // A key that opens only for reading is reused, its value writes failing unreported, and is
    // passed over with its block at unregistration.
    RegKey key;
    PSECURITY_DESCRIPTOR security = nullptr;
    ASSERT_EQ(RegOpenKeyExA(scratch_.Get(), "first", 0, WRITE_DAC, key.Out()), 0);
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:P(A;;KRSD;;;WD)", SDDL_REVISION_1, &security, nullptr));
    ASSERT_EQ(RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, security), 0);
    LocalFree(security);
    EXPECT_EQ(Apply(Wrap("first = s new { val v = s 1 } after")), S_OK);
    EXPECT_EQ(Dump(), "after first first.@=1");
    EXPECT_EQ(Apply(Wrap("first { after } after"), FALSE), S_OK);
    EXPECT_EQ(Dump(), "first first.@=1");
}

TEST_F(Registry, SyntaxFailuresAreRefusedBeforeAnythingChanges) {
    const std::string longVariable = std::string("%") + Repeat("n", 32) + "%";
    const std::string bodies[] = {
        "x {", "x = s", "x = s 'y", "x\\y", "x { y { z\\w } }", "missing { z\\w }", "val v x", "''",
        std::string("val ") + Repeat("v", 260) + " = s 1", std::string("x = s ") + Repeat("u", 4096),
        std::string("x = s '") + Repeat("q", 4095) + "'", Repeat("x { ", 62) + Repeat("} ", 62),
        Repeat("x { ", 50000) + Repeat("} ", 50000), "x%", std::string("%") + Repeat("n", 31) + "%",
        longVariable,
        "y = d abc", "y = d 4294967296", "y = q x", "y = sz x", "y { val z = '' x }"};
    ASSERT_EQ(Apply(Wrap("k")), S_OK);
    for (BOOL registerMode : {TRUE, FALSE}) {
        for (const std::string& bad : bodies) {
            // Unregistration passes over assignments without reading their types and numbers.
            HRESULT expected = bad == longVariable             ? E_FAIL
                               : !registerMode && bad[0] == 'y' ? S_OK
                                                                : DISP_E_EXCEPTION;
            std::string text = Wrap((registerMode ? "k { a } " : "k ") + bad);
            EXPECT_EQ(Apply(text, registerMode), expected) << text.substr(0, 99);
            EXPECT_EQ(Dump(), expected == S_OK ? "" : "k");
            if (expected == S_OK) Apply(Wrap("k"));
        }
        for (const char* bad : {" \t\r\n", "HKXX { }", "HKCU x", "HKCU { } trailing"}) {
            EXPECT_EQ(Apply(bad, registerMode), DISP_E_EXCEPTION) << bad;
        }
        EXPECT_EQ(Apply("", registerMode), S_OK);
    }
    EXPECT_EQ(Dump(), "k");
}

TEST_F(Registry, ScriptFromAModuleResource) {
    // Stored as scripts are: CRLF line ends, no terminating zero.
    const std::string script =
        Wrap("\r\nlib = s %MODULE%\r\n{\r\n\tval Model = s Both\r\n}\r\n") + "\r\n";
    const std::string module = testing_support::ScratchDir() + "\\registry-script.dll";
    std::string plain = testing_support::BinDir() + "\\plain.dll";
    ASSERT_TRUE(CopyFileA(plain.c_str(), module.c_str(), FALSE));
    HANDLE update = BeginUpdateResourceA(module.c_str(), FALSE);
    ASSERT_TRUE(UpdateResourceA(update, "REGISTRY", MAKEINTRESOURCEA(101), 0x0409,
                                const_cast<char*>(script.data()), DWORD(script.size())));
    ASSERT_TRUE(EndUpdateResourceA(update, FALSE));
    std::wstring path = testing_support::Widen(module);
    auto apply = [&](WORD id, BOOL registerMode) {
        return vinspect::ApplyRegistryResource(path.c_str(), id, registerMode, variables_);
    };
    ASSERT_EQ(apply(101, TRUE), S_OK);
    EXPECT_EQ(Dump(), "lib lib.@=C:\\it's lib.Model=Both");
    EXPECT_EQ(apply(101, FALSE), S_OK);
    EXPECT_EQ(Dump(), "");
    EXPECT_EQ(apply(102, TRUE), HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_TRUE(DeleteFileA(module.c_str())) << "the module is released";
    HRESULT missing = apply(101, TRUE);
    EXPECT_TRUE(FAILED(missing) && HRESULT_FACILITY(missing) == FACILITY_WIN32) << missing;
}

// This process's handles in the system's handle list (Wine's GetProcessHandleCount gives 0).
ULONG HandleCount() {
    struct Entry {
        USHORT process, trace; UCHAR type, flags; USHORT handle; void* object; DWORD access;
    };
    std::vector<char> list(1 << 16);
    while (NtQuerySystemInformation(SYSTEM_INFORMATION_CLASS(16), list.data(), ULONG(list.size()),
                                    nullptr) != 0) {
        list.resize(list.size() * 2);
    }
    // A count, then the entries at their alignment.
    const Entry* entries = reinterpret_cast<const Entry*>(list.data() + alignof(Entry));
    ULONG count = *reinterpret_cast<const ULONG*>(list.data()), mine = 0;
    for (ULONG i = 0; i < count; ++i) mine += entries[i].process == USHORT(GetCurrentProcessId());
    return mine;
}

// Entries with every prefix, few names (so that entries meet the same keys again), both value
// types, and blocks up to five levels deep.
std::string Entries(std::mt19937& random, bool noRemove, int depth = 0) {
    static const char* const names[] = {" vt0", " VT0", " vt1", " 'vt 2'", " clsid"};
    static const char* const values[] = {" = s 'a b'", " = S ''", " = d 7", " = D -3", " = s x"};
    static const char* const prefixes[] = {" ForceRemove", " Delete", "", "", ""};
    std::string out;
    for (unsigned count = random() % 4; count > 0; --count) {
        if (random() % 5 == 0) {
            out = out + " val" + names[random() % 5] + values[random() % 5];
            continue;
        }
        out += prefixes[random() % 5];
        if (noRemove && random() % 4 == 0) out += " NoRemove";
        out += names[random() % 5];
        if (random() % 2 == 0) out += values[random() % 5];
        if (depth < 4 && random() % 2 == 0) {
            out += " {" + Entries(random, noRemove, depth + 1) + " }";
        }
    }
    return out;
}

TEST_F(Registry, GeneratedAndDamagedScripts) {
    ULONG handles = HandleCount();
    for (unsigned seed = 1; seed <= 400; ++seed) {
        std::mt19937 random(seed);
        bool noRemove = seed % 4 == 0;
        std::string script = Wrap(Entries(random, noRemove));
        ASSERT_EQ(Apply(script), S_OK) << script;
        std::string once = Dump();
        ASSERT_EQ(Apply(script), S_OK) << script;
        EXPECT_EQ(Dump(), once) << script;
        ASSERT_EQ(Apply(script, FALSE), S_OK) << script;
        EXPECT_TRUE(noRemove || Dump().empty()) << script;
        Clear();

        // Cut short, or one byte of the entries changed; two kept levels hold entries that a
        // stray closing brace lifts out of their block.
        std::string entries = Entries(random, true);
        std::string text = Wrap("NoRemove g1 { NoRemove g2 {" + entries + " } }");
        if (seed % 3 == 0 || entries.empty()) {
            text.resize(random() % text.size());
        } else {
            text[text.size() - 10 - entries.size() + random() % entries.size()] =
                " {}'=%\\sd0\t\x81"[random() % 12];
        }
        for (BOOL registerMode : {TRUE, FALSE}) {
            HRESULT result = Apply(text, registerMode);
            EXPECT_TRUE(result == S_OK || result == DISP_E_EXCEPTION || result == E_FAIL) << text;
        }
        Clear();
    }
    EXPECT_EQ(HandleCount(), handles);
}

}  // namespace
