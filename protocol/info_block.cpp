#include "protocol/info_block.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "config/log.h"
#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"
#include "crypto/secure_wipe.h"
#include "protocol/records.h"
#include "protocol/scramble_key.h"
#include "protocol/stream_connection.h"

namespace corvane {

namespace {

// The record's layout.
constexpr size_t kTimeOffset = 0;
constexpr size_t kMagicOffset = 4;
constexpr size_t kSizeOffset = 8;
constexpr size_t kStatusOffset = 12;
constexpr size_t kUserNameOffset = 16;
constexpr size_t kPasswordOffset = 48;
constexpr size_t kSecondMagicOffset = 112;
constexpr size_t kWidthOffset = 116;
constexpr size_t kHeightOffset = 120;
constexpr size_t kDepthOffset = 124;
constexpr size_t kBitsPerPixelOffset = 128;
constexpr size_t kVisualClassOffset = 132;
constexpr size_t kSessionIdOffset = 136;
constexpr size_t kServerVariantOffset = 140;
constexpr size_t kVersionOffset = 144;
constexpr size_t kProtocolVersionOffset = 146;
constexpr size_t kProjectIdOffset = 148;
constexpr size_t kProjectIdSize = 16;
constexpr size_t kEnvironmentOffset = 164;
constexpr size_t kEnvironmentSize = 512;
static_assert(kEnvironmentOffset + kEnvironmentSize == kInfoBlockSize);
static_assert(kUserNameOffset + kInfoMaxUserName + 1 == kPasswordOffset);
static_assert(kPasswordOffset + kInfoMaxPassword + 1 == kSecondMagicOffset);

constexpr uint8_t kFill = 0xCA;
constexpr int kCompressionLevel = 6;
constexpr int kCipherBlockSize = 32;
constexpr InfoGeometry kDefaultGeometry{1024, 768, 8, 8, 3};

// The length field as it stands in the buffer (or unscrambled from it), or -1 when the
// stream it announces would not fit behind it.
int FittingLength(uint32_t length) {
    return length <= static_cast<uint32_t>(kInfoMaxStreamLength) ? static_cast<int>(length) : -1;
}

std::string FieldText(const uint8_t* field, size_t size) {
    const auto* begin = reinterpret_cast<const char*>(field);
    return std::string(begin, std::find(begin, begin + size, '\0'));
}

uint32_t UnscrambledLength(const uint8_t* scrambled) {
    uint8_t bytes[4];
    std::memcpy(bytes, scrambled, sizeof bytes);
    ScrambleBytes(bytes, sizeof bytes, 0);
    return GetBE32(bytes);
}

}  // namespace

InfoBlock::InfoBlock() {
    m_buffer.fill(kFill);
    uint8_t* data = m_buffer.data();
    PutBE32(data + kTimeOffset, static_cast<uint32_t>(std::time(nullptr)));
    PutBE32(data + kMagicOffset, kInfoBlockMagic);
    PutBE32(data + kSizeOffset, kInfoBlockSize);
    PutBE32(data + kSecondMagicOffset, kInfoSecondMagic);
    SetGeometry(kDefaultGeometry);
    SetSessionId(0);
    SetVersion(0);
    SetProtocolVersion(1);
    std::memset(data + kProjectIdOffset, 0, kProjectIdSize);
    std::memset(data + kEnvironmentOffset, 0, kEnvironmentSize);
}

InfoBlock::~InfoBlock() { SecureWipe(m_buffer.data(), m_buffer.size()); }

bool InfoBlock::SetUserName(std::string_view name) {
    if (name.size() > kInfoMaxUserName) {
        DebugPrint(0, "ZRPSH:  A user name of %zu characters does not fit (at most %zu)\n",
                   name.size(), kInfoMaxUserName);
        return false;
    }
    std::memcpy(m_buffer.data() + kUserNameOffset, name.data(), name.size());
    m_buffer[kUserNameOffset + name.size()] = 0;
    return true;
}

bool InfoBlock::SetPassword(std::string_view password) {
    if (password.size() > kInfoMaxPassword) {
        DebugPrint(0, "ZRPSH:  A password of %zu characters does not fit (at most %zu)\n",
                   password.size(), kInfoMaxPassword);
        return false;
    }
    std::memcpy(m_buffer.data() + kPasswordOffset, password.data(), password.size());
    m_buffer[kPasswordOffset + password.size()] = 0;
    return true;
}

std::string InfoBlock::UserName() const {
    return FieldText(m_buffer.data() + kUserNameOffset, kInfoMaxUserName + 1);
}

std::string InfoBlock::Password() const {
    return FieldText(m_buffer.data() + kPasswordOffset, kInfoMaxPassword + 1);
}

void InfoBlock::SetGeometry(const InfoGeometry& geometry) {
    uint8_t* data = m_buffer.data();
    PutBE32(data + kWidthOffset, static_cast<uint32_t>(geometry.width));
    PutBE32(data + kHeightOffset, static_cast<uint32_t>(geometry.height));
    PutBE32(data + kDepthOffset, static_cast<uint32_t>(geometry.depth));
    PutBE32(data + kBitsPerPixelOffset, static_cast<uint32_t>(geometry.bitsPerPixel));
    PutBE32(data + kVisualClassOffset, static_cast<uint32_t>(geometry.visualClass));
}

InfoGeometry InfoBlock::Geometry() const {
    const uint8_t* data = m_buffer.data();
    return {static_cast<int32_t>(GetBE32(data + kWidthOffset)),
            static_cast<int32_t>(GetBE32(data + kHeightOffset)),
            static_cast<int32_t>(GetBE32(data + kDepthOffset)),
            static_cast<int32_t>(GetBE32(data + kBitsPerPixelOffset)),
            static_cast<int32_t>(GetBE32(data + kVisualClassOffset))};
}

void InfoBlock::SetSessionId(int32_t sessionId) {
    PutBE32(m_buffer.data() + kSessionIdOffset, static_cast<uint32_t>(sessionId));
}

int32_t InfoBlock::SessionId() const {
    return static_cast<int32_t>(GetBE32(m_buffer.data() + kSessionIdOffset));
}

void InfoBlock::SetServerVariantFlag(int32_t flag) {
    PutBE32(m_buffer.data() + kServerVariantOffset, static_cast<uint32_t>(flag));
}

int32_t InfoBlock::ServerVariantFlag() const {
    return static_cast<int32_t>(GetBE32(m_buffer.data() + kServerVariantOffset));
}

void InfoBlock::SetVersion(int version) {
    PutBE16(m_buffer.data() + kVersionOffset, static_cast<uint16_t>(version));
}

int InfoBlock::Version() const {
    return GetBE16(m_buffer.data() + kVersionOffset);
}

void InfoBlock::SetProtocolVersion(int version) {
    PutBE16(m_buffer.data() + kProtocolVersionOffset, static_cast<uint16_t>(version));
}

int InfoBlock::ProtocolVersion() const {
    return GetBE16(m_buffer.data() + kProtocolVersionOffset);
}

void InfoBlock::SetProjectId(std::string_view projectId) {
    char* field = reinterpret_cast<char*>(m_buffer.data() + kProjectIdOffset);
    std::memset(field, 0, kProjectIdSize);
    std::memcpy(field, projectId.data(), std::min(projectId.size(), kInfoMaxProjectId));
    DebugPrint(1, "cnct:  ProjectID = %s\n", field);
}

void InfoBlock::SetEnvironment(std::string_view environment) {
    uint8_t* field = m_buffer.data() + kEnvironmentOffset;
    std::memset(field, 0, kEnvironmentSize);
    std::memcpy(field, environment.data(), std::min(environment.size(), kInfoMaxEnvironment));
}

void InfoBlock::SetStatus(int32_t status) {
    PutBE32(m_buffer.data() + kStatusOffset, static_cast<uint32_t>(status));
}

void InfoBlock::SetBlockMagic(int32_t magic) {
    PutBE32(m_buffer.data() + kMagicOffset, static_cast<uint32_t>(magic));
}

int32_t InfoBlock::Status() const {
    const uint8_t* data = m_buffer.data();
    if (GetBE32(data + kMagicOffset) != static_cast<uint32_t>(kInfoBlockMagic)) {
        return kInfoBadMagicStatus;
    }
    return static_cast<int32_t>(GetBE32(data + kStatusOffset));
}

int InfoCompress(InfoBlock& block) {
    DebugPrint(2, "ZRPSH:     InfoCompress(): uncomprlen =%d\n", static_cast<int>(kInfoBlockSize));
    std::array<uint8_t, kInfoBufferSize> stream;
    uLongf length = stream.size();
    const int status =
        compress2(stream.data(), &length, block.Data(), kInfoBlockSize, kCompressionLevel);
    if (status != Z_OK) DebugPrint(0, "ZRPSH:     InfoCompress:  Error status: %d\n", status);
    const int fitting = length <= stream.size() ? FittingLength(static_cast<uint32_t>(length)) : -1;
    if (fitting < 0) {
        DebugPrint(0, "ZRPSH:     InfoCompress:  a stream of %lu bytes does not fit the buffer\n",
                   static_cast<unsigned long>(length));
        return -1;
    }
    PutBE32(block.Data(), static_cast<uint32_t>(fitting));
    std::memcpy(block.Data() + 4, stream.data(), static_cast<size_t>(fitting));
    SecureWipe(stream.data(), stream.size());  // the deflated credentials
    DebugPrint(2, "ZRPSH:     InfoCompress:  size: %d\n", fitting);
    return fitting;
}

int InfoEncrypt(InfoBlock& block) {
    uint8_t* data = block.Data();
    const int length = FittingLength(GetBE32(data));
    if (length < 0) {
        DebugPrint(0, "ZRPSH:     InfoEncrypt:  length %u does not fit the buffer\n",
                   GetBE32(data));
        return -1;
    }
    DebugPrint(2, "ZRPSH:     InfoEncrypt:  size: %d\n", length);
    ScrambleBytes(data, 4 + static_cast<size_t>(length), 0);
    return length;
}

int InfoDecrypt(InfoBlock& block) {
    uint8_t* data = block.Data();
    const int length = FittingLength(UnscrambledLength(data));
    if (length < 0) {
        DebugPrint(0, "ZRPSH:     InfoDecrypt:  length %u does not fit the buffer\n",
                   UnscrambledLength(data));
        return -1;
    }
    ScrambleBytes(data, 4, 0);
    DebugPrint(2, "ZRPSH:     InfoDecrypt:  size: %d\n", length);
    ScrambleBytes(data + 4, static_cast<size_t>(length), 4);
    return length;
}

int InfoDecompress(InfoBlock& block) {
    uint8_t* data = block.Data();
    const int length = FittingLength(GetBE32(data));
    if (length < 0) {
        DebugPrint(0, "ZRPSH:     InfoDecompress(): length %u does not fit the buffer\n",
                   GetBE32(data));
        return -1;
    }
    DebugPrint(2, "ZRPSH:     InfoDecompress(): comprlen =%d\n", length);
    std::array<uint8_t, kInfoBufferSize> stream;
    std::memcpy(stream.data(), data + 4, static_cast<size_t>(length));
    uLongf produced = kInfoBufferSize;  // zlib stops at the end of the buffer
    const int status = uncompress(data, &produced, stream.data(), static_cast<uLong>(length));
    if (status != Z_OK) DebugPrint(0, "ZRPSH:     InfoDecompress():  status: %d\n", status);
    const int result = static_cast<int>(std::min<uLongf>(produced, kInfoBufferSize));
    DebugPrint(2, "ZRPSH:     InfoDecompress(): uncomprlen =%d\n", result);
    return result;
}

int InfoPutToSocket(StreamConnection& connection, int socket, InfoBlock& block,
                    std::string_view serverCode) {
    // Once on the wire (or failed) the block is spent: the password it carried, in whatever
    // form the steps left it, is wiped rather than left for the life of the buffer.
    const WipeOnExit wipe(block.Data(), kInfoBufferSize);
    if (InfoCompress(block) < 0 || InfoEncrypt(block) < 0) return -1;
    uint8_t* data = block.Data();
    const int length = FittingLength(UnscrambledLength(data));
    DebugPrint(2, "ZRPSH:     InfoPutToSocket: totbytes =%d\n", length);

    const int lengthWritten = connection.zRPshWrite(socket, data, 4);
    if (lengthWritten != 4) return lengthWritten > 0 ? -1 : lengthWritten;

    // A stream shorter than one cipher block travels only scrambled; the peer knows to
    // leave it as it is.
    (void)EncipherBlocks(data + 4, static_cast<size_t>(length), kCipherBlockSize,
                         BuildPayloadKey(serverCode));
    return connection.zRPshWrite(socket, data + 4, length);
}

int InfoGetFromSocket(StreamConnection& connection, int socket, InfoBlock& block,
                      std::string_view serverCode) {
    uint8_t* data = block.Data();
    int got = connection.zRPshRead(socket, data, 4);
    DebugPrint(2, "ZRPSH:     InfoGetFromSocket: nbytes =%d\n", got);
    if (got <= 0) return -1;

    const uint32_t announced = UnscrambledLength(data);
    DebugPrint(2, "ZRPSH:     InfoGetFromSocket: totbytes =%d\n", static_cast<int>(announced));
    const int length = FittingLength(announced);
    if (length <= 0) {
        // Refused before reading: the stream behind a length that does not fit stays unread.
        DebugPrint(0, "ZRPSH:     InfoGetFromSocket: refused a stream of %u bytes (1 to %d fit)\n",
                   announced, kInfoMaxStreamLength);
        return -1;
    }

    got = connection.zRPshRead(socket, data + 4, length);
    DebugPrint(2, "ZRPSH:     InfoGetFromSocket: nbytes =%d\n", got);
    if (got <= 0) return -1;

    // A stream shorter than one cipher block came only scrambled.
    (void)DecipherBlocks(data + 4, static_cast<size_t>(length), kCipherBlockSize,
                         BuildPayloadKey(serverCode));
    DebugPrint(2, "ZRPSH:     InfoGetFromSocket: Call decrypt\n");
    if (InfoDecrypt(block) < 0) return -1;
    DebugPrint(2, "ZRPSH:     InfoGetFromSocket: Call decompress\n");
    (void)InfoDecompress(block);  // a block that did not inflate reads as a bad magic
    DebugPrint(2, "ZRPSH:     InfoGetFromSocket: return(%d)\n", length);
    return length;
}

}  // namespace corvane
