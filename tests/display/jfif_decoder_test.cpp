#include "display/jfif_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "config/error_box.h"
#include "config/log.h"
#include "image_update_builder.h"
#include "jpeg_test_streams.h"

namespace corvane {
namespace {

using test::ExactBytes;

// Whole 16-row units of 3-byte pixels.
size_t UnitBytes(int width, int height) { return static_cast<size_t>(width) * 3 * ((height + 15) / 16 * 16); }

class JfifDecoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLogForTesting();
        // A decoder thread must never wait for a person: the modal box must not be used.
        SetErrorBoxHandler([](const std::string& caption, const std::string& text) {
            ADD_FAILURE() << "modal box " << caption << ": " << text;
        });
        SetPostErrorBoxHandler([this](const std::string& caption, const std::string& text) {
            m_posted.emplace_back(caption, text);
        });
    }
    void TearDown() override {
        SetErrorBoxHandler(nullptr);
        SetPostErrorBoxHandler(nullptr);
        ResetLogForTesting();
    }

    // Decodes from a heap copy of exactly the stream into exactly `capacity` bytes, so that
    // AddressSanitizer sees any read or write past either.
    int Decode(const std::vector<uint8_t>& stream, size_t capacity, int& width, int& height) {
        ExactBytes in(stream.empty() ? std::vector<uint8_t>{0} : stream, stream.size());
        m_out = std::vector<uint8_t>(capacity, 0xEE);
        ExactBytes out(m_out);
        const int result = DecodeJfif(in.data.get(), in.size, out.data.get(), out.size, width, height);
        std::memcpy(m_out.data(), out.data.get(), capacity);
        return result;
    }
    // The text of the one box posted since the last call (empty when none was).
    std::string OneBox() {
        EXPECT_LE(m_posted.size(), 1u);
        std::string text;
        if (!m_posted.empty()) {
            EXPECT_EQ(m_posted.front().first, "Error");
            text = m_posted.front().second;
        }
        m_posted.clear();
        return text;
    }

    std::vector<std::pair<std::string, std::string>> m_posted;
    std::vector<uint8_t> m_out;
};

TEST_F(JfifDecoderTest, SeventeenByNineFillsTwoUnitColumnsAndOneUnitRowLikeTurboJpeg) {
    const std::vector<uint8_t> stream = test::TurboEncode(test::TestPictureRgb(17, 9), 17, 9, TJSAMP_420);
    int refWidth = 0;
    int refHeight = 0;
    const std::vector<uint8_t> reference = test::TurboDecodeBgr(stream, refWidth, refHeight);

    int width = 30;  // what the request names; the stream decides
    int height = 30;
    ASSERT_EQ(Decode(stream, UnitBytes(17, 9), width, height), 0);
    EXPECT_EQ(OneBox(), "");
    EXPECT_EQ(width, 17);
    EXPECT_EQ(height, 9);
    // The image rows are TurboJPEG's; the rest of the unit row repeats the last image row.
    EXPECT_EQ(std::vector<uint8_t>(m_out.begin(), m_out.begin() + 17 * 3 * 9), reference);
    for (int row = 9; row < 16; ++row) {
        EXPECT_TRUE(std::equal(m_out.begin() + row * 51, m_out.begin() + (row + 1) * 51, m_out.begin() + 8 * 51))
            << "row " << row;
    }
}

TEST_F(JfifDecoderTest, RefusesABufferShortOfWholeUnitsWithoutWriting) {
    const std::vector<uint8_t> stream = test::TurboEncode(test::TestPictureRgb(40, 20), 40, 20, TJSAMP_420);
    int width = 0;
    int height = 0;
    // 20 rows fit, the 32 rows of two units do not.
    ASSERT_EQ(Decode(stream, UnitBytes(40, 20) - 1, width, height), -1);
    EXPECT_EQ(OneBox(), "Initialization failed... Status: -2");
    EXPECT_TRUE(std::all_of(m_out.begin(), m_out.end(), [](uint8_t b) { return b == 0xEE; }));
}

struct LayoutCase {
    const char* name;
    std::vector<uint8_t> (*make)(const std::vector<uint8_t>& good);
    const char* message;  // nullptr: accepted; else the start of the box text
};

// The same 32 x 32 stream with its segments rearranged.
const LayoutCase kLayoutCases[] = {
    {"as encoded", [](const std::vector<uint8_t>& s) { return s; }, nullptr},
    {"COM before the first DQT",
     [](const std::vector<uint8_t>& s) { return test::Inserted(s, test::SegmentOffset(s, 0xDB, 0), test::kComSegment); },
     nullptr},
    {"COM before each DQT",
     [](const std::vector<uint8_t>& s) {
         const auto once = test::Inserted(s, test::SegmentOffset(s, 0xDB, 1), test::kComSegment);
         return test::Inserted(once, test::SegmentOffset(once, 0xDB, 0), test::kComSegment);
     },
     nullptr},
    {"SOF0 after the Huffman tables", test::FrameAfterHuffmanTables, nullptr},
    {"two COM segments in a row",
     [](const std::vector<uint8_t>& s) {
         auto two = test::kComSegment;
         two.insert(two.end(), test::kComSegment.begin(), test::kComSegment.end());
         return test::Inserted(s, test::SegmentOffset(s, 0xDB, 0), two);
     },
     "JPEG DQT not found... marker: 0xfe   expected: 0xdb\nError in file jpgmisc at line"},
    // SOF0 is looked for right after the quantization tables and, when it is not there,
    // after the Huffman tables; anything else in the first place is taken for a missing DHT.
    {"DRI in front of SOS",
     [](const std::vector<uint8_t>& s) { return test::Inserted(s, test::SegmentOffset(s, 0xDA), test::kDriSegment); },
     "JPEG SOS not found\n"},
    {"DRI between SOF0 and the Huffman tables",
     [](const std::vector<uint8_t>& s) { return test::Inserted(s, test::SegmentOffset(s, 0xC4), test::kDriSegment); },
     "JPEG DHT not found\n"},
    {"DRI right after the quantization tables",
     [](const std::vector<uint8_t>& s) { return test::Inserted(s, test::SegmentOffset(s, 0xC0), test::kDriSegment); },
     "JPEG DHT not found\n"},
    {"DRI right after the quantization tables, SOF0 after the Huffman tables",
     [](const std::vector<uint8_t>& s) {
         const auto late = test::FrameAfterHuffmanTables(s);
         return test::Inserted(late, test::SegmentOffset(late, 0xC4), test::kDriSegment);
     },
     "JPEG DHT not found\n"},
    {"DRI after a late SOF0",
     [](const std::vector<uint8_t>& s) {
         const auto late = test::FrameAfterHuffmanTables(s);
         return test::Inserted(late, test::SegmentOffset(late, 0xDA), test::kDriSegment);
     },
     "JPEG SOS not found\n"},
    {"DRI between the Huffman tables and a late SOF0",
     [](const std::vector<uint8_t>& s) {
         const auto late = test::FrameAfterHuffmanTables(s);
         return test::Inserted(late, test::SegmentOffset(late, 0xC0), test::kDriSegment);
     },
     "JPEG SOF0 not found\n"},
    {"no SOF0 at all",
     [](const std::vector<uint8_t>& s) { return test::WithoutSegment(s, 0xC0); },
     "JPEG SOF0 not found\n"},
    {"bad SOI",
     [](const std::vector<uint8_t>& s) {
         auto out = s;
         out[1] = 0xD9;
         return out;
     },
     "marker: 0xffd9   expected: 0xd8\nError in file jpgmisc at line 0."},
    {"no APP0",
     [](const std::vector<uint8_t>& s) {
         const auto app0 = test::Segments(s)[1];
         auto out = s;
         out.erase(out.begin() + app0.offset, out.begin() + app0.offset + app0.size);
         return out;
     },
     "JPEG APP0 not found\n"},
    {"APP0 that is not JFIF",
     [](const std::vector<uint8_t>& s) {
         auto out = s;
         out[test::Segments(s)[1].offset + 7] = 'X';
         return out;
     },
     "Error in file jpgmisc at line"},
};

TEST_F(JfifDecoderTest, AcceptsOnlyTheServersSegmentLayoutWithItsMessages) {
    const std::vector<uint8_t> good = test::TurboEncode(test::TestPictureRgb(32, 32), 32, 32, TJSAMP_420);
    int refWidth = 0;
    int refHeight = 0;
    const std::vector<uint8_t> reference = test::TurboDecodeBgr(good, refWidth, refHeight);
    for (const LayoutCase& c : kLayoutCases) {
        SCOPED_TRACE(c.name);
        int width = 32;
        int height = 32;
        const int result = Decode(c.make(good), UnitBytes(32, 32), width, height);
        const std::string box = OneBox();
        if (c.message == nullptr) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(box, "");
            EXPECT_EQ(m_out, reference);
        } else {
            EXPECT_EQ(result, -1);
            EXPECT_EQ(box.rfind(c.message, 0), 0u) << box;
        }
    }
}

TEST_F(JfifDecoderTest, RefusesOtherFrameKinds) {
    const std::vector<uint8_t> picture = test::TestPictureRgb(32, 32);
    const struct {
        const char* name;
        std::vector<uint8_t> stream;
        const char* message;
    } cases[] = {
        // SOF2 stands where SOF0 may be and is not DHT either.
        {"progressive", test::TurboEncode(picture, 32, 32, TJSAMP_420, 80, TJFLAG_PROGRESSIVE), "JPEG DHT not found\n"},
        {"4:4:4", test::TurboEncode(picture, 32, 32, TJSAMP_444), "Error in file jpgmisc at line"},
        {"grey", test::TurboEncode(picture, 32, 32, TJSAMP_GRAY), "JPEG DQT not found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int width = 0;
        int height = 0;
        EXPECT_EQ(Decode(c.stream, UnitBytes(32, 32), width, height), -1);
        const std::string box = OneBox();
        EXPECT_EQ(box.rfind(c.message, 0), 0u) << box;
    }
}

TEST_F(JfifDecoderTest, RefusesEveryCutOfTheStreamWithOneBox) {
    const std::vector<uint8_t> stream = test::TurboEncode(test::TestPictureRgb(48, 32), 48, 32, TJSAMP_420);
    const size_t entropy = test::SegmentOffset(stream, 0xDA) + test::Segments(stream).back().size;
    for (size_t cut = 0; cut + 2 < stream.size(); cut += cut < entropy ? 1 : 7) {
        SCOPED_TRACE("cut to " + std::to_string(cut));
        int width = 0;
        int height = 0;
        EXPECT_EQ(Decode(std::vector<uint8_t>(stream.begin(), stream.begin() + cut), UnitBytes(48, 32), width, height),
                  -1);
        const std::string box = OneBox();
        if (cut > entropy + 8) {
            EXPECT_EQ(box.rfind("decode error status: ", 0), 0u) << box;
        }
        EXPECT_FALSE(box.empty());
    }
}

}  // namespace
}  // namespace corvane
