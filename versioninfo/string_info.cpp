// The language-dependent strings of the version resource, looked up by value path under the
// current translation.
#include <cstdio>
#include <cstring>

#include "versioninfo/error_report.h"
#include "versioninfo/version_info.h"
#include "vinspect_version.h"

namespace vinspect {
namespace {

// Value paths are built in a buffer of this size; longer paths are refused, never truncated.
constexpr size_t kValuePathSize = 512;
constexpr size_t kLanguageNameSize = 128;

}  // namespace

HRESULT VersionInfo::LookupValue(const char* name, const char* key, USHORT language,
                                 USHORT codepage, BSTR* result) {
    char path[kValuePathSize];
    int length = key == nullptr
                     ? std::snprintf(path, sizeof path, "\\StringFileInfo\\%.4X%.4X\\%s",
                                     language, codepage, name)
                     : std::snprintf(path, sizeof path, "\\%s\\%.4X%.4X\\%s", key, language,
                                     codepage, name);
    if (length < 0 || static_cast<size_t>(length) >= sizeof path) {
        return ReportSystemError(E_INVALIDARG);
    }

    void* value = nullptr;
    UINT valueLength = 0;
    if (!VerQueryValueA(block_.get(), path, &value, &valueLength)) return S_FALSE;
    size_t limit = ReadableFrom(value);
    if (valueLength == 0 || limit == 0) return S_OK;

    // The text ends at its first NUL, at the value's reported end or at the end of the block,
    // whichever comes first.
    const char* text = static_cast<const char*>(value);
    if (valueLength < limit) limit = valueLength;
    const void* end = std::memchr(text, '\0', limit);
    size_t textLength = end != nullptr ? static_cast<const char*>(end) - text : limit;
    if (textLength == 0) return S_OK;
    return WideFromAnsi(text, static_cast<int>(textLength), result);
}

HRESULT VersionInfo::QueryString(const char* name, BSTR* result, const char* key) {
    if (name == nullptr || result == nullptr) return ReportSystemError(E_INVALIDARG);
    *result = nullptr;
    if (!Loaded()) return ReportError(ComponentError::FileNameNotSpecified);

    HRESULT found = LookupValue(name, key, language_, codepage_, result);
    if (found != S_FALSE) return found;
    // A translation that already names code page 1252 with a language is not replaced.
    if (codepage_ == kFallbackCodepage && language_ != 0) return S_OK;

    found = LookupValue(name, key, kFallbackLanguage, kFallbackCodepage, result);
    if (found != S_OK) return found == S_FALSE ? S_OK : found;
    // The fallback translation is kept only when it found the value, so that one absent value
    // does not hide the file's other strings.
    language_ = kFallbackLanguage;
    codepage_ = kFallbackCodepage;
    return S_OK;
}

HRESULT VersionInfo::ReadString(const char* valueName, BSTR* ret) {
    if (ret == nullptr) return E_POINTER;
    return QueryString(valueName, ret, nullptr);
}

STDMETHODIMP VersionInfo::get_Comments(BSTR* ret) { return ReadString("Comments", ret); }
STDMETHODIMP VersionInfo::get_CompanyName(BSTR* ret) { return ReadString("CompanyName", ret); }
STDMETHODIMP VersionInfo::get_FileDescription(BSTR* ret) {
    return ReadString("FileDescription", ret);
}
STDMETHODIMP VersionInfo::get_FileVersion(BSTR* ret) { return ReadString("FileVersion", ret); }
STDMETHODIMP VersionInfo::get_InternalName(BSTR* ret) { return ReadString("InternalName", ret); }
STDMETHODIMP VersionInfo::get_LegalCopyright(BSTR* ret) {
    return ReadString("LegalCopyright", ret);
}
STDMETHODIMP VersionInfo::get_LegalTrademarks(BSTR* ret) {
    return ReadString("LegalTrademarks", ret);
}
STDMETHODIMP VersionInfo::get_OriginalFilename(BSTR* ret) {
    return ReadString("OriginalFilename", ret);
}
STDMETHODIMP VersionInfo::get_PrivateBuild(BSTR* ret) { return ReadString("PrivateBuild", ret); }
STDMETHODIMP VersionInfo::get_ProductName(BSTR* ret) { return ReadString("ProductName", ret); }
STDMETHODIMP VersionInfo::get_ProductVersion(BSTR* ret) {
    return ReadString("ProductVersion", ret);
}
STDMETHODIMP VersionInfo::get_SpecialBuild(BSTR* ret) { return ReadString("SpecialBuild", ret); }

STDMETHODIMP VersionInfo::GetValue(BSTR key, BSTR name, BSTR* ret) {
    if (ret == nullptr) return E_POINTER;
    *ret = nullptr;
    if (name == nullptr) return ReportSystemError(E_INVALIDARG);
    AnsiCachedString ansiKey;
    AnsiCachedString ansiName;
    const char* keyText = nullptr;
    const char* nameText = nullptr;
    if (FAILED(ansiKey.AssignWide(key)) || FAILED(ansiKey.Ansi(&keyText)) ||
        FAILED(ansiName.AssignWide(name)) || FAILED(ansiName.Ansi(&nameText))) {
        return E_OUTOFMEMORY;
    }
    return QueryString(nameText, ret, keyText);
}

STDMETHODIMP VersionInfo::get_LanguageName(BSTR* ret) {
    if (ret == nullptr) return E_POINTER;
    *ret = nullptr;
    if (!Loaded()) return ReportError(ComponentError::FileNameNotSpecified);
    // Unknown languages leave the buffer untouched: they are named by an empty string.
    char name[kLanguageNameSize] = "";
    VerLanguageNameA(fileLanguage_, name, kLanguageNameSize);
    name[kLanguageNameSize - 1] = '\0';
    return WideFromAnsi(name, -1, ret);
}

STDMETHODIMP VersionInfo::get_Version(BSTR* ret) {
    if (ret == nullptr) return E_POINTER;
    *ret = SysAllocString(L"" VINSPECT_VERSION_TEXT);
    return *ret != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace vinspect
