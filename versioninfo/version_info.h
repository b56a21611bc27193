// The VersionInfo object: the version resource of one module file, loaded when Path is assigned
// and answered from the cached block afterwards.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <memory>

#include "common/text.h"
#include "versioninfo/block_check.h"
#include "vinspect_h.h"

namespace vinspect {

// Translation used before any file with a translation table was loaded.
constexpr USHORT kDefaultLanguage = 0x0409;
constexpr USHORT kDefaultCodepage = 0x04B0;
// Translation tried once when a string is not found under the current one.
constexpr USHORT kFallbackLanguage = 0x0409;
constexpr USHORT kFallbackCodepage = 0x04E4;

// The operations of IqzVersionInfo, shared by both object forms. Reference counting, interface
// lookup and late binding (IUnknown and IDispatch) belong to whoever serves the object.
class VersionInfo : public IqzVersionInfo {
public:
    VersionInfo() = default;
    VersionInfo(const VersionInfo&) = delete;
    VersionInfo& operator=(const VersionInfo&) = delete;

    // Loading and translation.
    STDMETHODIMP get_Path(BSTR* ret) override;
    STDMETHODIMP put_Path(BSTR value) override;
    STDMETHODIMP get_Language(short* ret) override;
    STDMETHODIMP put_Language(short value) override;
    STDMETHODIMP get_Codepage(short* ret) override;
    STDMETHODIMP put_Codepage(short value) override;
    STDMETHODIMP get_InfoExist(VARIANT_BOOL* ret) override;

    // Fixed information.
    STDMETHODIMP get_FileVersionHigh(LONG* ret) override;
    STDMETHODIMP get_FileVersionLow(LONG* ret) override;
    STDMETHODIMP get_ProductVersionHigh(LONG* ret) override;
    STDMETHODIMP get_ProductVersionLow(LONG* ret) override;
    STDMETHODIMP get_FileFlagsMask(LONG* ret) override;
    STDMETHODIMP get_FileFlags(LONG* ret) override;
    STDMETHODIMP get_FileOS(LONG* ret) override;
    STDMETHODIMP get_FileOSString(BSTR* ret) override;
    STDMETHODIMP get_FileType(LONG* ret) override;
    STDMETHODIMP get_FileSubtype(LONG* ret) override;
    STDMETHODIMP get_FileDate(VARIANT* ret) override;

    // Strings.
    STDMETHODIMP get_Comments(BSTR* ret) override;
    STDMETHODIMP get_CompanyName(BSTR* ret) override;
    STDMETHODIMP get_FileDescription(BSTR* ret) override;
    STDMETHODIMP get_FileVersion(BSTR* ret) override;
    STDMETHODIMP get_InternalName(BSTR* ret) override;
    STDMETHODIMP get_LegalCopyright(BSTR* ret) override;
    STDMETHODIMP get_LegalTrademarks(BSTR* ret) override;
    STDMETHODIMP get_OriginalFilename(BSTR* ret) override;
    STDMETHODIMP get_PrivateBuild(BSTR* ret) override;
    STDMETHODIMP get_ProductName(BSTR* ret) override;
    STDMETHODIMP get_ProductVersion(BSTR* ret) override;
    STDMETHODIMP get_SpecialBuild(BSTR* ret) override;
    STDMETHODIMP GetValue(BSTR key, BSTR name, BSTR* ret) override;
    STDMETHODIMP get_LanguageName(BSTR* ret) override;
    STDMETHODIMP get_Version(BSTR* ret) override;

    // An untrusted caller (a script on a web page, as the browser declares through
    // IObjectSafety) may read only files on local drives. Callers are trusted until one says
    // otherwise, and a trusted caller's paths behave as they always have.
    bool UntrustedCaller() const { return untrustedCaller_; }
    void SetUntrustedCaller(bool untrusted) { untrustedCaller_ = untrusted; }

protected:
    ~VersionInfo() = default;

private:
    // Discards the loaded data and loads the version resource of the file that Path names.
    HRESULT LoadVersionInfo();
    void FreeVersionInfo();
    bool Loaded() const { return fixed_ != nullptr; }
    // Bytes that may be read from `data` on, to the end of the version block; 0 outside it.
    size_t ReadableFrom(const void* data) const;
    // True when [data, data + size) lies inside the version block.
    bool InBlock(const void* data, size_t size) const;
    // Reads one fixed field, or reports that no data is loaded.
    HRESULT ReadFixed(DWORD VS_FIXEDFILEINFO::*field, LONG* ret);
    // A standard string value by name (the property and value names are the same).
    HRESULT ReadString(const char* valueName, BSTR* ret);
    // Looks `name` up under block `key` (null: StringFileInfo) and the current translation,
    // falling back once to U.S. English in code page 1252.
    HRESULT QueryString(const char* name, BSTR* result, const char* key);
    // Looks up one value path; S_FALSE when the path does not exist.
    HRESULT LookupValue(const char* name, const char* key, USHORT language, USHORT codepage,
                        BSTR* result);

    AnsiCachedString path_;
    USHORT language_ = kDefaultLanguage;
    USHORT codepage_ = kDefaultCodepage;
    USHORT fileLanguage_ = kDefaultLanguage;
    std::unique_ptr<BYTE[]> block_;
    size_t blockSize_ = 0;
    const VS_FIXEDFILEINFO* fixed_ = nullptr;
    bool untrustedCaller_ = false;
};

}  // namespace vinspect
