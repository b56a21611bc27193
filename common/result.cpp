#include "common/result.h"

namespace vinspect {

HRESULT ResultFromWin32(DWORD error) {
    if (error == ERROR_SUCCESS) return E_FAIL;
    return static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu));
}

HRESULT FailureFromLastError() { return ResultFromWin32(GetLastError()); }

DWORD SystemMessageText(HRESULT code, char* text, DWORD size) {
    if (size == 0) return 0;
    text[0] = '\0';
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(code), 0, text, size - 1, nullptr);
    // A code without a system text leaves the buffer as it was: empty.
    if (length >= size) length = size - 1;
    text[length] = '\0';
    return length;
}

}  // namespace vinspect
