// Text conversions between the system ANSI code page and UTF-16, and the automation string
// that keeps an ANSI copy of itself. The library uses the ANSI forms of the platform's calls
// throughout; texts are widened only at the automation boundary.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <memory>

#include "common/handles.h"

namespace vinspect {

// Heap text in the system ANSI code page.
using AnsiText = std::unique_ptr<char[]>;

// Converts `byteCount` bytes of ANSI text (-1: up to its NUL, which the string does not take)
// into a new automation string. A text that cannot be converted yields an empty string; only a
// failed allocation fails.
HRESULT WideFromAnsi(const char* text, int byteCount, BSTR* out);

// Converts a NUL-terminated wide text to heap ANSI text. A null text yields a null result; a text
// that cannot be converted yields an empty one; only a failed allocation fails.
HRESULT AnsiFromWide(const wchar_t* text, AnsiText* out);

// An automation string paired with an ANSI copy that is made on first request and kept until
// the string is replaced or cleared.
class AnsiCachedString {
public:
    // Stores a copy of `text` up to its first NUL (null stays null). Fails with E_OUTOFMEMORY,
    // leaving the string null, when a non-null text cannot be copied.
    HRESULT AssignWide(const wchar_t* text);
    void Clear();

    BSTR Wide() const { return wide_.Get(); }
    bool IsNull() const { return wide_.Get() == nullptr; }
    // The ANSI form, converted once and cached; null for a null string.
    HRESULT Ansi(const char** out);

private:
    Bstr wide_;
    AnsiText ansi_;
};

}  // namespace vinspect
