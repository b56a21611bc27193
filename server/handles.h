// Small owners for platform handles and allocations. Each releases what it holds exactly once,
// when it goes out of scope or is reset; none of them throws.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace vinspect {

// Owns an automation string (SysAllocString / SysFreeString).
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(BSTR owned) : value_(owned) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : value_(other.Release()) {}
    Bstr& operator=(Bstr&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ~Bstr() { Reset(); }

    BSTR Get() const { return value_; }
    BSTR* Out() {
        Reset();
        return &value_;
    }
    BSTR Release() { return std::exchange(value_, nullptr); }
    void Reset(BSTR owned = nullptr) {
        if (value_ != nullptr) SysFreeString(value_);
        value_ = owned;
    }
    UINT Length() const { return SysStringLen(value_); }

private:
    BSTR value_ = nullptr;
};

// Owns an open registry key. Predefined root keys are never handed to it.
class RegKey {
public:
    RegKey() = default;
    explicit RegKey(HKEY owned) : value_(owned) {}
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    RegKey(RegKey&& other) noexcept : value_(other.Release()) {}
    RegKey& operator=(RegKey&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ~RegKey() { Reset(); }

    HKEY Get() const { return value_; }
    HKEY* Out() {
        Reset();
        return &value_;
    }
    HKEY Release() { return std::exchange(value_, nullptr); }
    // Closes the key and returns the platform's result (ERROR_SUCCESS when nothing was open).
    LONG Close() {
        HKEY key = Release();
        return key != nullptr ? RegCloseKey(key) : ERROR_SUCCESS;
    }
    void Reset(HKEY owned = nullptr) {
        Close();
        value_ = owned;
    }

private:
    HKEY value_ = nullptr;
};

// Owns a loaded module (FreeLibrary).
class ModuleHandle {
public:
    ModuleHandle() = default;
    explicit ModuleHandle(HMODULE owned) : value_(owned) {}
    ModuleHandle(const ModuleHandle&) = delete;
    ModuleHandle& operator=(const ModuleHandle&) = delete;
    ~ModuleHandle() {
        if (value_ != nullptr) FreeLibrary(value_);
    }
    HMODULE Get() const { return value_; }

private:
    HMODULE value_ = nullptr;
};

// Owns a block of task memory (CoTaskMemAlloc / CoTaskMemFree).
template <typename T>
class CoTaskMem {
public:
    CoTaskMem() = default;
    explicit CoTaskMem(T* owned) : value_(owned) {}
    CoTaskMem(const CoTaskMem&) = delete;
    CoTaskMem& operator=(const CoTaskMem&) = delete;
    CoTaskMem(CoTaskMem&& other) noexcept : value_(other.Release()) {}
    CoTaskMem& operator=(CoTaskMem&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ~CoTaskMem() { Reset(); }

    T* Get() const { return value_; }
    T** Out() {
        Reset();
        return &value_;
    }
    T* Release() { return std::exchange(value_, nullptr); }
    void Reset(T* owned = nullptr) {
        if (value_ != nullptr) CoTaskMemFree(value_);
        value_ = owned;
    }

private:
    T* value_ = nullptr;
};

// Holds one reference to a COM interface.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* owned) : value_(owned) {}
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& other) noexcept : value_(other.Release()) {}
    ComRef& operator=(ComRef&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ~ComRef() { Reset(); }

    T* Get() const { return value_; }
    T* operator->() const { return value_; }
    explicit operator bool() const { return value_ != nullptr; }
    T** Out() {
        Reset();
        return &value_;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    T* Release() { return std::exchange(value_, nullptr); }
    void Reset(T* owned = nullptr) {
        if (value_ != nullptr) value_->Release();
        value_ = owned;
    }

private:
    T* value_ = nullptr;
};

// A critical section that lives as long as its owner.
class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CRITICAL_SECTION& Native() { return section_; }

private:
    CRITICAL_SECTION section_;
};

// Holds a critical section for the lifetime of a scope.
class SectionGuard {
public:
    explicit SectionGuard(CRITICAL_SECTION& section) : section_(section) {
        EnterCriticalSection(&section_);
    }
    explicit SectionGuard(CriticalSection& section) : SectionGuard(section.Native()) {}
    SectionGuard(const SectionGuard&) = delete;
    SectionGuard& operator=(const SectionGuard&) = delete;
    ~SectionGuard() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION& section_;
};

}  // namespace vinspect
