#include "platform/large_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace corvane {
namespace {

TEST(LargeBufferTest, IsZeroAlignedForHugePagesAndWritableToItsLastByte) {
    const size_t size = (size_t{5} << 20) + 3;  // not a whole number of huge pages
    LargeBuffer buffer = LargeBuffer::Allocate(size);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer.size(), size);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data()) % (uintptr_t{2} << 20), 0u);
    EXPECT_TRUE(std::all_of(buffer.data(), buffer.data() + size, [](uint8_t b) { return b == 0; }));
    buffer.data()[size - 1] = 0xAB;

    LargeBuffer moved = std::move(buffer);
    EXPECT_FALSE(buffer);  // NOLINT(bugprone-use-after-move): a moved-from buffer is empty
    EXPECT_EQ(moved.data()[size - 1], 0xAB);
    moved = LargeBuffer::Allocate(4096);  // the old mapping goes; the new one is fresh
    EXPECT_EQ(moved.size(), 4096u);
    EXPECT_EQ(moved.data()[4095], 0);
}

TEST(LargeBufferTest, SizesThatCannotBeHadGiveAnEmptyBuffer) {
    for (const size_t size : {size_t{0}, SIZE_MAX, SIZE_MAX / 2}) {
        const LargeBuffer buffer = LargeBuffer::Allocate(size);
        EXPECT_FALSE(buffer) << size;
        EXPECT_EQ(buffer.data(), nullptr);
        EXPECT_EQ(buffer.size(), 0u);
    }
}

}  // namespace
}  // namespace corvane
