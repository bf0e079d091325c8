#pragma once
// Counts every allocation of the benchmark process through the global allocator: how many,
// how many bytes were asked for, and the peak of live bytes. Include it in exactly one file
// of a benchmark program, since it replaces operator new and delete.
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace heapcount {

inline std::atomic<std::size_t> allocations{0};
inline std::atomic<std::size_t> requested{0};
inline std::atomic<std::size_t> live{0};
inline std::atomic<std::size_t> peak{0};

// What happened between its construction and now; the peak is counted from the live bytes
// at construction.
struct Scope {
    std::size_t allocations0 = allocations, requested0 = requested, live0 = live;
    Scope() { peak = live0; }
    std::size_t allocationcount() const { return allocations - allocations0; }
    std::size_t requestedbytes() const { return requested - requested0; }
    std::size_t peakbytes() const { return peak > live0 ? peak - live0 : 0; }
};

} // namespace heapcount

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // malloc/free pair, as the replacements must
void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    ++heapcount::allocations;
    heapcount::requested += size;
    const std::size_t now = heapcount::live += malloc_usable_size(p);
    std::size_t top = heapcount::peak.load();
    while (now > top && !heapcount::peak.compare_exchange_weak(top, now)) {
    }
    return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept {
    if (!p) return;
    heapcount::live -= malloc_usable_size(p);
    std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }
#pragma GCC diagnostic pop
