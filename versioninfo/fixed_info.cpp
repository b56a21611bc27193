// The language-independent fields of the version resource (VS_FIXEDFILEINFO).
#include "versioninfo/automation_date.h"
#include "versioninfo/error_report.h"
#include "versioninfo/version_info.h"

namespace vinspect {
namespace {

// Name of the windowing layer in the low word of dwFileOS; the base system is not named.
const wchar_t* OperatingSystemName(DWORD fileOS) {
    switch (LOWORD(fileOS)) {
        case VOS__WINDOWS16: return L"Win16";
        case VOS__PM16: return L"PM-16";
        case VOS__PM32: return L"PM-32";
        case VOS__WINDOWS32: return L"Win32";
        default: return L"Unknown";
    }
}

}  // namespace

HRESULT VersionInfo::ReadFixed(DWORD VS_FIXEDFILEINFO::*field, LONG* ret) {
    if (ret == nullptr) return E_POINTER;
    if (!Loaded()) return ReportError(ComponentError::FileNameNotSpecified);
    *ret = static_cast<LONG>(fixed_->*field);
    return S_OK;
}

STDMETHODIMP VersionInfo::get_FileVersionHigh(LONG* ret) {
    return ReadFixed(&VS_FIXEDFILEINFO::dwFileVersionMS, ret);
}
STDMETHODIMP VersionInfo::get_FileVersionLow(LONG* ret) {
    return ReadFixed(&VS_FIXEDFILEINFO::dwFileVersionLS, ret);
}
STDMETHODIMP VersionInfo::get_ProductVersionHigh(LONG* ret) {
    return ReadFixed(&VS_FIXEDFILEINFO::dwProductVersionMS, ret);
}
STDMETHODIMP VersionInfo::get_ProductVersionLow(LONG* ret) {
    return ReadFixed(&VS_FIXEDFILEINFO::dwProductVersionLS, ret);
}
STDMETHODIMP VersionInfo::get_FileFlagsMask(LONG* ret) {
    return ReadFixed(&VS_FIXEDFILEINFO::dwFileFlagsMask, ret);
}
STDMETHODIMP VersionInfo::get_FileFlags(LONG* ret) {
    return ReadFixed(&VS_FIXEDFILEINFO::dwFileFlags, ret);
}
STDMETHODIMP VersionInfo::get_FileOS(LONG* ret) {
    return ReadFixed(&VS_FIXEDFILEINFO::dwFileOS, ret);
}
STDMETHODIMP VersionInfo::get_FileType(LONG* ret) {
    return ReadFixed(&VS_FIXEDFILEINFO::dwFileType, ret);
}
STDMETHODIMP VersionInfo::get_FileSubtype(LONG* ret) {
    return ReadFixed(&VS_FIXEDFILEINFO::dwFileSubtype, ret);
}

STDMETHODIMP VersionInfo::get_FileOSString(BSTR* ret) {
    if (ret == nullptr) return E_POINTER;
    *ret = nullptr;
    if (!Loaded()) return ReportError(ComponentError::FileNameNotSpecified);
    *ret = SysAllocString(OperatingSystemName(fixed_->dwFileOS));
    return *ret != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP VersionInfo::get_FileDate(VARIANT* ret) {
    if (ret == nullptr) return E_POINTER;
    VariantInit(ret);
    if (!Loaded()) return ReportError(ComponentError::FileNameNotSpecified);
    FILETIME fileTime{fixed_->dwFileDateLS, fixed_->dwFileDateMS};
    double date = 0;
    if (FAILED(ToAutomationDate(fileTime, &date))) return E_UNEXPECTED;
    V_VT(ret) = VT_DATE;
    V_DATE(ret) = date;
    return S_OK;
}

}  // namespace vinspect
