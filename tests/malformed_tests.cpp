// Version resources that lie about their own layout: the object refuses them or answers from
// inside the resource, and never touches memory outside its block.
#include <algorithm>
#include <cstdlib>
#include <random>

#include "test_support.h"

using namespace test_support;

namespace {

bool HeapsValid() {
    HANDLE heaps[256];
    const DWORD count = std::min<DWORD>(GetProcessHeaps(256, heaps), 256);
    return count > 0 && std::all_of(heaps, heaps + count,
                                    [](HANDLE heap) { return HeapValidate(heap, 0, nullptr); });
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

constexpr HRESULT kRefused = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

// The layouts (tests/corpus/tools/handmade.py): variations of a resource whose last node is
// ProductName "Thing", after CompanyName "Acme", in the 32-bit and the 16-bit layout.
TEST(Malformed, CraftedResourcesAreRefusedOrAnsweredFromInside) {
    // Rows: the layout, the result of Path, and the strings read afterwards.
    const std::tuple<const char*, HRESULT, const wchar_t*> rows[] = {
        {"well-formed", S_OK, L"Thing/Acme/Acme"},
        {"root-ffff", kRefused, L""},  // root length 0xFFFF
        {"truncated", kRefused, L""},  // to 11 bytes
        // A 65539-character value whose count, and the copy of its text, wrapped to 4.
        {"wrapped", S_OK, L"xxxx/Acme/Acme"},
        {"child-past-parent", kRefused, L""},
        {"value-past-resource", kRefused, L""},
        {"key-unterminated", kRefused, L""},  // terminator (and 16-bit padding) cut off
        {"nested-300", kRefused, L""},        // nodes nested 300 deep
        // A root length between the resource's and twice that (32-bit layout only): every node
        // lies inside the root, but the ANSI lookup would write its conversion past the block.
        {"root-long", kRefused, L""},
    };
    for (const char* layout : {"", ".ansi"}) {
        for (const auto& [name, expected, answer] : rows) {
            if (*layout != '\0' && std::string(name) == "root-long") continue;
            SCOPED_TRACE(name + std::string(layout));
            const std::string path = ScratchDir() + "\\" + name + layout + ".dll";
            WriteModule(path, Layout(name + std::string(layout)));
            ComRef<IqzVersionInfo> info = NewVersionInfo();
            ExpectError([&] { return Assign(info.Get(), path); }, expected, "Path");
            VARIANT_BOOL loaded = VARIANT_FALSE;
            info->get_InfoExist(&loaded);
            EXPECT_EQ(loaded == VARIANT_TRUE, expected == S_OK);
            EXPECT_EQ(ReadAll(info.Get()), answer);
            ASSERT_TRUE(HeapsValid());
        }
    }
}

// Mutants of both layouts: bytes overwritten, WORDs at node-aligned offsets replaced, the end
// cut off. VINSPECT_MUTATION_SEED repeats a run.
TEST(Malformed, MutatedResourcesKeepEveryHeapValid) {
    const char* given = std::getenv("VINSPECT_MUTATION_SEED");
    const unsigned seed = given ? std::strtoul(given, nullptr, 0) : std::random_device{}();
    std::printf("mutation seed %u (VINSPECT_MUTATION_SEED=%u repeats this run)\n", seed, seed);
    std::mt19937 random(seed);
    const std::vector<BYTE> bases[] = {Layout("well-formed"), Layout("well-formed.ansi")};
    const std::string path = ScratchDir() + "\\mutant.dll";
    ComRef<IqzVersionInfo> info = NewVersionInfo();
    for (int round = 0; round < 1500; ++round) {
        std::vector<BYTE> bytes = bases[round % 2];
        // Each change: a byte overwritten (0), a WORD at an even offset replaced (1: a node's
        // length or value length, mostly below 256), or the end cut off (2).
        for (int change = 1 + random() % 3; change > 0; --change) {
            size_t at = random() % bytes.size();
            const unsigned kind = random() % 3;
            if (kind == 2) bytes.resize(std::max<size_t>(at, 1));
            if (kind == 1) at &= ~size_t{1};
            if (kind < 2) bytes[at] = static_cast<BYTE>(random());
            if (kind == 1 && ++at < bytes.size()) bytes[at] = random() % 4 ? 0 : BYTE(random());
        }
        WriteModule(path, bytes);
        Assign(info.Get(), path);
        ReadAll(info.Get());
        ASSERT_TRUE(HeapsValid()) << "seed " << seed << ", round " << round;
    }
}

}  // namespace
