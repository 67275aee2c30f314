#include "allocation_counter.h"

#include <cstddef>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
}

namespace {
thread_local bool t_counting = false;
thread_local long t_count = 0;
}  // namespace

extern "C" void* malloc(size_t size) {
    if (t_counting) ++t_count;
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t n, size_t size) {
    if (t_counting) ++t_count;
    return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t size) {
    if (t_counting) ++t_count;
    return __libc_realloc(p, size);
}

namespace corvane::bench {

AllocationCounter::AllocationCounter() {
    t_count = 0;
    t_counting = true;
}
AllocationCounter::~AllocationCounter() { t_counting = false; }
long AllocationCounter::Count() const { return t_count; }

}  // namespace corvane::bench
