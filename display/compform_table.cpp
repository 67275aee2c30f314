#include "display/compform_table.h"

#include "config/log.h"
#include "protocol/message_channel.h"

namespace corvane {

namespace {

// A number outside the table is named as the format requested by default, "C1".
constexpr size_t kDefaultNameIndex = 4;

}  // namespace

int CompformAtIndex(int index) {
    const int number = index >= 0 && static_cast<size_t>(index) < kCompforms.size()
                           ? kCompforms[static_cast<size_t>(index)].number
                           : 0;
    DebugPrint(10, "compform value[%d] = %d\n", index, number);
    return number;
}

const char* CompformName(int compform) {
    size_t index = kDefaultNameIndex;
    for (size_t i = 0; i < kCompforms.size(); ++i) {
        if (kCompforms[i].number == compform) {
            index = i;
            break;
        }
    }
    const char* name = kCompforms[index].name;
    DebugPrint(10, "compform name[%zu] = %s\n", index, name);
    return name;
}

int DecodeClassForCompform(int compform) {
    switch (compform) {
        case 6:
        case 9:
            return kDecoderRawCompext;
        case 10:
        case 11:
        case 12:
            return kDecoderJpeg;
        default:
            return kDecoderDeflate;
    }
}

ImageDecoder ImageDecoderForCompform(int compform) {
    switch (compform) {
        case 4:
        case 5:
            return ImageDecoder::Raw;
        case 6:
        case 9:
            return ImageDecoder::Planar;
        case 7:
        case 8:
            return ImageDecoder::Pixels16;
        case 10:
        case 11:
        case 12:
            return ImageDecoder::Jpeg;
        default:
            return ImageDecoder::PaletteChunks;
    }
}

}  // namespace corvane
