#include "display/jfif_decoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include <jpeglib.h>

#include "config/error_box.h"
#include "config/log.h"

namespace corvane {

namespace {

constexpr uint8_t kSoi = 0xD8;
constexpr uint8_t kApp0 = 0xE0;
constexpr uint8_t kDqt = 0xDB;
constexpr uint8_t kCom = 0xFE;
constexpr uint8_t kSof0 = 0xC0;
constexpr uint8_t kDht = 0xC4;
constexpr uint8_t kSos = 0xDA;

constexpr int kUnitSize = 16;
// Where the marker check names the routine that refused the stream.
constexpr const char* kCheckRoutine = "jpgmisc";
constexpr const char* kDecodeRoutine = "jpgdec";

// Status codes of our own, next to libjpeg's message codes.
constexpr int kStatusNoRoom = -2;
constexpr int kStatusMismatch = -3;

// The marker check: walks the segments in front of the entropy-coded data.
class MarkerCheck {
public:
    MarkerCheck(const uint8_t* data, size_t length) : m_data(data), m_length(length) {}

    // True when the stream has the layout; otherwise `m_text` holds what to show.
    bool Run() {
        if (m_length < 2 || m_data[0] != 0xFF || m_data[1] != kSoi) {
            unsigned found = m_length >= 2 ? (m_data[0] << 8 | m_data[1]) : m_length == 1 ? m_data[0] : 0;
            return Fail(Format("marker: 0x%x   expected: 0x%x", found, kSoi));
        }
        m_offset = 2;
        if (!Segment(kApp0)) return Fail("JPEG APP0 not found");
        static constexpr uint8_t kJfifId[5] = {'J', 'F', 'I', 'F', 0};
        if (m_segmentLength < 5 || std::memcmp(m_segment, kJfifId, sizeof kJfifId) != 0) return Fail("");

        for (int table = 0; table < 2; ++table) {
            if (Marker() == kCom && !Segment(kCom)) return Fail(DqtNotFound());
            if (!Segment(kDqt)) return Fail(DqtNotFound());
            // One table of 8-bit values: precision 0 in the top nibble.
            if (m_segmentLength != 65 || (m_segment[0] >> 4) != 0) return Fail("");
        }

        // SOF0 is taken here when it is here; otherwise the Huffman tables must follow, and
        // SOF0 after them. So whatever else stands here is reported as a missing DHT.
        const bool frameFirst = Marker() == kSof0;
        if (frameFirst && !Frame()) return false;
        if (!HuffmanTables()) return false;
        if (!frameFirst && !Frame()) return false;

        if (!Segment(kSos)) return Fail("JPEG SOS not found");
        // One interleaved scan of the three components, sequential: anything else is not the
        // layout of these frames.
        if (m_segmentLength != 10 || m_segment[0] != 3 || m_segment[7] != 0 || m_segment[8] != 63 ||
            m_segment[9] != 0) {
            return Fail("");
        }
        return true;
    }

    [[nodiscard]] const std::string& Text() const { return m_text; }
    [[nodiscard]] int Width() const { return m_width; }
    [[nodiscard]] int Height() const { return m_height; }

private:
    // The marker byte at the current position, or 0 when there is none.
    [[nodiscard]] uint8_t Marker() const {
        if (m_length - m_offset < 2 || m_data[m_offset] != 0xFF) return 0;
        return m_data[m_offset + 1];
    }

    // Takes the segment of `marker` at the current position, its length inside the stream.
    bool Segment(uint8_t marker) {
        if (Marker() != marker || m_length - m_offset < 4) return false;
        const size_t length = static_cast<size_t>(m_data[m_offset + 2]) << 8 | m_data[m_offset + 3];
        if (length < 2 || length > m_length - m_offset - 2) return false;
        m_segment = m_data + m_offset + 4;
        m_segmentLength = length - 2;
        m_offset += 2 + length;
        return true;
    }

    bool Frame() {
        if (!Segment(kSof0)) return Fail("JPEG SOF0 not found");
        const uint8_t* s = m_segment;
        if (m_segmentLength < 6) return Fail("");
        m_height = s[1] << 8 | s[2];
        m_width = s[3] << 8 | s[4];
        // 8-bit samples, three components, luminance sampled 2 x 2 and chrominance 1 x 1:
        // the 16 x 16 units the decoder and its callers count with.
        if (s[0] != 8 || m_width == 0 || m_height == 0 || s[5] != 3 || m_segmentLength != 6 + 9 ||
            s[7] != 0x22 || s[10] != 0x11 || s[13] != 0x11) {
            return Fail("");
        }
        return true;
    }

    bool HuffmanTables() {
        for (int table = 0; table < 4; ++table) {
            if (!Segment(kDht)) return Fail("JPEG DHT not found");
            // One table: class and number, 16 counts, then as many symbols as they add up to.
            if (m_segmentLength < 17) return Fail("");
            size_t symbols = 0;
            for (int i = 1; i <= 16; ++i) symbols += m_segment[i];
            if (symbols != m_segmentLength - 17) return Fail("");
        }
        return true;
    }

    std::string DqtNotFound() const {
        return Format("JPEG DQT not found... marker: 0x%x   expected: 0x%x", Marker(), kDqt);
    }

    static std::string Format(const char* format, unsigned a, unsigned b) {
        char text[96];
        std::snprintf(text, sizeof text, format, a, b);
        return text;
    }

    bool Fail(const std::string& message) {
        char where[96];
        std::snprintf(where, sizeof where, "Error in file %s at line %zu.", kCheckRoutine, m_offset);
        m_text = message.empty() ? where : message + "\n" + where;
        return false;
    }

    const uint8_t* m_data;
    size_t m_length;
    size_t m_offset = 0;
    const uint8_t* m_segment = nullptr;
    size_t m_segmentLength = 0;
    int m_width = 0;
    int m_height = 0;
    std::string m_text;
};

// What went wrong in libjpeg, kept as plain data: nothing with a destructor may live in the
// frames that longjmp leaves.
enum class Phase { Setup, Decode };

struct ErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    Phase phase;
    int status;
    bool warning;  // a corrupt-data warning (bad Huffman code, data cut short)
};

[[noreturn]] void LeaveDecoder(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    errors->status = errors->manager.msg_code;
    std::longjmp(errors->jump, 1);
}

// Warnings mean corrupt data; a frame with bad data is refused, not drawn half-grey. Trace
// messages are dropped rather than printed.
void EmitMessage(j_common_ptr info, int level) {
    if (level >= 0) return;
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    errors->warning = true;
    LeaveDecoder(info);
}

void NoOutput(j_common_ptr) {}

// The libjpeg part: only plain data in this frame, so that a longjmp skips no destructor.
// Writes `rows` rows of `stride` bytes. 0, or -1 with `errors` filled in.
int Decompress(const uint8_t* data, size_t length, uint8_t* destination, size_t stride, int rows,
               ErrorManager& errors) {
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = LeaveDecoder;
    errors.manager.emit_message = EmitMessage;
    errors.manager.output_message = NoOutput;
    errors.phase = Phase::Setup;
    errors.status = 0;
    errors.warning = false;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return -1;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(length));
    (void)jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    (void)jpeg_start_decompress(&info);
    if (info.output_width * 3 != stride || static_cast<int>(info.output_height) != rows ||
        info.output_components != 3) {
        errors.status = kStatusMismatch;
        jpeg_destroy_decompress(&info);
        return -1;
    }
    errors.phase = Phase::Decode;
    JSAMPROW rowPointers[kUnitSize];
    while (info.output_scanline < info.output_height) {
        const int first = static_cast<int>(info.output_scanline);
        const int count = std::min(kUnitSize, rows - first);
        for (int i = 0; i < count; ++i) rowPointers[i] = destination + static_cast<size_t>(first + i) * stride;
        (void)jpeg_read_scanlines(&info, rowPointers, static_cast<JDIMENSION>(count));
    }
    // The rest of the stream (EOI) is not needed: the pixels are all there.
    jpeg_abort_decompress(&info);
    jpeg_destroy_decompress(&info);
    return 0;
}

int Refuse(const std::string& text) {
    PostErrorBox("Error", text);
    return -1;
}

std::string StatusText(const char* format, int status) {
    char text[96];
    std::snprintf(text, sizeof text, format, status);
    return text;
}

}  // namespace

int DecodeJfif(const uint8_t* data, size_t length, uint8_t* destination, size_t capacity,
               int& width, int& height) {
    if (data == nullptr) length = 0;
    MarkerCheck check(data, length);
    if (!check.Run()) return Refuse(check.Text());

    const int requestedWidth = width;
    const int requestedHeight = height;
    width = check.Width();
    height = check.Height();
    if (requestedWidth > 0 && requestedHeight > 0 && (requestedWidth != width || requestedHeight != height)) {
        DebugPrint(10, "JFIF frame is %dx%d; the request names %dx%d\n", width, height, requestedWidth,
                   requestedHeight);
    }

    // Whole units of 16 rows: the caller's buffer must hold them all.
    const size_t stride = static_cast<size_t>(width) * 3;
    const int unitRows = (height + kUnitSize - 1) / kUnitSize * kUnitSize;
    if (destination == nullptr || stride * static_cast<size_t>(unitRows) > capacity) {
        DebugPrint(0, "JFIF frame %dx%d needs %zu bytes, the buffer holds %zu\n", width, height,
                   stride * static_cast<size_t>(unitRows), capacity);
        return Refuse(StatusText("Initialization failed... Status: %d", kStatusNoRoom));
    }

    ErrorManager errors{};
    if (Decompress(data, length, destination, stride, height, errors) != 0) {
        if (errors.phase == Phase::Setup) {
            return Refuse(StatusText("Initialization failed... Status: %d", errors.status));
        }
        if (errors.warning) return Refuse(StatusText("decode error status: %d\n", errors.status));
        char where[64];
        std::snprintf(where, sizeof where, "\nError in file %s at line %d.", kDecodeRoutine, 0);
        return Refuse(StatusText("Decoding failed... Status: %d", errors.status) + where);
    }
    // The last unit's rows below the image, as an encoder pads them: the bottom row repeated.
    const uint8_t* last = destination + static_cast<size_t>(height - 1) * stride;
    for (int row = height; row < unitRows; ++row) {
        std::memcpy(destination + static_cast<size_t>(row) * stride, last, stride);
    }
    return 0;
}

}  // namespace corvane
