#include "platform/large_buffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <utility>

namespace corvane {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

LargeBuffer LargeBuffer::Allocate(size_t size) {
    if (size == 0 || size > SIZE_MAX - 2 * kHugePage) return {};
    // Mapped with a huge page's room to spare, then cut to a huge-page-aligned span: only
    // whole aligned 2 MB pages can be huge ones.
    const size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    const size_t spare = rounded + kHugePage;
    void* mapped = mmap(nullptr, spare, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return {};
    const auto start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    const size_t head = aligned - start;
    if (head != 0) munmap(mapped, head);
    const size_t tail = spare - head - rounded;
    if (tail != 0) munmap(reinterpret_cast<void*>(aligned + rounded), tail);
    auto* data = reinterpret_cast<uint8_t*>(aligned);
#if defined(MADV_HUGEPAGE)
    // Advice only: where the kernel has no huge pages to give, 4 KB pages serve as before.
    (void)madvise(data, rounded, MADV_HUGEPAGE);
#endif
    return {data, size, rounded};
}

LargeBuffer::~LargeBuffer() { Release(); }

LargeBuffer::LargeBuffer(LargeBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_mapped(std::exchange(other.m_mapped, 0)) {}

LargeBuffer& LargeBuffer::operator=(LargeBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mapped = std::exchange(other.m_mapped, 0);
    }
    return *this;
}

void LargeBuffer::Release() {
    if (m_data != nullptr) munmap(m_data, m_mapped);
    m_data = nullptr;
    m_size = 0;
    m_mapped = 0;
}

}  // namespace corvane
