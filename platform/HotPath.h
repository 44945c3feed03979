// Marks the functions that every written line runs, so that the linker keeps them together
// (GCC and Clang give them a section of hot code of their own). Each line makes a system call,
// and where the kernel isolates its page tables without PCID that call empties the TLB: every
// page a line touches afterwards costs a walk of the page tables, so a line's code is kept on as
// few pages as it fits.
#pragma once

// VTLOG_RARE marks what a line's path calls only now and then (opening a file, adding an
// operation): out of line and away from the hot code. VTLOG_APART keeps a part that some lines
// take every time out of line only, so that the path of the others stays compact.
// VTLOG_WHOLE makes one function of a line's path: with GCC every call in it is inlined, down
// to the calls marked VTLOG_RARE or VTLOG_APART, which stay calls; across source files only with
// link-time optimisation (VTLOG_LTO). Clang 14 inlines one level of calls only.
#if defined(__GNUC__)
#define VTLOG_HOT __attribute__((hot))
#define VTLOG_RARE __attribute__((cold, noinline))
#define VTLOG_APART __attribute__((noinline))
#define VTLOG_WHOLE __attribute__((flatten))
#else
#define VTLOG_HOT
#define VTLOG_RARE
#define VTLOG_APART
#define VTLOG_WHOLE
#endif

namespace VTLogAdapter {

// The address of a thread-local object, computed once where it is called. In a shared library
// each computation is a call of the loader's __tls_get_addr, and the compiler repeats it for
// each use of the object; the empty asm makes the address opaque, so every use takes this one.
template <typename T>
inline T* ThreadLocalAddress(T& object) {
    T* address = &object;
#if defined(__GNUC__)
    asm("" : "+r"(address));
#endif
    return address;
}

}  // namespace VTLogAdapter
