#include "crypto/payload_cipher.h"

#include "crypto/rijndael.h"

namespace corvane {
namespace {

enum class Direction { kEncipher, kDecipher };

int ProcessBlocks(uint8_t* buffer, size_t length, int blockSize, const PayloadKey& key,
                  Direction direction) {
    if (!Rijndael::IsSupportedBlockSize(blockSize)) return -1;
    const size_t blockBytes = static_cast<size_t>(blockSize);
    if (buffer == nullptr || length < blockBytes) return -1;

    Rijndael cipher;
    if (!cipher.Init(key, blockSize)) return -1;
    for (size_t offset = 0; length - offset >= blockBytes; offset += blockBytes) {
        if (direction == Direction::kEncipher) {
            cipher.EncryptBlock(buffer + offset);
        } else {
            cipher.DecryptBlock(buffer + offset);
        }
    }
    return 0;
}

}  // namespace

int EncipherBlocks(uint8_t* buffer, size_t length, int blockSize, const PayloadKey& key) {
    return ProcessBlocks(buffer, length, blockSize, key, Direction::kEncipher);
}

int DecipherBlocks(uint8_t* buffer, size_t length, int blockSize, const PayloadKey& key) {
    return ProcessBlocks(buffer, length, blockSize, key, Direction::kDecipher);
}

}  // namespace corvane
