// The server's stream through the message reader, one frame after another until the stream
// ends or a frame is refused. The first byte chooses:
//   bits 0..1  what the reader expects of a COMPEXT body (deflate, JPEG image, left as it came);
//   bit 2      the rest is a frame list (see SendFrameList) rather than bytes for the wire as
//              they are, so that deciphered and inflated bodies are ones the fuzzer chose;
//   bit 3      a server code, which changes the payload key;
//   bits 4..7  the session's size, and with it the size of the message buffers (4.5 to 27 kB),
//              so that frames larger than the buffers come up.
// Every frame handed on is read whole, so that a description pointing past the buffers shows.
#include <cstring>

#include "fuzz_io.h"
#include "fuzz_support.h"
#include "protocol/message_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::QuietLog();
    if (size < 1) return 0;
    const uint8_t control = data[0];
    const int selector = (control & 0x03) == 3 ? corvane::kDecoderDeflate : control & 0x03;
    const std::string serverCode = (control & 0x08) != 0 ? "ABC" : "";
    const int width = 16 * (1 + (control >> 4));

    corvane::fuzz::SocketPair pair;
    if ((control & 0x04) != 0) {
        corvane::fuzz::SendFrameList(pair, data + 1, size - 1, serverCode);
    } else {
        pair.Send(data + 1, size - 1);
    }
    pair.EndOfStream();

    corvane::StreamConnection stream;
    corvane::MessageChannel channel(stream);
    channel.SetServerCode(serverCode);
    channel.SetSocket(pair.Client());
    if (!channel.AllocateBuffers(width, 64, 8)) __builtin_trap();

    corvane::MessageFrame frame;
    for (int frames = 0; frames < 1000 && channel.ReadMessage(selector, frame) == 0; ++frames) {
        if (frame.header == nullptr || frame.record != frame.header + corvane::kRecordHeaderSize) {
            __builtin_trap();
        }
        // Compared without adding to recordBytes, which a wrapped-around length would defeat.
        if (frame.recordBytes > channel.BufferSize() - corvane::kRecordHeaderSize) __builtin_trap();
        // Touch every byte the frame claims.
        uint8_t sum = 0;
        for (size_t i = 0; i < corvane::kRecordHeaderSize + frame.recordBytes; ++i) {
            sum ^= frame.header[i];
        }
        volatile uint8_t sink = sum;
        (void)sink;
    }
    return 0;
}
