#include "common/text.h"

#include <new>

namespace vinspect {

HRESULT WideFromAnsi(const char* text, int byteCount, BSTR* out) {
    *out = nullptr;
    if (text == nullptr) text = "";
    if (byteCount < 0) byteCount = lstrlenA(text);
    int needed = byteCount > 0 ? MultiByteToWideChar(CP_ACP, 0, text, byteCount, nullptr, 0) : 0;
    if (needed < 0) needed = 0;
    BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(needed));
    if (result == nullptr) return E_OUTOFMEMORY;
    int written = needed > 0 ? MultiByteToWideChar(CP_ACP, 0, text, byteCount, result, needed) : 0;
    if (written != needed) {
        // A text that cannot be converted comes out empty.
        SysFreeString(result);
        result = SysAllocStringLen(L"", 0);
        if (result == nullptr) return E_OUTOFMEMORY;
    }
    *out = result;
    return S_OK;
}

HRESULT AnsiFromWide(const wchar_t* text, AnsiText* out) {
    out->reset();
    if (text == nullptr) return S_OK;
    int needed = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) needed = 1;
    AnsiText result(new (std::nothrow) char[static_cast<size_t>(needed)]);
    if (!result) return E_OUTOFMEMORY;
    result[0] = '\0';
    int written = WideCharToMultiByte(CP_ACP, 0, text, -1, result.get(), needed, nullptr, nullptr);
    if (written <= 0) result[0] = '\0';
    result[needed - 1] = '\0';
    *out = std::move(result);
    return S_OK;
}

HRESULT AnsiCachedString::AssignWide(const wchar_t* text) {
    Clear();
    if (text == nullptr) return S_OK;
    wide_.Reset(SysAllocString(text));
    return wide_.Get() != nullptr ? S_OK : E_OUTOFMEMORY;
}

void AnsiCachedString::Clear() {
    wide_.Reset();
    ansi_.reset();
}

HRESULT AnsiCachedString::Ansi(const char** out) {
    *out = nullptr;
    if (wide_.Get() == nullptr) return S_OK;
    if (!ansi_) {
        HRESULT hr = AnsiFromWide(wide_.Get(), &ansi_);
        if (FAILED(hr)) return hr;
    }
    *out = ansi_.get();
    return S_OK;
}

}  // namespace vinspect
