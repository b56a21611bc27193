// Owners for platform handles and allocations, and the lock types. Each owner releases what it
// holds exactly once, when it goes out of scope or is reset; none of them throws.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <memory>
#include <utility>

namespace vinspect {

// Owns one handle of type `Handle` (a pointer type, null when empty) and gives it back with
// `Free` when the owner goes out of scope, is reset, or is assigned another handle.
template <typename Handle, auto Free>
class Owner {
public:
    Owner() = default;
    explicit Owner(Handle owned) noexcept : value_(owned) {}
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    Owner(Owner&& other) noexcept : value_(other.Release()) {}
    Owner& operator=(Owner&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ~Owner() { Reset(); }

    Handle Get() const noexcept { return value_; }
    Handle operator->() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != nullptr; }
    // Frees what is held and lends the slot to a call that returns a new handle through it.
    Handle* Out() noexcept {
        Reset();
        return &value_;
    }
    void** OutVoid() noexcept { return reinterpret_cast<void**>(Out()); }
    // Gives up ownership without freeing.
    [[nodiscard]] Handle Release() noexcept { return std::exchange(value_, nullptr); }
    void Reset(Handle owned = nullptr) noexcept {
        if (value_ != nullptr) Free(value_);
        value_ = owned;
    }

private:
    Handle value_ = nullptr;
};

// The release functions. The owners name these rather than the platform's functions, whose
// imported addresses not every compiler takes as a template argument.
inline void FreeBstr(BSTR text) noexcept { SysFreeString(text); }
inline void CloseKey(HKEY key) noexcept { RegCloseKey(key); }
inline void FreeLoadedModule(HMODULE module) noexcept { FreeLibrary(module); }
inline void FreeTaskMemory(void* block) noexcept { CoTaskMemFree(block); }
template <typename Interface>
void ReleaseInterface(Interface* reference) noexcept {
    reference->Release();
}

using Bstr = Owner<BSTR, FreeBstr>;
// A registry key opened or created by the program; predefined root keys are never handed to it.
using RegKey = Owner<HKEY, CloseKey>;
using ModuleHandle = Owner<HMODULE, FreeLoadedModule>;
template <typename T>
using CoTaskMem = Owner<T*, FreeTaskMemory>;
// One reference to a COM interface.
template <typename Interface>
using ComRef = Owner<Interface*, ReleaseInterface<Interface>>;
// An array from `new (std::nothrow) T[count]`: null when the allocation failed.
template <typename T>
using HeapArray = std::unique_ptr<T[]>;

// A critical section that lives as long as its owner.
class CriticalSection {
public:
    CriticalSection() noexcept { InitializeCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    ~CriticalSection() { DeleteCriticalSection(&section_); }

private:
    friend class SectionGuard;
    CRITICAL_SECTION section_;
};

// Holds a critical section for the lifetime of a scope.
class SectionGuard {
public:
    explicit SectionGuard(CriticalSection& section) noexcept : section_(section.section_) {
        EnterCriticalSection(&section_);
    }
    SectionGuard(const SectionGuard&) = delete;
    SectionGuard& operator=(const SectionGuard&) = delete;
    ~SectionGuard() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION& section_;
};

}  // namespace vinspect
