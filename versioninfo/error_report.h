// Failure reporting of the VersionInfo object: a description from the system's message table or
// from the component's string table, attached to the calling thread as an automation error object.
#pragma once

#include <windows.h>

namespace vinspect {

// The component's own error numbers: string-table ids, returned as 0x80040000 | id.
constexpr HRESULT kFileNameNotSpecified = 1001;

// Turns a component error number into its result code.
constexpr HRESULT ComponentResult(HRESULT number) {
    return static_cast<HRESULT>(0x80040000u | (static_cast<unsigned>(number) & 0xFFFFu));
}

// Installs an error object for `code` and returns the result code the caller should return.
// Codes with a system facility are described by the system and returned unchanged; anything else
// is a component error number, described by the string table (with optional inserts) and
// returned as 0x80040000 | number.
HRESULT ReportError(REFCLSID classId, HRESULT code, const wchar_t* insert1 = nullptr,
                    const wchar_t* insert2 = nullptr);

// Installs an error object with the system's text for `code` (empty when the system has none)
// and returns `code` unchanged.
HRESULT ReportSystemError(REFCLSID classId, HRESULT code);

// Builds and installs an error object with the class's ProgID as source (none when the class has
// no registered ProgID) and the given ANSI description; returns `resultCode`.
HRESULT RaiseErrorInfo(REFCLSID classId, const char* description, REFGUID interfaceId,
                       HRESULT resultCode);

}  // namespace vinspect
