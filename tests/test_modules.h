// Test support: version resources built byte by byte, modules that carry them, and the error
// object a failed call leaves behind.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/handles.h"
#include "vinspect_h.h"

namespace testing_support {

// One node of a VS_VERSIONINFO tree: key, value bytes and children, serialised with the
// format's 32-bit alignment.
struct VersionNode {
    std::wstring key;
    std::vector<BYTE> value;
    WORD valueLength = 0;  // in the format's unit: characters for text, bytes for binary
    WORD type = 1;         // 1 text, 0 binary
    std::vector<VersionNode> children;
    // Overrides the serialised wLength (for truncated or inconsistent nodes); 0 keeps it.
    WORD lengthOverride = 0;
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

// Folder of the test executable (and of the built binaries).
std::string BinDir();
// A fresh scratch folder for one test program.
std::string ScratchDir();
// Writes a copy of the resource-free module to `path` carrying `resource` as its version data
// (no version resource when `resource` is empty).
void WriteModule(const std::string& path, const std::vector<BYTE>& resource);
void WriteTextFile(const std::string& path, const std::string& text);

// Runs a command line, waits for it (at most `timeoutMs`) and returns its exit code; what it
// writes to standard output and error is collected in `output`.
DWORD RunProgram(const std::string& commandLine, std::string* output, DWORD timeoutMs = 120000);

// The error object of the calling thread, taken from it.
struct ErrorObject {
    bool present = false;
    std::wstring description;
    std::wstring source;
    std::wstring helpFile;
    GUID guid{};
};
ErrorObject TakeErrorObject();

// The system's text for `code` as the component would fetch it (empty when there is none).
std::wstring SystemText(HRESULT code);

// Creates a stand-alone VersionInfo object of the linked-in component.
vinspect::ComRef<IqzVersionInfo> NewVersionInfo();

std::wstring Widen(const std::string& text);
std::wstring Text(BSTR text);

}  // namespace testing_support
