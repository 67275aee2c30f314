#include "protocol/frame_builder.h"

#include <algorithm>

#include <zlib.h>

#include "config/log.h"
#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"
#include "protocol/framing_limits.h"

namespace corvane {

BodyCoding DefaultCoding(uint16_t envelope) {
    return envelope == COMPSTD || envelope == COMPEXT ? BodyCoding::Deflate : BodyCoding::AsIs;
}

bool FrameBuilder::Build(uint16_t envelope, const uint8_t* body, size_t size,
                         std::string_view serverCode, BodyCoding coding, uint16_t extra,
                         int level) {
    size_t bodyCapacity = coding == BodyCoding::Deflate ? compressBound(size) : size;
    m_frame.resize(kFrameHeaderSize + std::max<size_t>(bodyCapacity, 16));
    uint8_t* out = m_frame.data() + kFrameHeaderSize;
    size_t bodySize = size;
    if (coding == BodyCoding::Deflate) {
        uLongf compressed = static_cast<uLongf>(m_frame.size() - kFrameHeaderSize);
        int status = compress2(out, &compressed, body, static_cast<uLong>(size), level);
        if (status != Z_OK || compressed == 0) {
            DebugPrint(0, "ZRPGEN:  Error during compress2(): %d\n", status);
            return false;
        }
        bodySize = compressed;
        // A COMPEXT body always holds at least one cipher block.
        if (envelope == COMPEXT && bodySize < 16) {
            std::fill(out + bodySize, out + 16, 0);
            bodySize = 16;
        }
    } else if (size > 0) {
        std::copy(body, body + size, out);
    }
    if (kFrameHeaderSize + bodySize > kMaxFrameSize) {
        DebugPrint(0, "ZRPGEN:  Frame of %zu bytes is too big to send\n", kFrameHeaderSize + bodySize);
        return false;
    }
    if (envelope == COMPEXT || envelope == COMPAES) {
        (void)EncipherBlocks(out, std::min(bodySize, kEncipheredPrefix), kEnvelopeBlockSize,
                             BuildPayloadKey(serverCode));
    }
    m_frame.resize(kFrameHeaderSize + bodySize);
    MakeFrameHeader(m_frame.data(), static_cast<uint32_t>(m_frame.size()), envelope, extra);
    FrameHeaderToWire(m_frame.data());
    return true;
}

}  // namespace corvane
