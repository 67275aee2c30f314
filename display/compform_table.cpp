#include "display/compform_table.h"

#include "config/log.h"
#include "protocol/message_channel.h"

namespace corvane {

int CompformAtIndex(int index) {
    const int number = index >= 0 && static_cast<size_t>(index) < kCompforms.size()
                           ? kCompforms[static_cast<size_t>(index)].number
                           : 0;
    DebugPrint(10, "compform value[%d] = %d\n", index, number);
    return number;
}

const char* CompformName(int compform) {
    for (const CompformEntry& entry : kCompforms) {
        if (entry.number == compform) return entry.name;
    }
    return "C1";
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
