// Memory for the buffers of megabytes a session keeps (the frame buffer, the message
// buffers, the decoders' picture buffers): zero-filled, and on Linux aligned to 2 MB and
// marked for transparent huge pages. Touching fresh memory costs one page fault per 4 KB
// page, and on a virtual machine a fault costs microseconds: the first screen of a
// 1920x1080 session touches some 30 MB, which took tens of milliseconds of faults before the
// first picture could be shown. With huge pages it is a few dozen faults.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

class LargeBuffer {
public:
    LargeBuffer() = default;
    // `size` zero bytes; an empty buffer (data() null) when the memory cannot be had or
    // `size` is 0.
    static LargeBuffer Allocate(size_t size);

    ~LargeBuffer();
    LargeBuffer(LargeBuffer&& other) noexcept;
    LargeBuffer& operator=(LargeBuffer&& other) noexcept;
    LargeBuffer(const LargeBuffer&) = delete;
    LargeBuffer& operator=(const LargeBuffer&) = delete;

    [[nodiscard]] uint8_t* data() const { return m_data; }
    [[nodiscard]] size_t size() const { return m_size; }
    explicit operator bool() const { return m_data != nullptr; }

private:
    LargeBuffer(uint8_t* data, size_t size, size_t mapped) : m_data(data), m_size(size), m_mapped(mapped) {}
    void Release();

    uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_mapped = 0;  // bytes mapped at m_data
};

}  // namespace corvane
