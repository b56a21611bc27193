// Failure reporting of the VersionInfo object: a description from the system's message table or
// from the component's string table, attached to the calling thread as an automation error object.
#pragma once

#include <windows.h>

namespace vinspect {

// The component's own error numbers: ids of its string table. They are numbers, not result
// codes; ComponentResult turns one into the result code that callers see.
enum class ComponentError : WORD {
    FileNameNotSpecified = 1001,
};

// 0x80040000 | number: severity error, FACILITY_ITF, the number as the code.
constexpr HRESULT ComponentResult(ComponentError number) {
    return static_cast<HRESULT>(0x80040000u | static_cast<WORD>(number));
}

// The module whose string table holds the component's error texts. Set once by whoever serves
// the object (the library's own module); until then the calling program's.
void SetErrorTextModule(HINSTANCE module);

// Installs an error object for the result code `code` and returns the code the caller should
// return. A code with a system facility is described by the system and returned unchanged; any
// other is taken as a component error number (its low 16 bits).
HRESULT ReportError(REFCLSID classId, HRESULT code);

// Installs an error object with the string table's text for `number` (formatted with the
// optional inserts) and returns ComponentResult(number).
HRESULT ReportError(REFCLSID classId, ComponentError number, const wchar_t* insert1 = nullptr,
                    const wchar_t* insert2 = nullptr);

// Installs an error object with the system's text for `code` (empty when the system has none)
// and returns `code` unchanged, whatever its facility.
HRESULT ReportSystemError(REFCLSID classId, HRESULT code);

// Builds and installs an error object with the class's ProgID as source (none when the class has
// no registered ProgID) and the given ANSI description; returns `resultCode`.
HRESULT RaiseErrorInfo(REFCLSID classId, const char* description, REFGUID interfaceId,
                       HRESULT resultCode);

}  // namespace vinspect
