// Rijndael, the reference cipher with selectable block size, restricted to what the payload
// cipher needs: a 32-byte key (Nk = 8, Nr = 14) and blocks of 16 bytes (Nb = 4, which is
// AES-256) or 32 bytes (Nb = 8).
//
// An object holds one key schedule and nothing else; it never allocates. A set-up object may
// be used from several threads at once (encrypting and decrypting do not change it). The
// round keys are wiped when the object is destroyed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace corvane {

class Rijndael {
  public:
    static constexpr size_t kKeySize = 32;
    static constexpr int kRounds = 14;
    static constexpr int kMaxBlockSize = 32;

    // True for the two block sizes this implementation supports, 16 and 32.
    [[nodiscard]] static constexpr bool IsSupportedBlockSize(int blockSize) {
        return blockSize == 16 || blockSize == 32;
    }

    Rijndael() = default;
    ~Rijndael();
    Rijndael(const Rijndael&) = default;
    Rijndael& operator=(const Rijndael&) = default;

    // Computes the key schedule. False, leaving the object unusable, when the block size is
    // not supported.
    [[nodiscard]] bool Init(std::span<const uint8_t, kKeySize> key, int blockSize);

    // The block size in bytes given to Init; 0 before a successful Init.
    [[nodiscard]] int blockSize() const { return 4 * m_columns; }

    // Encrypt or decrypt one block of blockSize() bytes in place. Nothing happens before a
    // successful Init.
    void EncryptBlock(uint8_t* block) const;
    void DecryptBlock(uint8_t* block) const;

  private:
    // Room for the round keys of 32-byte blocks; (kRounds + 1) * blockSize() bytes are used.
    static constexpr size_t kRoundKeyBytes = kMaxBlockSize * (kRounds + 1);
    using RoundKeys = std::array<uint8_t, kRoundKeyBytes>;

    int m_columns = 0;  // Nb: 4 or 8 once set up, 0 before
    RoundKeys m_roundKeys{};
};

}  // namespace corvane
