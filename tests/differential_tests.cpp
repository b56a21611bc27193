// Files read through the object and, independently, through the platform's own API: both must
// report the same data. The files are every module of the prefix's system folder, and a corpus
// of version resources written by other producers and by hand (tests/corpus, with the script
// that rebuilds it).
#include <fstream>
#include <iterator>

#include "test_support.h"

using namespace test_support;
using vinspect::Bstr;

namespace {

// What the platform reads from a file. A 32-bit block is read through the wide API, which uses
// no conversion area; a 16-bit block through the ANSI API, which hands its text out as stored
// (the wide API converts it into the block, and Wine 8's 32-bit version.dll then loses values
// and damages the heap). Texts come back as the object gives them: through the ANSI code page.
class PlatformReading {
public:
    explicit PlatformReading(const std::string& path) {
        DWORD handle = 0;
        block_.resize(GetFileVersionInfoSizeA(path.c_str(), &handle));
        GetFileVersionInfoA(path.c_str(), handle, DWORD(block_.size()), block_.data());
        ansi_ = block_.size() > 4 && block_[4] >= 0x20 && block_[4] <= 0x7F;
        if (ansi_ || block_.empty()) return;
        const std::wstring wide = Widen(path);
        block_.resize(GetFileVersionInfoSizeW(wide.c_str(), &handle));
        GetFileVersionInfoW(wide.c_str(), handle, DWORD(block_.size()), block_.data());
    }
    template <typename T>
    bool Query(const std::wstring& path, T** value, UINT* length) {
        void** out = reinterpret_cast<void**>(value);
        if (block_.empty()) return false;
        if (ansi_) return VerQueryValueA(block_.data(), Narrow(path).c_str(), out, length);
        return VerQueryValueW(block_.data(), path.c_str(), out, length);
    }
    // The value `name` under the translation; false when it does not exist.
    bool String(USHORT language, USHORT codepage, const wchar_t* name, std::wstring* text) {
        wchar_t path[512];
        swprintf(path, 512, L"\\StringFileInfo\\%04X%04X\\%ls", language, codepage, name);
        void* value = nullptr;
        UINT length = 0;
        if (!Query(path, &value, &length)) return false;
        const char* bytes = static_cast<const char*>(value);
        const wchar_t* chars = static_cast<const wchar_t*>(value);
        *text = !value  ? L""
                : ansi_ ? Widen(std::string(bytes, strnlen(bytes, length)))
                        : Widen(Narrow(std::wstring(chars, wcsnlen(chars, length))));
        return true;
    }

private:
    static std::string Narrow(const std::wstring& text) {
        char narrow[4096] = "";
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow, 4095, nullptr, nullptr);
        return narrow;
    }
    std::vector<BYTE> block_;
    bool ansi_ = false;
};

// Reads `path` through the object and through the platform and expects the same fixed fields,
// first translation, standard strings and custom "Build Date"; false when the platform finds no
// version data (the object must then find none either).
bool ExpectSameAsPlatform(IqzVersionInfo* info, const std::string& path) {
    const HRESULT loaded = Assign(info, path);
    VARIANT_BOOL exists = VARIANT_FALSE;
    info->get_InfoExist(&exists);
    PlatformReading platform(path);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!platform.Query(L"\\", &fixed, &length)) {
        EXPECT_FALSE(exists);
        return false;
    }
    EXPECT_EQ(loaded, S_OK);
    EXPECT_EQ(exists, VARIANT_TRUE);
    for (int field = 0; field < 9; ++field) {
        LONG value = 0;
        EXPECT_EQ((info->*kFixedReads[field])(&value), S_OK) << "field " << field;
        EXPECT_EQ(DWORD(value), (&fixed->dwFileVersionMS)[field]) << "field " << field;
    }
    // The object takes the file's first translation; a file without one is read under U.S.
    // English, Unicode.
    WORD* table = nullptr;
    short language = 1033, codepage = 1200;
    if (platform.Query(L"\\VarFileInfo\\Translation", &table, &length) && length >= 4) {
        EXPECT_EQ(info->get_Language(&language), S_OK);
        EXPECT_EQ(USHORT(language), table[0]);
        EXPECT_EQ(info->get_Codepage(&codepage), S_OK);
        EXPECT_EQ(USHORT(codepage), table[1]);
    }
    info->put_Language(language);
    info->put_Codepage(codepage);
    // Each value under the file's translation, or once under U.S. English / Western European
    // when it is not there and the translation is not already such a one.
    Bstr custom(SysAllocString(L"Build Date"));
    for (int read = 0; read <= 12; ++read) {
        const wchar_t* name = read < 12 ? kStringReads[read].first : custom.Get();
        std::wstring expected;
        if (!platform.String(language, codepage, name, &expected) &&
            !(codepage == 1252 && language != 0) && platform.String(1033, 1252, name, &expected)) {
            language = 1033;
            codepage = 1252;
        }
        Bstr actual;
        const HRESULT result = read < 12 ? (info->*kStringReads[read].second)(actual.Out())
                                         : info->GetValue(nullptr, custom.Get(), actual.Out());
        EXPECT_EQ(result, S_OK) << name;
        EXPECT_EQ(Text(actual.Get()), expected) << name;
    }
    return true;
}

// Calls `each` with every file of `folder` that matches `pattern`; returns how many matched.
size_t ForEachFile(const std::string& folder, const char* pattern,
                   const std::function<void(const std::string& name)>& each) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    size_t count = 0;
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        SCOPED_TRACE(found.cFileName);
        each(found.cFileName);
        ++count;
    }
    FindClose(search);
    return count;
}

TEST(Differential, SystemModulesReadTheSameAsThroughThePlatform) {
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    vinspect::ComRef<IqzVersionInfo> info = NewVersionInfo();
    size_t withData = 0;
    ForEachFile(system, "*.*", [&](const std::string& name) {
        withData += ExpectSameAsPlatform(info.Get(), std::string(system) + "\\" + name);
    });
    std::printf("%zu modules with version data\n", withData);
    EXPECT_GT(withData, 100u);
}

// Every resource of the corpus loads: a raw resource (.bin) in a module of its own, a 16-bit
// executable (.ne) as it is.
TEST(Differential, ResourcesOfOtherProducersReadTheSameAsThroughThePlatform) {
    const std::string corpus = BinDir() + "\\corpus";
    vinspect::ComRef<IqzVersionInfo> info = NewVersionInfo();
    size_t files = ForEachFile(corpus, "*.bin", [&](const std::string& name) {
        std::ifstream in(corpus + "\\" + name, std::ios::binary);
        const std::vector<BYTE> resource(std::istreambuf_iterator<char>(in), {});
        WriteModule(ScratchDir() + "\\corpus-" + name + ".dll", resource);
        EXPECT_TRUE(ExpectSameAsPlatform(info.Get(), ScratchDir() + "\\corpus-" + name + ".dll"));
    });
    files += ForEachFile(corpus, "*.ne", [&](const std::string& name) {
        EXPECT_TRUE(ExpectSameAsPlatform(info.Get(), corpus + "\\" + name));
    });
    EXPECT_GE(files, 23u);
}

}  // namespace
