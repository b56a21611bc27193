// Loading a file's version resource, and the properties that select the translation.
#include <cstdint>
#include <new>

#include "common/result.h"
#include "versioninfo/error_report.h"
#include "versioninfo/version_info.h"

namespace vinspect {
namespace {

// The reason a version call just failed, as the load's result. A call that fails without
// leaving a reason is taken as a file without version data: nothing loaded, no failure.
HRESULT LoadFailure() {
    DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? S_OK : ResultFromWin32(error);
}

// Load failures that only mean that the file carries no version resource.
bool MeansNoVersionResource(HRESULT result) {
    return result == HRESULT_FROM_WIN32(ERROR_BAD_FORMAT) ||
           result == HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND) ||
           result == HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND);
}

// "X:\" with any drive letter, and "X:/" too when `slash` is allowed.
bool StartsWithDriveRoot(const char* name, bool slash) {
    const char letter = name[0];
    return ((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) &&
           name[1] == ':' && (name[2] == '\\' || (slash && name[2] == '/'));
}

// Whether `name`, the exact bytes that would reach the version API, names a file on a local
// drive; `full` then holds its canonical full path, which is what an untrusted caller's load
// reads. Only a drive letter with its root is taken: UNC and device forms (\\host, //host,
// \\?\, \\.\, \??\), rooted and drive-relative names, and bare names that the search path would
// resolve are refused before any file is touched. Reserved device names (COM1, nul.txt) come
// back from GetFullPathNameA as \\.\NAME; mapped SMB and WebDAV drives are DRIVE_REMOTE.
bool LocalFilePath(const char* name, char (&full)[MAX_PATH]) {
    if (!StartsWithDriveRoot(name, true)) return false;
    const DWORD length = GetFullPathNameA(name, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH || !StartsWithDriveRoot(full, false)) return false;
    const char root[] = {full[0], ':', '\\', '\0'};
    switch (GetDriveTypeA(root)) {
        case DRIVE_FIXED:
        case DRIVE_REMOVABLE:
        case DRIVE_CDROM:
        case DRIVE_RAMDISK:
            return true;
        default:
            return false;
    }
}

}  // namespace

size_t VersionInfo::ReadableFrom(const void* data) const {
    if (!block_ || data == nullptr) return 0;
    const uintptr_t begin = reinterpret_cast<uintptr_t>(block_.get());
    const uintptr_t at = reinterpret_cast<uintptr_t>(data);
    if (at < begin || at - begin >= blockSize_) return 0;
    return blockSize_ - (at - begin);
}

bool VersionInfo::InBlock(const void* data, size_t size) const {
    const size_t readable = ReadableFrom(data);
    return readable != 0 && size <= readable;
}

void VersionInfo::FreeVersionInfo() {
    block_.reset();
    blockSize_ = 0;
    fixed_ = nullptr;
}

HRESULT VersionInfo::LoadVersionInfo() {
    FreeVersionInfo();
    if (path_.IsNull()) return E_INVALIDARG;

    // The path's ANSI form, made once and kept with it.
    const char* file = nullptr;
    if (FAILED(path_.Ansi(&file))) return E_OUTOFMEMORY;
    // An untrusted caller's name is judged on these very bytes, and the canonical path that the
    // judgement saw is what the platform gets.
    char localPath[MAX_PATH];
    if (untrustedCaller_) {
        if (!LocalFilePath(file, localPath)) return ComponentResult(ComponentError::NotLocalFile);
        file = localPath;
    }

    DWORD handle = 0;
    SetLastError(0);
    DWORD size = GetFileVersionInfoSizeA(file, &handle);
    if (size == 0) return LoadFailure();

    // Cleared, so that no earlier heap content can reach a caller: reads stop at the end of the
    // block at the latest, wherever the platform put a value inside it.
    block_.reset(new (std::nothrow) BYTE[size]());
    if (!block_) return E_OUTOFMEMORY;
    blockSize_ = size;

    SetLastError(0);
    if (!GetFileVersionInfoA(file, handle, size, block_.get())) {
        HRESULT result = LoadFailure();
        FreeVersionInfo();
        return result;
    }
    if (!CheckVersionBlock(block_.get(), size)) {
        FreeVersionInfo();
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }

    void* fixed = nullptr;
    UINT fixedLength = 0;
    if (!VerQueryValueA(block_.get(), "\\", &fixed, &fixedLength) ||
        fixedLength < sizeof(VS_FIXEDFILEINFO) || !InBlock(fixed, sizeof(VS_FIXEDFILEINFO))) {
        FreeVersionInfo();
        return E_UNEXPECTED;
    }
    fixed_ = static_cast<const VS_FIXEDFILEINFO*>(fixed);

    void* table = nullptr;
    UINT tableLength = 0;
    if (VerQueryValueA(block_.get(), "\\VarFileInfo\\Translation", &table, &tableLength) &&
        tableLength >= 4 && InBlock(table, 4)) {
        const BYTE* entry = static_cast<const BYTE*>(table);
        language_ = static_cast<USHORT>(entry[0] | (entry[1] << 8));
        codepage_ = static_cast<USHORT>(entry[2] | (entry[3] << 8));
        fileLanguage_ = language_;
    }
    return S_OK;
}

STDMETHODIMP VersionInfo::get_Path(BSTR* ret) {
    if (ret == nullptr) return E_POINTER;
    *ret = nullptr;
    if (path_.IsNull()) return S_OK;
    *ret = SysAllocString(path_.Wide());
    return *ret != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP VersionInfo::put_Path(BSTR value) {
    if (FAILED(path_.AssignWide(value))) return E_OUTOFMEMORY;
    HRESULT result = LoadVersionInfo();
    if (result == S_OK || MeansNoVersionResource(result)) return S_OK;
    if (result == ComponentResult(ComponentError::NotLocalFile)) {
        return ReportError(ComponentError::NotLocalFile);
    }
    // Every other load failure is a system code, E_UNEXPECTED for a block without fixed
    // information.
    return ReportSystemError(result);
}

STDMETHODIMP VersionInfo::get_Language(short* ret) {
    if (ret == nullptr) return E_POINTER;
    *ret = static_cast<short>(language_);
    return S_OK;
}

STDMETHODIMP VersionInfo::put_Language(short value) {
    language_ = static_cast<USHORT>(value);
    return S_OK;
}

STDMETHODIMP VersionInfo::get_Codepage(short* ret) {
    if (ret == nullptr) return E_POINTER;
    *ret = static_cast<short>(codepage_);
    return S_OK;
}

STDMETHODIMP VersionInfo::put_Codepage(short value) {
    codepage_ = static_cast<USHORT>(value);
    return S_OK;
}

STDMETHODIMP VersionInfo::get_InfoExist(VARIANT_BOOL* ret) {
    if (ret == nullptr) return E_POINTER;
    *ret = Loaded() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

}  // namespace vinspect
