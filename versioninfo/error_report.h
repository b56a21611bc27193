// Failure reporting of the VersionInfo object: a description from the system's message table or
// from the component's string table, attached to the calling thread as an automation error object.
#pragma once

#include <windows.h>

namespace vinspect {

// The component's own error numbers: ids of its string table. They are numbers, not result
// codes; ComponentResult turns one into the result code that callers see.
enum class ComponentError : WORD {
    FileNameNotSpecified = 1001,
    // An untrusted caller named something other than a file on a local drive: one refusal for
    // every reason, so that it tells nothing about which drives or shares exist.
    NotLocalFile = 1002,
};

// 0x80040000 | number: severity error, FACILITY_ITF, the number as the code.
constexpr HRESULT ComponentResult(ComponentError number) {
    return static_cast<HRESULT>(0x80040000u | static_cast<WORD>(number));
}

// The module whose string table holds the component's error texts. Set once by whoever serves
// the object (the library's own module); until then the calling program's.
void SetErrorTextModule(HINSTANCE module);

// Installs an error object of the VersionInfo class with the string table's text for `number` and
// returns ComponentResult(number).
HRESULT ReportError(ComponentError number);

// Installs an error object of the VersionInfo class with the system's text for `code` (empty when
// the system has none) and returns `code` unchanged, whatever its facility.
HRESULT ReportSystemError(HRESULT code);

// Builds and installs an error object with the class's ProgID as source (none when the class has
// no registered ProgID) and the given ANSI description; returns `resultCode`.
HRESULT RaiseErrorInfo(REFCLSID classId, const char* description, REFGUID interfaceId,
                       HRESULT resultCode);

}  // namespace vinspect
