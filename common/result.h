// Result codes from the platform's error numbers, and the system's texts for result codes.
#pragma once

#include <windows.h>

namespace vinspect {

// A Win32 error number as a result code: 0x80070000 | (error & 0xFFFF). Error 0, which names no
// failure, gives E_FAIL: a failed call is never reported as success.
HRESULT ResultFromWin32(DWORD error);

// The last error of a call that has just failed, as a result code (E_FAIL when it left none).
HRESULT FailureFromLastError();

// Copies the system's message text for `code` into `text` (at most `size` - 1 bytes, always
// terminated) and returns its length; 0 and an empty text when the system has none.
DWORD SystemMessageText(HRESULT code, char* text, DWORD size);

}  // namespace vinspect
