// ProcessMessage: the one entry point through which every server message is acted on.
//
// The receive thread calls ProcessMessage once per message: it reads one frame through the
// message channel, converts the record, logs it and hands it to the handler of its type.
// Only that thread calls into the dispatcher, except for the setters documented below.
//
// A message too short for the record its type needs is logged and ignored; no handler
// reads past the bytes the message holds.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "display/display_events.h"
#include "display/drawing_requests.h"
#include "display/frame_buffer.h"
#include "display/frame_rate.h"
#include "display/video_frames.h"
#include "protocol/message_channel.h"

namespace corvane {

class MessageDispatcher {
public:
    // `jfifDecode` replaces the drawing-request frame decoder (tests); null: the real one.
    MessageDispatcher(MessageChannel& channel, FrameBuffer& frameBuffer, DisplayEvents& events,
                      JfifDecodeFunction jfifDecode = nullptr);

    // 0 when the message was handled or ignored; -1 when the read failed or the type is
    // unknown (the receive loop then treats the connection as lost).
    [[nodiscard]] int ProcessMessage();

    // The server's protocol version times 100 (below 200: the old image path). Set after
    // login, before the receive thread starts.
    void SetProtocolVersion(int version) { m_protocolVersion = version; }
    // The server's version times 100 (940 and later: drawing requests are top-down). Set
    // with the protocol version.
    void SetServerVersion(int version) { m_serverVersion = version; }

    // How many drawing-request frames decode at once (2, 4 or 8; 0 is 8). Any thread.
    void SetThreadLimit(int limit) { m_drawing.SetThreadLimit(limit); }
    // Waits until every drawing-request frame in flight has been drawn or given up; the
    // session calls it when the receive thread has ended.
    void FinishDrawing() { m_drawing.WaitForIdle(); }

    // The compression format the server is sending now: 1 at start, changed by image
    // updates with format tag 257 and by session control (code 5016). Any thread may read.
    [[nodiscard]] int CurrentCompform() const { return m_compform.load(); }
    void SetCurrentCompform(int compform) { m_compform.store(compform); }

    // The last status-information record's server time and second value. Any thread.
    [[nodiscard]] int32_t ServerTime() const { return m_serverTime.load(); }
    [[nodiscard]] int32_t ServerSecondValue() const { return m_serverSecondValue.load(); }

    // The text of the last windowing request taken in seamless mode (at most 511 bytes, so
    // the buffer stays zero-terminated). Receive thread only; valid until the next message.
    [[nodiscard]] std::string_view WindowText() const {
        return {m_windowText.data(), m_windowTextLength};
    }

private:
    // The record header and the converted record of the message being handled.
    struct Message {
        const uint8_t* header;
        const uint8_t* record;  // host order
        size_t recordBytes;  // what the message holds behind the record header
        int decodeClass;     // as the reader left it
        int jpegWidth;       // of a JPEG image the reader decoded, else 0
        int jpegHeight;
    };

    [[nodiscard]] int Dispatch(uint16_t type, const Message& message);
    [[nodiscard]] int UnknownMessage(int type);
    void Bell(const Message& message);
    void StatusInformation(const Message& message);
    void Windowing(const Message& message);
    void ImageUpdate(const Message& message);
    void DrawingRequest(const Message& message);

    // The frame-rate title: image updates and image-cache data show it only at debug level
    // 66; drawing requests whenever the period ends or the compform changed.
    void CountImageFrame();
    void CountDrawingFrame();
    void ShowRate();

    // Handlers still to come: each one logs what it was given and draws nothing yet.
    void PaletteChunkRectangles(const Message& message, int depth);
    void Pixel16Rectangles(const Message& message, int depth);
    void PlanarRectangles(const Message& message, int depth, size_t imageDataOffset);
    void JpegRectangles(const Message& message, int depth);
    // True when a worker took the frame (it counts the frame as drawn when it is done).
    [[nodiscard]] bool DrawingRequestFrame(const Message& message, int compform);
    void ClipboardText(const Message& message);
    void CursorShape(const Message& message);
    void CursorMovement(const Message& message);
    void WindowRequest(const Message& message);

    MessageChannel& m_channel;
    FrameBuffer& m_frameBuffer;
    DisplayEvents& m_events;
    int m_protocolVersion = 100;
    std::atomic<int> m_compform{1};
    std::atomic<int32_t> m_serverTime{0};
    std::atomic<int32_t> m_serverSecondValue{0};

    FrameRateCounter m_rate;
    int m_shownCompform = -1;  // the compform the drawing-request title last showed

    static constexpr size_t kWindowTextBufferSize = 512;
    std::array<char, kWindowTextBufferSize> m_windowText{};
    size_t m_windowTextLength = 0;

    int m_serverVersion = 0;
    VideoFrameDecoder m_video;
    // Last: its destructor waits for frames that still write the frame buffer.
    DrawingRequestEngine m_drawing;
};

}  // namespace corvane
