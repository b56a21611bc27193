// Version resources that lie about their own layout: the object refuses them or answers from
// inside the resource, and never touches memory outside its block.
#include <algorithm>
#include <cstdlib>
#include <random>

#include "test_modules.h"

using namespace testing_support;
using vinspect::Bstr;
using vinspect::ComRef;

namespace {

bool HeapsValid() {
    HANDLE heaps[256];
    const DWORD count = std::min<DWORD>(GetProcessHeaps(256, heaps), 256);
    return count > 0 && std::all_of(heaps, heaps + count, [](HANDLE heap) { return HeapValidate(heap, 0, nullptr); });
}

// Every string property and GetValue("StringFileInfo", "CompanyName"), the non-empty ones
// joined by '/'.
std::wstring ReadAll(IqzVersionInfo* info) {
    Bstr text, key(SysAllocString(L"StringFileInfo")), name(SysAllocString(L"CompanyName"));
    std::wstring all;
    for (int read = 0; read <= 12; ++read) {
        if (read < 12) (info->*kStringReads[read].second)(text.Out());
        if (read == 12) info->GetValue(key.Get(), name.Get(), text.Out());
        if (SysStringLen(text.Get()) > 0) all += (all.empty() ? L"" : L"/") + Text(text.Get());
    }
    return all;
}

// A resource with two strings: CompanyName "Acme" and `product` as the last node of its table.
VersionNode Root(VersionNode product) {
    static const VS_FIXEDFILEINFO fixed = Fixed(0x00010002, 0);
    VersionNode table = StringTable(L"040904B0", {{L"CompanyName", L"Acme"}});
    table.children.push_back(std::move(product));
    return VersionRoot(&fixed, {Translations({{0x0409, 0x04B0}}), StringFileInfo({table})});
}

std::vector<BYTE> With(VersionNode product, bool ansi) { return Serialize(Root(product), ansi); }

VersionNode Product(const std::wstring& text = L"Thing") { return StringValue(L"ProductName", text); }

constexpr HRESULT kRefused = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

TEST(Malformed, CraftedResourcesAreRefusedOrAnsweredFromInside) {
    // Rows: the case, the result of Path, the strings read afterwards, and the resource.
    struct Row { const char* name; HRESULT expected; const wchar_t* answer; std::vector<BYTE> (*make)(bool ansi); };
    const Row rows[] = {
        {"well-formed", S_OK, L"Thing/Acme/Acme", [](bool a) { return With(Product(), a); }},
        {"root length 0xFFFF", kRefused, L"",
         [](bool a) { auto b = With(Product(), a); b[0] = b[1] = 0xFF; return b; }},
        {"truncated to 11 bytes", kRefused, L"",
         [](bool a) { auto b = With(Product(), a); b.resize(11); return b; }},
        {"lengths wrapped above 64 KB", S_OK, L"xxxx/Acme/Acme",
         [](bool a) { return With(Product(std::wstring(65539, L'x')), a); }},
        {"child past its parent", kRefused, L"",
         [](bool a) { VersionNode v = Product(); v.lengthOverride = 0x200; return With(v, a); }},
        {"value past the resource", kRefused, L"",
         [](bool a) { VersionNode v = Product(); v.valueLength = 200; return With(v, a); }},
        {"nodes nested 300 deep", kRefused, L"",
         [](bool a) {
             VersionNode v = Product();
             for (int level = 0; level < 300; ++level) v = VersionNode{L"n", {}, 0, 1, {v}};
             return With(v, a);
         }},
        {"key unterminated at the end", kRefused, L"",  // terminator (and ANSI padding) cut off
         [](bool a) {
             VersionNode root = Root(Product());
             root.children.push_back(VersionNode{L"Custom-Key", {}, 0, 1, {}, WORD(a ? 14 : 26)});
             std::vector<BYTE> bytes = Serialize(root, a);
             bytes.resize(bytes.size() - 2);
             *reinterpret_cast<WORD*>(bytes.data()) = WORD(bytes.size());
             return bytes;
         }},
    };
    const std::string dir = ScratchDir();
    int index = 0;
    for (bool ansi : {false, true}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(ansi ? "16-bit " : "32-bit ") + row.name);
            const std::string path = dir + "\\crafted" + std::to_string(index++) + ".dll";
            WriteModule(path, row.make(ansi));
            ComRef<IqzVersionInfo> info = NewVersionInfo();
            ExpectError([&] { return Assign(info.Get(), path); }, row.expected, "Path");
            VARIANT_BOOL loaded = VARIANT_FALSE;
            info->get_InfoExist(&loaded);
            EXPECT_EQ(loaded == VARIANT_TRUE, row.expected == S_OK);
            EXPECT_EQ(ReadAll(info.Get()), row.answer);
            ASSERT_TRUE(HeapsValid());
        }
    }
}

// Mutants of both layouts: bytes overwritten, WORDs at node-aligned offsets replaced, the end
// cut off. VINSPECT_MUTATION_SEED repeats a run.
TEST(Malformed, MutatedResourcesKeepEveryHeapValid) {
    const char* given = std::getenv("VINSPECT_MUTATION_SEED");
    const unsigned seed = given != nullptr ? std::strtoul(given, nullptr, 0) : std::random_device{}();
    std::printf("mutation seed %u (VINSPECT_MUTATION_SEED=%u repeats this run)\n", seed, seed);
    std::mt19937 random(seed);
    const std::vector<BYTE> bases[] = {With(Product(), false), With(Product(), true)};
    const std::string path = ScratchDir() + "\\mutant.dll";
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    for (int round = 0; round < 1500; ++round) {
        std::vector<BYTE> bytes = bases[round % 2];
        for (int change = 1 + random() % 3; change > 0; --change) {
            size_t at = random() % bytes.size();
            switch (random() % 3) {
                case 0: bytes[at] = static_cast<BYTE>(random()); break;
                case 1:  // a node's length or value length, mostly below 256
                    at &= ~size_t{1};
                    bytes[at] = static_cast<BYTE>(random());
                    if (at + 1 < bytes.size()) bytes[at + 1] = random() % 4 ? 0 : BYTE(random());
                    break;
                default: bytes.resize(std::max<size_t>(at, 1)); break;
            }
        }
        WriteModule(path, bytes);
        Assign(info.Get(), path);
        ReadAll(info.Get());
        ASSERT_TRUE(HeapsValid()) << "seed " << seed << ", round " << round;
    }
}

}  // namespace
