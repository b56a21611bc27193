// Test support: version resources built byte by byte, modules that carry them, the error object
// a failed call leaves behind, and a readable dump of a registry subtree.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/handles.h"
#include "vinspect_h.h"

namespace testing_support {

// The component's own error: no file with version data loaded.
constexpr HRESULT kNotSpecified = static_cast<HRESULT>(0x800403E9);

using StringRead = HRESULT (STDMETHODCALLTYPE IqzVersionInfo::*)(BSTR*);
using NumberRead = HRESULT (STDMETHODCALLTYPE IqzVersionInfo::*)(LONG*);
// The reads of the nine fixed fields, in the order of VS_FIXEDFILEINFO from dwFileVersionMS on.
extern const NumberRead kFixedReads[9];
// The twelve standard string values and the properties that read them.
extern const std::pair<const wchar_t*, StringRead> kStringReads[12];

// One node of a VS_VERSIONINFO tree: key, value bytes and children, serialised with the
// format's 32-bit alignment.
struct VersionNode {
    std::wstring key;
    std::vector<BYTE> value;
    WORD valueLength = 0;  // in the format's unit: characters for text, bytes for binary
    WORD type = 1;         // 1 text, 0 binary
    std::vector<VersionNode> children;
    WORD lengthOverride = 0;  // replaces the serialised wLength when not 0
};
// `ansi` gives the 16-bit layout: no type word, ANSI key and text (ASCII text only).
std::vector<BYTE> Serialize(const VersionNode& node, bool ansi = false);
VS_FIXEDFILEINFO Fixed(DWORD fileMS, DWORD fileLS, DWORD fileOS = VOS_NT_WINDOWS32,
                       DWORD dateMS = 0, DWORD dateLS = 0);
// A version root with fixed information (or none) and the given blocks.
VersionNode VersionRoot(const VS_FIXEDFILEINFO* fixed, std::vector<VersionNode> blocks);
// "StringFileInfo" with one table per translation key ("040904B0").
VersionNode StringFileInfo(std::vector<VersionNode> tables);
VersionNode StringTable(const std::wstring& translation,
                        std::vector<std::pair<std::wstring, std::wstring>> values);
// A text value; `terminated` false leaves the NUL out of the value.
VersionNode StringValue(const std::wstring& name, const std::wstring& text, bool terminated = true);
// "VarFileInfo" with a "Translation" table of (language, code page) pairs.
VersionNode Translations(std::vector<std::pair<WORD, WORD>> pairs);

std::string BinDir();      // folder of the test executable and the built binaries
std::string ScratchDir();  // a scratch folder beside them, shared by the test programs
// Replaces (or adds) resource `type`/`id` in `language` of the module file at `path`.
void PutResource(const std::string& path, const char* type, int id, const void* data, DWORD size,
                 WORD language = 0x0409);
// Writes a copy of the resource-free module carrying `resource` as its version data (none when
// `resource` is empty).
void WriteModule(const std::string& path, const std::vector<BYTE>& resource);
void WriteTextFile(const std::string& path, const std::string& text);
// Loads the library at `path` and calls its entry point `name` (DllRegisterServer...).
HRESULT CallExport(const std::string& path, const char* name);

// The description of the calling thread's error object, taken from it; "<none>" without one.
std::wstring TakeError();
// The system's text for `code` as the component fetches it (empty when there is none).
std::wstring SystemText(HRESULT code);
// Makes `call` with a clean error slot and expects `expected` and the error object the component
// leaves for it: its own text for kNotSpecified, the system's for other failures, none for
// S_OK. `row` names the case.
void ExpectError(const std::function<HRESULT()>& call, HRESULT expected, const std::string& row);

// Every value and subkey below `path` of `root`, in the registry's order ("" when it is absent):
// " name=text" (REG_SZ with its terminator), " name=#number", "@" for the default value, any
// other value as "<type, size>", then " subkey { ... }".
std::string Dump(HKEY root, const std::string& path);

// Assigns `path` to Path ("<null>": a null string) and returns the result.
HRESULT Assign(IqzVersionInfo* info, const std::string& path);
// A stand-alone VersionInfo object of the linked-in component, with `path` assigned unless empty.
vinspect::ComRef<IqzVersionInfo> NewVersionInfo(const std::string& path = "");

std::wstring Widen(const std::string& text);
std::wstring Text(BSTR text);

}  // namespace testing_support
