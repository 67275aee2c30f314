// Building whole frames (frame header and body) in each envelope. The client uses it for the
// messages it sends, the test server for everything it sends; both ends therefore apply the
// envelope rules from this one place.
//
// Not synchronised: one builder per sending thread, or the caller's send lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "protocol/records.h"

namespace corvane {

// Bodies are enciphered over at most this many leading bytes, in 16-byte blocks.
inline constexpr size_t kEncipheredPrefix = 64;
inline constexpr int kEnvelopeBlockSize = 16;

enum class BodyCoding {
    Deflate,  // COMPSTD, and COMPEXT for everything but JPEG images
    AsIs,     // plain, COMPAES, and COMPEXT carrying a JPEG image
};

class FrameBuilder {
public:
    // Builds the frame for `body` (wire order: record header, record, payload). Deflated
    // bodies use zlib at `level`; a deflated COMPEXT body shorter than 16 bytes is padded
    // with zeros to 16 so that one block can be enciphered. Returns false, with a record in
    // the log, when zlib fails or the frame would be too large.
    [[nodiscard]] bool Build(uint16_t envelope, const uint8_t* body, size_t size,
                             std::string_view serverCode, BodyCoding coding,
                             uint16_t extra = 0, int level = 6);

    [[nodiscard]] const uint8_t* data() const { return m_frame.data(); }
    [[nodiscard]] size_t size() const { return m_frame.size(); }

private:
    std::vector<uint8_t> m_frame;  // reused from frame to frame
};

// The coding an envelope implies for a body that is not a JPEG image.
[[nodiscard]] BodyCoding DefaultCoding(uint16_t envelope);

}  // namespace corvane
