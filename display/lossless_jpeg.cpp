#include "display/lossless_jpeg.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace corvane {

namespace {

constexpr int kMaxComponents = 3;

struct HuffmanTable {
    bool defined = false;
    // Canonical decoding (ITU-T T.81 F.2.2.3): per code length the largest code, and where
    // that length's symbols start.
    std::array<int32_t, 18> maxCode{};
    std::array<int32_t, 17> valueOffset{};
    std::array<uint8_t, 256> values{};
};

// Bits of the entropy-coded data: stuffed zero bytes removed, stops at a marker.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t length) : m_data(data), m_length(length) {}

    // The next bit, or -1 when the data ends (a marker or the end of the buffer).
    int Bit() {
        if (m_bits == 0) {
            if (!Fill()) return -1;
        }
        --m_bits;
        return (m_byte >> m_bits) & 1;
    }

    // `count` bits (0 to 16) as an unsigned number, or -1 when the data ends.
    int32_t Bits(int count) {
        int32_t value = 0;
        for (int i = 0; i < count; ++i) {
            const int bit = Bit();
            if (bit < 0) return -1;
            value = value << 1 | bit;
        }
        return value;
    }

private:
    bool Fill() {
        if (m_offset >= m_length) return false;
        uint8_t byte = m_data[m_offset];
        if (byte == 0xFF) {
            if (m_offset + 1 >= m_length || m_data[m_offset + 1] != 0x00) return false;
            m_offset += 2;
        } else {
            m_offset += 1;
        }
        m_byte = byte;
        m_bits = 8;
        return true;
    }

    const uint8_t* m_data;
    size_t m_length;
    size_t m_offset = 0;
    uint8_t m_byte = 0;
    int m_bits = 0;
};

// The difference category (0 to 16), or -1 for a code the table lacks or data that ended.
int DecodeCategory(BitReader& bits, const HuffmanTable& table) {
    int32_t code = 0;
    for (int length = 1; length <= 16; ++length) {
        const int bit = bits.Bit();
        if (bit < 0) return -1;
        code = code << 1 | bit;
        if (code <= table.maxCode[length]) {
            const int32_t index = table.valueOffset[length] + code;
            if (index < 0 || index > 255) return -1;
            return table.values[static_cast<size_t>(index)];
        }
    }
    return -1;
}

struct Component {
    int id = 0;
    int table = 0;
};

uint8_t Clamp(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

class LosslessDecoder {
public:
    LosslessDecoder(const uint8_t* data, size_t length) : m_data(data), m_length(length) {}

    LosslessResult Run(uint8_t* destination, size_t capacity) {
        if (!ReadHeader()) return m_result;
        m_result.width = m_width;
        m_result.height = m_height;
        m_result.components = m_componentCount;
        const size_t stride = static_cast<size_t>(m_width) * 3;
        if (destination == nullptr || stride * static_cast<size_t>(m_height) > capacity) {
            return Fail(LosslessStep::Destination, "the image does not fit in the buffer");
        }
        if (!ReadData(destination, stride)) return m_result;
        return m_result;
    }

private:
    LosslessResult Fail(LosslessStep step, const char* text) {
        m_result.failed = step;
        m_result.text = text;
        return m_result;
    }
    bool Refuse(const char* text) {
        (void)Fail(LosslessStep::Header, text);
        return false;
    }

    [[nodiscard]] uint32_t Word(size_t at) const { return static_cast<uint32_t>(m_data[at]) << 8 | m_data[at + 1]; }

    // The segments in front of the first scan.
    bool ReadHeader() {
        if (m_length < 2 || m_data[0] != 0xFF || m_data[1] != 0xD8) return Refuse("no SOI marker");
        size_t at = 2;
        bool frame = false;
        while (true) {
            if (m_length - at < 2 || m_data[at] != 0xFF) return Refuse("a marker was expected");
            while (at < m_length && m_data[at] == 0xFF) ++at;  // fill bytes
            if (at >= m_length) return Refuse("the data ends before the scan");
            const uint8_t marker = m_data[at++];
            if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
            if (marker == 0xD8 || marker == 0xD9) return Refuse("the data ends before the scan");
            if (m_length - at < 2) return Refuse("a segment is cut short");
            const size_t length = Word(at);
            if (length < 2 || length > m_length - at) return Refuse("a segment is cut short");
            const uint8_t* s = m_data + at + 2;
            const size_t size = length - 2;
            at += length;
            switch (marker) {
                case 0xC3:
                    if (frame) return Refuse("more than one frame");
                    if (!Frame(s, size)) return false;
                    frame = true;
                    break;
                case 0xC4:
                    if (!HuffmanTables(s, size)) return false;
                    break;
                case 0xDD:
                    if (size != 2) return Refuse("bad DRI segment");
                    if (Word(static_cast<size_t>(s - m_data)) != 0) return Refuse("restart intervals are not supported");
                    break;
                case 0xE0:
                    if (size >= 5 && std::memcmp(s, "JFIF", 5) == 0) m_ycc = true;
                    break;
                case 0xEE:
                    if (size >= 12 && std::memcmp(s, "Adobe", 5) == 0) {
                        m_adobe = true;
                        m_adobeTransform = s[11];
                    }
                    break;
                case 0xDA:
                    if (!frame) return Refuse("a scan before the frame header");
                    m_scan = at;
                    return Scan(s, size);
                default:
                    if ((marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) ||
                        marker == 0xDE || marker == 0xDF) {
                        return Refuse("not a lossless Huffman frame");
                    }
                    break;  // tables and application data the decoder does not need
            }
        }
    }

    bool Frame(const uint8_t* s, size_t size) {
        if (size < 6) return Refuse("bad SOF3 segment");
        m_precision = s[0];
        m_height = static_cast<int>(Word(static_cast<size_t>(s + 1 - m_data)));
        m_width = static_cast<int>(Word(static_cast<size_t>(s + 3 - m_data)));
        m_componentCount = s[5];
        if (m_precision < 2 || m_precision > 16) return Refuse("unsupported sample precision");
        if (m_width == 0 || m_height == 0) return Refuse("no image size");
        if (m_componentCount != 1 && m_componentCount != kMaxComponents) return Refuse("unsupported component count");
        if (size != 6 + 3 * static_cast<size_t>(m_componentCount)) return Refuse("bad SOF3 segment");
        for (int c = 0; c < m_componentCount; ++c) {
            const uint8_t* p = s + 6 + 3 * c;
            if (p[1] != 0x11) return Refuse("subsampled components are not supported");
            m_components[static_cast<size_t>(c)].id = p[0];
        }
        // Components named R, G, B hold colours as they are, whatever else the stream says.
        if (m_componentCount == 3 && s[6] == 'R' && s[9] == 'G' && s[12] == 'B') m_rgbIds = true;
        return true;
    }

    bool HuffmanTables(const uint8_t* s, size_t size) {
        size_t at = 0;
        while (at < size) {
            if (size - at < 17) return Refuse("bad DHT segment");
            const uint8_t classAndId = s[at];
            size_t count = 0;
            for (int i = 1; i <= 16; ++i) count += s[at + static_cast<size_t>(i)];
            if (count > 256 || size - at - 17 < count) return Refuse("bad DHT segment");
            // Lossless coding uses the DC class only; AC tables are skipped.
            if ((classAndId >> 4) == 0) {
                if ((classAndId & 0x0F) > 3) return Refuse("bad DHT segment");
                HuffmanTable& table = m_tables[classAndId & 0x0F];
                table = HuffmanTable{};
                table.defined = true;
                int32_t code = 0;
                int32_t k = 0;
                for (int length = 1; length <= 16; ++length) {
                    const int n = s[at + static_cast<size_t>(length)];
                    table.valueOffset[static_cast<size_t>(length)] = k - code;
                    code += n;
                    k += n;
                    table.maxCode[static_cast<size_t>(length)] = n > 0 ? code - 1 : -1;
                    // A code longer than its length allows: the table is not a prefix code.
                    if (code > (1 << length)) return Refuse("bad Huffman table");
                    code <<= 1;
                }
                table.maxCode[17] = INT32_MAX;
                std::memcpy(table.values.data(), s + at + 17, count);
            }
            at += 17 + count;
        }
        return true;
    }

    bool Scan(const uint8_t* s, size_t size) {
        if (size < 1) return Refuse("bad SOS segment");
        const int count = s[0];
        if (count != m_componentCount) return Refuse("the scan does not hold every component");
        if (size != 1 + 2 * static_cast<size_t>(count) + 3) return Refuse("bad SOS segment");
        std::array<bool, kMaxComponents> seen{};
        for (int i = 0; i < count; ++i) {
            const uint8_t id = s[1 + 2 * i];
            const int table = s[2 + 2 * i] >> 4;
            int index = -1;
            for (int c = 0; c < m_componentCount; ++c) {
                if (m_components[static_cast<size_t>(c)].id == id && !seen[static_cast<size_t>(c)]) index = c;
            }
            if (index < 0) return Refuse("the scan names an unknown component");
            if (table > 3 || !m_tables[static_cast<size_t>(table)].defined) return Refuse("a Huffman table is missing");
            seen[static_cast<size_t>(index)] = true;
            m_order[static_cast<size_t>(i)] = index;
            m_components[static_cast<size_t>(index)].table = table;
        }
        m_predictor = s[1 + 2 * count];
        const int end = s[2 + 2 * count];
        const int approximation = s[3 + 2 * count];
        m_pointTransform = approximation & 0x0F;
        if (m_predictor < 1 || m_predictor > 7 || end != 0 || (approximation >> 4) != 0 ||
            m_pointTransform >= m_precision) {
            return Refuse("bad lossless scan parameters");
        }
        return true;
    }

    static int32_t Predict(int predictor, int32_t ra, int32_t rb, int32_t rc) {
        switch (predictor) {
            case 1: return ra;
            case 2: return rb;
            case 3: return rc;
            case 4: return ra + rb - rc;
            case 5: return ra + ((rb - rc) >> 1);
            case 6: return rb + ((ra - rc) >> 1);
            default: return (ra + rb) >> 1;
        }
    }

    bool ReadData(uint8_t* destination, size_t stride) {
        const size_t width = static_cast<size_t>(m_width);
        const size_t n = static_cast<size_t>(m_componentCount);
        // Two rows of reconstructed samples per component, interleaved.
        std::vector<int32_t> rows(2 * width * n);
        int32_t* previous = rows.data();
        int32_t* current = rows.data() + width * n;
        BitReader bits(m_data + m_scan, m_length - m_scan);
        const int32_t initial = 1 << (m_precision - m_pointTransform - 1);
        const int32_t maxSample = (1 << m_precision) - 1;
        const int down = m_precision > 8 ? m_precision - 8 : 0;
        const int up = m_precision < 8 ? 8 - m_precision : 0;

        for (int y = 0; y < m_height; ++y) {
            for (size_t x = 0; x < width; ++x) {
                for (size_t i = 0; i < n; ++i) {
                    const size_t c = static_cast<size_t>(m_order[i]);
                    const int category = DecodeCategory(bits, m_tables[static_cast<size_t>(m_components[c].table)]);
                    if (category < 0 || category > 16) {
                        (void)Fail(LosslessStep::Data, "bad Huffman code or data cut short");
                        return false;
                    }
                    int32_t difference = 0;
                    if (category == 16) {
                        difference = 32768;
                    } else if (category > 0) {
                        const int32_t raw = bits.Bits(category);
                        if (raw < 0) {
                            (void)Fail(LosslessStep::Data, "data cut short");
                            return false;
                        }
                        difference = raw < (1 << (category - 1)) ? raw - (1 << category) + 1 : raw;
                    }
                    int32_t prediction;
                    if (y == 0) {
                        prediction = x == 0 ? initial : current[(x - 1) * n + c];
                    } else if (x == 0) {
                        prediction = previous[c];
                    } else {
                        prediction = Predict(m_predictor, current[(x - 1) * n + c], previous[x * n + c],
                                             previous[(x - 1) * n + c]);
                    }
                    current[x * n + c] = (prediction + difference) & 0xFFFF;
                }
            }
            uint8_t* out = destination + static_cast<size_t>(y) * stride;
            for (size_t x = 0; x < width; ++x) {
                std::array<int, kMaxComponents> v{};
                for (size_t c = 0; c < n; ++c) {
                    const int32_t sample = std::min(current[x * n + c] << m_pointTransform, maxSample);
                    v[c] = (sample >> down) << up;
                }
                if (n == 1) {
                    out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = static_cast<uint8_t>(v[0]);
                } else if (YccColours()) {
                    const double luma = v[0];
                    const double cb = v[1] - 128.0;
                    const double cr = v[2] - 128.0;
                    out[3 * x] = Clamp(static_cast<int>(luma + 1.772 * cb + 0.5));
                    out[3 * x + 1] = Clamp(static_cast<int>(luma - 0.34414 * cb - 0.71414 * cr + 0.5));
                    out[3 * x + 2] = Clamp(static_cast<int>(luma + 1.402 * cr + 0.5));
                } else {
                    out[3 * x] = static_cast<uint8_t>(v[2]);
                    out[3 * x + 1] = static_cast<uint8_t>(v[1]);
                    out[3 * x + 2] = static_cast<uint8_t>(v[0]);
                }
            }
            std::swap(previous, current);
        }
        return true;
    }

    [[nodiscard]] bool YccColours() const {
        if (m_rgbIds) return false;
        if (m_adobe) return m_adobeTransform == 1;
        return m_ycc;
    }

    const uint8_t* m_data;
    size_t m_length;
    LosslessResult m_result;
    int m_precision = 8;
    int m_width = 0;
    int m_height = 0;
    int m_componentCount = 0;
    std::array<Component, kMaxComponents> m_components{};
    std::array<int, kMaxComponents> m_order{};
    std::array<HuffmanTable, 4> m_tables{};
    int m_predictor = 1;
    int m_pointTransform = 0;
    size_t m_scan = 0;
    bool m_ycc = false;
    bool m_adobe = false;
    int m_adobeTransform = 0;
    bool m_rgbIds = false;
};

}  // namespace

LosslessResult DecodeLosslessJpeg(const uint8_t* data, size_t length, uint8_t* destination, size_t capacity) {
    if (data == nullptr) length = 0;
    LosslessDecoder decoder(data, length);
    return decoder.Run(destination, capacity);
}

}  // namespace corvane
