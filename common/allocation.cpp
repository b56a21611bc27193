// The allocation functions behind `new (std::nothrow)`, the only form of new the component uses.
// The C++ runtime's own versions call the throwing operator new inside a try block, which links
// the exception runtime into the library and, with a statically linked runtime, the threading
// runtime under it; that one takes a TLS index that no unload of the library gives back. These
// take memory from the C runtime's heap directly, as the runtime's versions do, so the standard
// operator delete frees what they return.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}
