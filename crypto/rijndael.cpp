#include "crypto/rijndael.h"

#include <cstring>

namespace corvane {
namespace {

// The state is kept as the bytes of the block: byte r + 4 * c is row r of column c, exactly
// the order of the input, as in the reference description.

constexpr std::array<uint8_t, 256> kSBox = {
    0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5, 0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76,
    0xca, 0x82, 0xc9, 0x7d, 0xfa, 0x59, 0x47, 0xf0, 0xad, 0xd4, 0xa2, 0xaf, 0x9c, 0xa4, 0x72, 0xc0,
    0xb7, 0xfd, 0x93, 0x26, 0x36, 0x3f, 0xf7, 0xcc, 0x34, 0xa5, 0xe5, 0xf1, 0x71, 0xd8, 0x31, 0x15,
    0x04, 0xc7, 0x23, 0xc3, 0x18, 0x96, 0x05, 0x9a, 0x07, 0x12, 0x80, 0xe2, 0xeb, 0x27, 0xb2, 0x75,
    0x09, 0x83, 0x2c, 0x1a, 0x1b, 0x6e, 0x5a, 0xa0, 0x52, 0x3b, 0xd6, 0xb3, 0x29, 0xe3, 0x2f, 0x84,
    0x53, 0xd1, 0x00, 0xed, 0x20, 0xfc, 0xb1, 0x5b, 0x6a, 0xcb, 0xbe, 0x39, 0x4a, 0x4c, 0x58, 0xcf,
    0xd0, 0xef, 0xaa, 0xfb, 0x43, 0x4d, 0x33, 0x85, 0x45, 0xf9, 0x02, 0x7f, 0x50, 0x3c, 0x9f, 0xa8,
    0x51, 0xa3, 0x40, 0x8f, 0x92, 0x9d, 0x38, 0xf5, 0xbc, 0xb6, 0xda, 0x21, 0x10, 0xff, 0xf3, 0xd2,
    0xcd, 0x0c, 0x13, 0xec, 0x5f, 0x97, 0x44, 0x17, 0xc4, 0xa7, 0x7e, 0x3d, 0x64, 0x5d, 0x19, 0x73,
    0x60, 0x81, 0x4f, 0xdc, 0x22, 0x2a, 0x90, 0x88, 0x46, 0xee, 0xb8, 0x14, 0xde, 0x5e, 0x0b, 0xdb,
    0xe0, 0x32, 0x3a, 0x0a, 0x49, 0x06, 0x24, 0x5c, 0xc2, 0xd3, 0xac, 0x62, 0x91, 0x95, 0xe4, 0x79,
    0xe7, 0xc8, 0x37, 0x6d, 0x8d, 0xd5, 0x4e, 0xa9, 0x6c, 0x56, 0xf4, 0xea, 0x65, 0x7a, 0xae, 0x08,
    0xba, 0x78, 0x25, 0x2e, 0x1c, 0xa6, 0xb4, 0xc6, 0xe8, 0xdd, 0x74, 0x1f, 0x4b, 0xbd, 0x8b, 0x8a,
    0x70, 0x3e, 0xb5, 0x66, 0x48, 0x03, 0xf6, 0x0e, 0x61, 0x35, 0x57, 0xb9, 0x86, 0xc1, 0x1d, 0x9e,
    0xe1, 0xf8, 0x98, 0x11, 0x69, 0xd9, 0x8e, 0x94, 0x9b, 0x1e, 0x87, 0xe9, 0xce, 0x55, 0x28, 0xdf,
    0x8c, 0xa1, 0x89, 0x0d, 0xbf, 0xe6, 0x42, 0x68, 0x41, 0x99, 0x2d, 0x0f, 0xb0, 0x54, 0xbb, 0x16,
};

constexpr std::array<uint8_t, 256> InvertSBox() {
    std::array<uint8_t, 256> inverse{};
    for (int i = 0; i < 256; ++i) {
        inverse[kSBox[i]] = static_cast<uint8_t>(i);
    }
    return inverse;
}
constexpr std::array<uint8_t, 256> kInvSBox = InvertSBox();

// Multiplication by x (that is, by 2) in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.
constexpr uint8_t XTime(uint8_t a) {
    return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1b : 0x00));
}

constexpr uint8_t Multiply(uint8_t a, uint8_t b) {
    uint8_t product = 0;
    while (b != 0) {
        if (b & 1) product ^= a;
        a = XTime(a);
        b >>= 1;
    }
    return product;
}

// ShiftRows moves row r left by this many columns: 0, 1, 2, 3 for Nb = 4; 0, 1, 3, 4 for
// Nb = 8.
constexpr int RowShift(int row, int columns) {
    constexpr int kShift4[4] = {0, 1, 2, 3};
    constexpr int kShift8[4] = {0, 1, 3, 4};
    return columns == 8 ? kShift8[row] : kShift4[row];
}

void AddRoundKey(uint8_t* state, const uint8_t* roundKey, int bytes) {
    for (int i = 0; i < bytes; ++i) state[i] ^= roundKey[i];
}

// SubBytes followed by ShiftRows (the two commute), through a scratch copy.
void SubBytesShiftRows(uint8_t* state, int columns) {
    uint8_t in[Rijndael::kMaxBlockSize];
    std::memcpy(in, state, 4 * columns);
    for (int c = 0; c < columns; ++c) {
        for (int r = 0; r < 4; ++r) {
            state[r + 4 * c] = kSBox[in[r + 4 * ((c + RowShift(r, columns)) % columns)]];
        }
    }
}

void InvSubBytesShiftRows(uint8_t* state, int columns) {
    uint8_t in[Rijndael::kMaxBlockSize];
    std::memcpy(in, state, 4 * columns);
    for (int c = 0; c < columns; ++c) {
        for (int r = 0; r < 4; ++r) {
            state[r + 4 * ((c + RowShift(r, columns)) % columns)] = kInvSBox[in[r + 4 * c]];
        }
    }
}

void MixColumns(uint8_t* state, int columns) {
    for (int c = 0; c < columns; ++c) {
        uint8_t* col = state + 4 * c;
        const uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        col[0] = XTime(a0) ^ XTime(a1) ^ a1 ^ a2 ^ a3;
        col[1] = a0 ^ XTime(a1) ^ XTime(a2) ^ a2 ^ a3;
        col[2] = a0 ^ a1 ^ XTime(a2) ^ XTime(a3) ^ a3;
        col[3] = XTime(a0) ^ a0 ^ a1 ^ a2 ^ XTime(a3);
    }
}

void InvMixColumns(uint8_t* state, int columns) {
    for (int c = 0; c < columns; ++c) {
        uint8_t* col = state + 4 * c;
        const uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        col[0] = Multiply(a0, 14) ^ Multiply(a1, 11) ^ Multiply(a2, 13) ^ Multiply(a3, 9);
        col[1] = Multiply(a0, 9) ^ Multiply(a1, 14) ^ Multiply(a2, 11) ^ Multiply(a3, 13);
        col[2] = Multiply(a0, 13) ^ Multiply(a1, 9) ^ Multiply(a2, 14) ^ Multiply(a3, 11);
        col[3] = Multiply(a0, 11) ^ Multiply(a1, 13) ^ Multiply(a2, 9) ^ Multiply(a3, 14);
    }
}

}  // namespace

Rijndael::~Rijndael() {
    // The round keys are the payload key in another form: do not leave them on the stack.
    volatile uint8_t* keys = m_roundKeys.data();
    for (size_t i = 0; i < m_roundKeys.size(); ++i) keys[i] = 0;
}

bool Rijndael::Init(std::span<const uint8_t, kKeySize> key, int blockSize) {
    if (!IsSupportedBlockSize(blockSize)) {
        m_columns = 0;
        return false;
    }
    m_columns = blockSize / 4;

    // Key expansion on 4-byte words: w[0..Nk-1] is the key; every later word is
    // w[i - Nk] XOR a transform of w[i - 1].
    constexpr int kKeyWords = static_cast<int>(kKeySize / 4);  // Nk = 8
    const int totalWords = m_columns * (kRounds + 1);
    uint8_t* w = m_roundKeys.data();
    std::memcpy(w, key.data(), kKeySize);
    uint8_t roundConstant = 0x01;
    for (int i = kKeyWords; i < totalWords; ++i) {
        uint8_t temp[4] = {w[4 * (i - 1)], w[4 * (i - 1) + 1], w[4 * (i - 1) + 2],
                           w[4 * (i - 1) + 3]};
        if (i % kKeyWords == 0) {
            // RotWord, SubWord, then the round constant on the first byte.
            const uint8_t first = temp[0];
            temp[0] = kSBox[temp[1]] ^ roundConstant;
            temp[1] = kSBox[temp[2]];
            temp[2] = kSBox[temp[3]];
            temp[3] = kSBox[first];
            roundConstant = XTime(roundConstant);
        } else if (i % kKeyWords == 4) {
            for (uint8_t& b : temp) b = kSBox[b];
        }
        for (int b = 0; b < 4; ++b) w[4 * i + b] = w[4 * (i - kKeyWords) + b] ^ temp[b];
    }
    return true;
}

void Rijndael::EncryptBlock(uint8_t* block) const {
    if (m_columns == 0) return;
    const int bytes = 4 * m_columns;
    AddRoundKey(block, m_roundKeys.data(), bytes);
    for (int round = 1; round < kRounds; ++round) {
        SubBytesShiftRows(block, m_columns);
        MixColumns(block, m_columns);
        AddRoundKey(block, m_roundKeys.data() + round * bytes, bytes);
    }
    SubBytesShiftRows(block, m_columns);
    AddRoundKey(block, m_roundKeys.data() + kRounds * bytes, bytes);
}

void Rijndael::DecryptBlock(uint8_t* block) const {
    if (m_columns == 0) return;
    const int bytes = 4 * m_columns;
    AddRoundKey(block, m_roundKeys.data() + kRounds * bytes, bytes);
    for (int round = kRounds - 1; round >= 1; --round) {
        InvSubBytesShiftRows(block, m_columns);
        AddRoundKey(block, m_roundKeys.data() + round * bytes, bytes);
        InvMixColumns(block, m_columns);
    }
    InvSubBytesShiftRows(block, m_columns);
    AddRoundKey(block, m_roundKeys.data(), bytes);
}

}  // namespace corvane
