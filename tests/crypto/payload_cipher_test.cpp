#include "crypto/payload_cipher.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "crypto/payload_key.h"
#include "crypto/rijndael.h"

namespace corvane {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

Bytes Counting(size_t n) {  // 00 01 02 ...
    Bytes bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i);
    return bytes;
}

Bytes RandomBytes(std::mt19937& engine, size_t n) {
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes bytes(n);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(byte(engine));
    return bytes;
}

PayloadKey RandomKey(std::mt19937& engine) {
    const Bytes bytes = RandomBytes(engine, 32);
    PayloadKey key;
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return key;
}

// AES-256-ECB without padding through OpenSSL, the reference for block size 16.
Bytes OpenSslAes256Ecb(const PayloadKey& key, const Bytes& input, bool encrypt) {
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        &EVP_CIPHER_CTX_free);
    EXPECT_TRUE(ctx);
    EXPECT_EQ(EVP_CipherInit_ex(ctx.get(), EVP_aes_256_ecb(), nullptr, key.data(), nullptr,
                                encrypt ? 1 : 0),
              1);
    EXPECT_EQ(EVP_CIPHER_CTX_set_padding(ctx.get(), 0), 1);
    Bytes output(input.size() + 16);
    int written = 0;
    int finalWritten = 0;
    EXPECT_EQ(EVP_CipherUpdate(ctx.get(), output.data(), &written, input.data(),
                               static_cast<int>(input.size())),
              1);
    EXPECT_EQ(EVP_CipherFinal_ex(ctx.get(), output.data() + written, &finalWritten), 1);
    output.resize(written + finalWritten);
    return output;
}

// --- Check values shared with the server ---

struct CheckValue {
    const char* name;
    int blockSize;
    const char* serverCode;
    const char* cipherHex;  // of the plaintext 00 01 .. 1F
};

class PayloadCipherCheckValue : public testing::TestWithParam<CheckValue> {};

TEST_P(PayloadCipherCheckValue, EnciphersAndDeciphersThePublishedBytes) {
    const CheckValue& value = GetParam();
    const PayloadKey key = BuildPayloadKey(value.serverCode);
    Bytes buffer = Counting(32);
    ASSERT_EQ(EncipherBlocks(buffer.data(), buffer.size(), value.blockSize, key), 0);
    EXPECT_EQ(buffer, FromHex(value.cipherHex));
    ASSERT_EQ(DecipherBlocks(buffer.data(), buffer.size(), value.blockSize, key), 0);
    EXPECT_EQ(buffer, Counting(32));
}

INSTANTIATE_TEST_SUITE_P(
    ProtocolConstants, PayloadCipherCheckValue,
    testing::Values(CheckValue{"Block32BuiltInKey", 32, "",
                               "EBE25F0F16B10080EEAF4FCE59FD27DF8614F1A9B05E712F54FD04D74EE1052E"},
                    CheckValue{"Block16BuiltInKey", 16, "",
                               "0AD536DF1DBE8FA71F73001131116CAC77F913EA2B3A7B387F5A624617A149AD"},
                    CheckValue{"Block32ServerCodeAbc", 32, "ABC",
                               "CF656C6B466707CDCC6A0BD588BD7ABAF63FA5B750F3533FA66244DC4D88CBC3"}),
    [](const testing::TestParamInfo<CheckValue>& info) { return std::string(info.param.name); });

TEST(Rijndael, PublishedVectorBlock32Key32) {
    const Bytes keyBytes =
        FromHex("2B7E151628AED2A6ABF7158809CF4F3C762E7160F38B4DA56A784D9045190CFE");
    const Bytes plain = FromHex("3243F6A8885A308D313198A2E03707344A4093822299F31D0082EFA98EC4E6C8");
    const Bytes cipher =
        FromHex("A49406115DFB30A40418AAFA4869B7C6A886FF31602A7DD19C889DC64F7E4E7A");

    Rijndael rijndael;
    ASSERT_TRUE(rijndael.Init(std::span<const uint8_t, 32>(keyBytes.data(), 32), 32));
    EXPECT_EQ(rijndael.blockSize(), 32);
    Bytes block = plain;
    rijndael.EncryptBlock(block.data());
    EXPECT_EQ(block, cipher);
    rijndael.DecryptBlock(block.data());
    EXPECT_EQ(block, plain);
}

TEST(Rijndael, RefusesUnsupportedBlockSizes) {
    const PayloadKey key = BuildPayloadKey();
    for (int blockSize : {0, 8, 24, 64}) {
        Rijndael rijndael;
        EXPECT_FALSE(rijndael.Init(key, blockSize)) << blockSize;
        EXPECT_EQ(rijndael.blockSize(), 0);
    }
}

// --- Block size 16 is AES-256 ---

TEST(PayloadCipher, Block16MatchesOpenSslAes256Ecb) {
    std::mt19937 engine(20240611);
    for (size_t blocks : {1u, 2u, 4u, 33u}) {
        for (const PayloadKey& key : {BuildPayloadKey(), RandomKey(engine)}) {
            const Bytes plain = RandomBytes(engine, 16 * blocks);
            Bytes buffer = plain;
            ASSERT_EQ(EncipherBlocks(buffer.data(), buffer.size(), 16, key), 0);
            EXPECT_EQ(buffer, OpenSslAes256Ecb(key, plain, true)) << blocks << " blocks";
            EXPECT_EQ(OpenSslAes256Ecb(key, buffer, false), plain);
            ASSERT_EQ(DecipherBlocks(buffer.data(), buffer.size(), 16, key), 0);
            EXPECT_EQ(buffer, plain);
        }
    }
}

// --- Round trips, partial blocks, refusals, for both block sizes ---

class PayloadCipherBlockSize : public testing::TestWithParam<int> {};

TEST_P(PayloadCipherBlockSize, DecipherUndoesEncipher) {
    const int blockSize = GetParam();
    std::mt19937 engine(static_cast<unsigned>(blockSize));
    for (size_t length : {size_t(blockSize), size_t(2 * blockSize), size_t(70), size_t(512)}) {
        const PayloadKey key = RandomKey(engine);
        const Bytes plain = RandomBytes(engine, length);
        Bytes buffer = plain;
        ASSERT_EQ(EncipherBlocks(buffer.data(), buffer.size(), blockSize, key), 0);
        EXPECT_NE(buffer, plain);
        ASSERT_EQ(DecipherBlocks(buffer.data(), buffer.size(), blockSize, key), 0);
        EXPECT_EQ(buffer, plain) << length << " bytes";
    }
}

TEST_P(PayloadCipherBlockSize, SeventyBytesChangeOnlyTheFirstSixtyFour) {
    const int blockSize = GetParam();  // 64 is a whole number of blocks of 16 and of 32
    const PayloadKey key = BuildPayloadKey("ABC");
    std::mt19937 engine(70);
    const Bytes plain = RandomBytes(engine, 70);

    // Expected: each whole block enciphered on its own (ECB), the 6-byte tail untouched.
    Bytes expected = plain;
    for (size_t offset = 0; offset + blockSize <= 64; offset += blockSize) {
        Bytes block(plain.begin() + offset, plain.begin() + offset + blockSize);
        ASSERT_EQ(EncipherBlocks(block.data(), block.size(), blockSize, key), 0);
        std::copy(block.begin(), block.end(), expected.begin() + offset);
    }

    Bytes buffer = plain;
    ASSERT_EQ(EncipherBlocks(buffer.data(), buffer.size(), blockSize, key), 0);
    EXPECT_EQ(buffer, expected);
    EXPECT_TRUE(std::equal(buffer.begin() + 64, buffer.end(), plain.begin() + 64));
    for (size_t offset = 0; offset < 64; offset += blockSize) {
        EXPECT_FALSE(std::equal(buffer.begin() + offset, buffer.begin() + offset + blockSize,
                                plain.begin() + offset))
            << "block at " << offset << " not enciphered";
    }

    ASSERT_EQ(DecipherBlocks(buffer.data(), buffer.size(), blockSize, key), 0);
    EXPECT_EQ(buffer, plain);
}

TEST_P(PayloadCipherBlockSize, BufferShorterThanABlockIsUnchanged) {
    const int blockSize = GetParam();
    const PayloadKey key = BuildPayloadKey();
    for (size_t length : {size_t(0), size_t(1), size_t(blockSize - 1)}) {
        const Bytes plain = Counting(length);
        Bytes buffer = plain;
        EXPECT_EQ(EncipherBlocks(buffer.data(), buffer.size(), blockSize, key), -1);
        EXPECT_EQ(buffer, plain);
        EXPECT_EQ(DecipherBlocks(buffer.data(), buffer.size(), blockSize, key), -1);
        EXPECT_EQ(buffer, plain);
    }
    EXPECT_EQ(EncipherBlocks(nullptr, 0, blockSize, key), -1);
}

INSTANTIATE_TEST_SUITE_P(BothBlockSizes, PayloadCipherBlockSize, testing::Values(16, 32));

TEST(PayloadCipher, RefusesOtherBlockSizesAndLeavesTheBufferAlone) {
    const PayloadKey key = BuildPayloadKey();
    for (int blockSize : {-16, 0, 8, 24, 64}) {
        const Bytes plain = Counting(128);
        Bytes buffer = plain;
        EXPECT_EQ(EncipherBlocks(buffer.data(), buffer.size(), blockSize, key), -1) << blockSize;
        EXPECT_EQ(DecipherBlocks(buffer.data(), buffer.size(), blockSize, key), -1) << blockSize;
        EXPECT_EQ(buffer, plain);
    }
}

}  // namespace
}  // namespace corvane
