// The server's init reply of the login (frame header, record header, init record) through
// the message reader's ReadInitReply, then the fields the login takes from it: the session's
// size and depth for the message buffers, the banner and the options.
#include <cstring>

#include "fuzz_io.h"
#include "fuzz_support.h"
#include "protocol/framing_limits.h"
#include "protocol/message_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::QuietLog();
    corvane::fuzz::SocketPair pair;
    pair.Send(data, size);
    pair.EndOfStream();

    corvane::StreamConnection stream;
    corvane::MessageChannel channel(stream);
    channel.SetSocket(pair.Client());
    uint8_t record[corvane::kInitRecordSize];
    if (channel.ReadInitReply(record) != 0) return 0;

    using Layout = corvane::InitRecordLayout;
    const int width = corvane::LoadField<uint16_t>(record, Layout::kWidth);
    const int height = corvane::LoadField<uint16_t>(record, Layout::kHeight);
    const size_t buffers = corvane::MessageBufferSize(width, height, record[Layout::kDepth]);
    if (buffers > corvane::kMaxFrameSize) __builtin_trap();
    const size_t banner =
        strnlen(reinterpret_cast<const char*>(record + Layout::kBanner), Layout::kBannerSize);
    const size_t options = strnlen(reinterpret_cast<const char*>(record + Layout::kAddOptions),
                                   Layout::kAddOptionsSize);
    volatile size_t sink = buffers + banner + options +
                           corvane::LoadField<uint32_t>(record, Layout::kStatus) +
                           corvane::LoadField<uint32_t>(record, Layout::kSessionId);
    (void)sink;
    return 0;
}
