// The display's server messages: bell, colour table, cursor shape, image updates (routed by
// compression format), drawing commands, image cache data and restore, status information
// and drawing requests. Register() puts their handlers into the session's message router.
//
// Every handler runs on the receive thread; only the setters documented below may be called
// from elsewhere. A handler never waits for a person: failures are logged, and what must be
// shown is posted.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/display_events.h"
#include "display/drawing_requests.h"
#include "display/frame_buffer.h"
#include "display/frame_rate.h"
#include "display/jpeg_image_decoder.h"
#include "display/video_frames.h"
#include "protocol/message_frame.h"
#include "protocol/message_router.h"

namespace corvane {

class DisplayMessages {
public:
    // `jfifDecode` replaces the drawing-request frame decoder (tests); null: the real one.
    DisplayMessages(FrameBuffer& frameBuffer, DisplayEvents& events, JfifDecodeFunction jfifDecode = nullptr);

    // Registers the handlers of the display's message types.
    void Register(MessageRouter& router);

    // What the message reader must do with the next COMPEXT body, from the current compform.
    [[nodiscard]] int NextDecodeClass() const;

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
    // updates with format tag 257 and by the server's announcement. Any thread.
    [[nodiscard]] int CurrentCompform() const { return m_compform.load(); }
    void SetCurrentCompform(int compform) { m_compform.store(compform); }

    // The last status-information record's server time and second value. Any thread.
    [[nodiscard]] int32_t ServerTime() const { return m_serverTime.load(); }
    [[nodiscard]] int32_t ServerSecondValue() const { return m_serverSecondValue.load(); }

private:
    void Bell(const MessageFrame& message);
    void ColourTable(const MessageFrame& message);
    void CursorShape(const MessageFrame& message);
    void StatusInformation(const MessageFrame& message);
    void ImageUpdate(const MessageFrame& message);
    void DrawingRequest(const MessageFrame& message);
    void DrawingCommands(const MessageFrame& message);
    void ImageCacheData(const MessageFrame& message);
    void ImageCacheRestore(const MessageFrame& message);
    // Decodes the JPEG image of a COMPEXT image update and draws it.
    void JpegImage(const MessageFrame& message, int depth);
    // True when a worker took the frame (it counts the frame as drawn when it is done).
    [[nodiscard]] bool DrawingRequestFrame(const MessageFrame& message, int compform);

    // The frame-rate title: image updates and image-cache data show it only at debug level
    // 66; drawing requests whenever the period ends or the compform changed.
    void CountImageFrame();
    void CountDrawingFrame();
    void ShowRate();

    FrameBuffer& m_frameBuffer;
    DisplayEvents& m_events;
    int m_protocolVersion = 100;
    int m_serverVersion = 0;
    std::atomic<int> m_compform{1};
    std::atomic<int32_t> m_serverTime{0};
    std::atomic<int32_t> m_serverSecondValue{0};

    FrameRateCounter m_rate;
    int m_shownCompform = -1;  // the compform the drawing-request title last showed

    JpegImageDecoder m_jpeg;  // keeps the decoded image's buffer

    VideoFrameDecoder m_video;
    // Last: its destructor waits for frames that still write the frame buffer.
    DrawingRequestEngine m_drawing;
};

}  // namespace corvane
