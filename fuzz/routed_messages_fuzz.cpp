// Server messages as the receive loop handles them: read by the message reader and routed to
// the display's handlers (bell, colour table, cursor shape, status, image updates in every
// compression format, drawing requests, image cache), the clipboard's, the seamless windows'
// and the cursor movements'. The handlers keep state from one message to the next (the
// compression format, the colour table, the bitmap's orientation), so an input is a session:
//   one byte: the frame buffer's depth (see DepthFromByte), and in its high bits the server's
//             protocol version (bit 4: 2.00 rather than 1.00), its version (bit 5: 9.40, when
//             drawing requests turn top-down), seamless mode (bit 6) and local mode (bit 7,
//             when the server's pointer moves are ignored);
//   then a frame list (see SendFrameList), read until the stream ends, a frame is refused or a
//   message of a type nobody registered ends the session.
#include <atomic>
#include <string>
#include <vector>

#include "clipboard/clipboard_messages.h"
#include "display/display_messages.h"
#include "fuzz_io.h"
#include "fuzz_support.h"
#include "input/pointer_messages.h"
#include "protocol/message_channel.h"
#include "protocol/message_router.h"
#include "seamless/window_messages.h"
#include "seamless/window_requests.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::QuietLog();
    if (size < 1) return 0;
    const uint8_t control = data[0];

    corvane::fuzz::SocketPair pair;
    corvane::fuzz::SendFrameList(pair, data + 1, size - 1, {});
    pair.EndOfStream();

    // Buffers of a 640 x 480 session at depth 24: room for every input the fuzzer makes.
    static corvane::StreamConnection stream;
    static corvane::MessageChannel channel(stream);
    static const bool allocated = channel.AllocateBuffers(640, 480, 24);
    if (!allocated) __builtin_trap();
    channel.SetSocket(pair.Client());

    corvane::FrameBuffer frameBuffer;
    if (!frameBuffer.CreateWorkBitmap(61, 37, corvane::fuzz::DepthFromByte(control & 0x0F), true)) {
        __builtin_trap();
    }
    corvane::fuzz::NullEvents events;
    corvane::MessageRouter router;
    corvane::DisplayMessages display(frameBuffer, events);
    display.SetProtocolVersion((control & 0x10) != 0 ? 200 : 100);
    display.SetServerVersion((control & 0x20) != 0 ? 940 : 900);
    display.Register(router);
    // The server's clipboard goes to a port that keeps nothing; the character set from the input.
    struct NullClipboard : corvane::ClipboardPort {
        void PutServerText(std::string) override {}
        void PutServerMetafile(std::vector<uint8_t>) override {}
    } clipboardPort;
    corvane::ClipboardMessages clipboard(clipboardPort);
    clipboard.SetCharset((control & 0x08) != 0 ? corvane::ClipboardCharset::Utf8 : corvane::ClipboardCharset::Windows1252);
    clipboard.Register(router);
    // Window requests go to a table whose pop-ups are nobody's and whose answers go nowhere.
    struct NullSeamless : corvane::SeamlessPort {
        void CreatePopup(const corvane::SeamlessWindow&) override {}
        void RetakePopup(const corvane::SeamlessWindow&) override {}
        void MovePopup(uint32_t, int32_t, int32_t, int32_t, int32_t, bool) override {}
        void ShowPopup(uint32_t, corvane::PopupShow) override {}
        void DestroyPopup(uint32_t) override {}
    } seamlessPort;
    corvane::WindowRequests windowTable(seamlessPort, [](const uint8_t*, size_t) { return true; });
    corvane::WindowMessages windows;
    windows.SetSeamless((control & 0x40) != 0);
    windows.SetRequests(&windowTable);
    windows.Register(router);
    // Pointer moves go to a port that checks nothing but must not be reached in local mode.
    struct NullPointer : corvane::PointerPort {
        void MovePointer(int, int) override {}
    } pointerPort;
    const std::atomic<bool> remotePointer{(control & 0x80) == 0};
    corvane::PointerMessages pointer(pointerPort, remotePointer);
    pointer.Register(router);

    corvane::MessageFrame frame;
    for (int messages = 0; messages < 200; ++messages) {
        if (channel.ReadMessage(display.NextDecodeClass(), frame) != 0 ||
            router.Route(frame) != 0) {
            break;
        }
    }
    display.FinishDrawing();
    channel.SetSocket(-1);
    return 0;
}
