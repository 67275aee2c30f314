#include "crypto/payload_key.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

// Check values shared with the server.
constexpr PayloadKey kBuiltInKey = {
    0x06, 0x64, 0x7A, 0x2A, 0x5F, 0xAD, 0x1F, 0xFC, 0x91, 0x23, 0x8A, 0xD3, 0x50, 0x5F, 0x18, 0xEA,
    0xD6, 0xC3, 0x41, 0x92, 0x8C, 0xDB, 0x21, 0xFA, 0xB6, 0x35, 0xF5, 0x29, 0x1F, 0x64, 0xCF, 0x8C,
};
constexpr PayloadKey kKeyWithAbc = {
    0x47, 0x26, 0x39, 0x2A, 0x5F, 0xAD, 0x1F, 0xFC, 0x91, 0x23, 0x8A, 0xD3, 0x50, 0x5F, 0x18, 0xEA,
    0xD6, 0xC3, 0x41, 0x92, 0x8C, 0xDB, 0x21, 0xFA, 0xB6, 0x35, 0xF5, 0x29, 0x1F, 0x64, 0xCF, 0x8C,
};

TEST(PayloadKey, BuiltInKeyMatchesCheckValue) {
    EXPECT_EQ(BuildPayloadKey(), kBuiltInKey);
    EXPECT_EQ(BuildPayloadKey(""), kBuiltInKey);
}

TEST(PayloadKey, ServerCodeAbcMatchesCheckValue) {
    EXPECT_EQ(BuildPayloadKey("ABC"), kKeyWithAbc);
}

TEST(PayloadKey, OnlyTheFirstSixteenCodeBytesAreMixedIn) {
    const std::string code = "0123456789ABCDEFGHIJKLMN";  // 24 characters
    const PayloadKey key = BuildPayloadKey(code);
    for (size_t k = 0; k < key.size(); ++k) {
        const uint8_t expected =
            k < 16 ? kBuiltInKey[k] ^ static_cast<uint8_t>(code[k]) : kBuiltInKey[k];
        EXPECT_EQ(key[k], expected) << "key byte " << k;
    }
    EXPECT_EQ(BuildPayloadKey(code.substr(0, 16)), key);
}

}  // namespace
}  // namespace corvane
