#include "tools/testserver/session_runner.h"

#include <sys/socket.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "protocol/frame_builder.h"
#include "protocol/message_channel.h"
#include "protocol/records.h"
#include "clipboard/clipboard_metafile.h"
#include "tools/testserver/client_messages.h"
#include "tools/testserver/desktop.h"
#include "tools/testserver/drawing_stream.h"
#include "tools/testserver/jpeg_image_updates.h"
#include "tools/testserver/server_messages.h"
#include "seamless/window_requests.h"
#include "tools/testserver/window_follower.h"
#include "tools/testserver/x11_desktop.h"

namespace corvane::testserver {

namespace {

constexpr uint32_t kExitCode = 5002;
constexpr uint32_t kAllowReconnection = 5019;
// A COMPEXT body that is not a zlib stream: the client must skip it and carry on.
constexpr size_t kCorruptBodySize = 48;
constexpr uint8_t kCorruptByte = 0xA5;
constexpr uint32_t kTooSmallFrame = 12;
// A frame the client must wait for: well below every buffer limit, so that only its missing
// second half can stop the reader.
constexpr uint32_t kHalfFrameBody = 4096;
constexpr uint8_t kHalfFrameByte = 0x5A;
// How often a seamless session looks at the X display's windows.
constexpr auto kWindowLookInterval = std::chrono::milliseconds(200);

// Sessions served by this process: each draws other faults.
std::atomic<uint32_t> g_sessionsRun{0};

class Session {
  public:
    Session(StreamConnection& stream, int socket, const ServerOptions& options, const ServerSession& session,
            std::vector<bool>& fired, EventLog& log, RunControl& control, X11Desktop* x11, const Recording* replay,
            RecordingWriter* record)
        : m_stream(stream),
          m_socket(socket),
          m_options(options),
          m_session(session),
          m_log(log),
          m_control(control),
          m_desktop({session.geometry.width, session.geometry.height, session.geometry.depth, options.seed}),
          m_x11(x11),
          m_pixels(x11 != nullptr ? static_cast<const PixelSource&>(*x11->screen) : m_desktop),
          m_replay(replay),
          m_record(record),
          m_fired(fired),
          m_faultRandom(options.seed * 7919u + ++g_sessionsRun) {
        if (m_x11 != nullptr) {
            m_x11->screen->SetSessionDepth(session.geometry.depth);
        } else if (IsDrawingCompform(options.compform) && !m_desktop.Indexed()) {
            m_drawing = std::make_unique<DrawingStream>(m_desktop, options.compform);
        }
    }

    SessionEnd Run();

  private:
    void ReadClient();
    [[nodiscard]] bool Finished() const { return m_closed.load(); }
    void MarkClosed();
    bool Send(const std::vector<uint8_t>& body);
    bool SendFrame(uint16_t envelope, const uint8_t* body, size_t size, BodyCoding coding);
    bool Write(const uint8_t* bytes, size_t size);
    void SendUpdate(const std::vector<PixelRect>& rects);
    [[nodiscard]] bool MovingUpdatesLeft() const;
    [[nodiscard]] std::optional<Clock::time_point> NextWake() const;
    void RunDueSteps(Clock::time_point now);
    void Perform(const ScenarioStep& step);
    // --faults: the next fault's time, and the fault itself.
    [[nodiscard]] Clock::time_point NextFaultTime();
    void InjectFault();
    void SendClipboard(std::string_view text);
    void AnswerClipboardRequest();
    void AnnounceWindows();
    void FollowWindows();
    void SendWindowRequests(const std::vector<WindowAnnouncement>& requests);
    void ActOnWindowInputs();
    void PlayInput(const ClientEvent& event);
    [[nodiscard]] std::vector<PixelRect> OnSession(std::vector<PixelRect> rects) const;
    void SendScreenChanges();
    void SendCursorChange();
    void Replay();

    StreamConnection& m_stream;
    const int m_socket;
    const ServerOptions& m_options;
    const ServerSession& m_session;
    EventLog& m_log;
    RunControl& m_control;
    const Desktop m_desktop;
    // A real X11 display served in place of the generated desktop, or null.
    X11Desktop* const m_x11;
    const PixelSource& m_pixels;  // what the image updates show: the X11 screen or m_desktop
    // Compforms 101, 102 and 201: every update is a drawing request of the whole screen.
    std::unique_ptr<DrawingStream> m_drawing;
    const Recording* const m_replay;   // or null
    RecordingWriter* const m_record;   // or null
    bool m_recordFailed = false;

    // The rest belongs to the serving thread, except the two flags the reader sets.
    FrameBuilder m_frame;
    std::vector<bool>& m_fired;
    std::mt19937 m_faultRandom;
    std::optional<Clock::time_point> m_nextFault;
    Clock::time_point m_start;
    Clock::time_point m_nextFrame;
    int m_updatesSent = 0;
    bool m_movingStopped = false;
    bool m_serverExit = false;
    std::atomic<bool> m_closed{false};
    std::atomic<bool> m_clientExit{false};
    // The session's clipboard: what the scenario or the client last put there.
    std::mutex m_clipboardMutex;
    std::string m_clipboard;                  // under m_clipboardMutex
    std::atomic<bool> m_clipboardAsked{false};  // set by the reader, answered by the serving thread
    // Seamless on an X display: its windows as last seen, and the next look.
    WindowFollower m_followedWindows;
    std::optional<Clock::time_point> m_nextWindowLook;
    // What the client asked of the X display's windows, queued by the reader for the serving
    // thread (which owns the window connection).
    std::mutex m_windowInputMutex;
    std::vector<WindowInput> m_windowInputs;  // under m_windowInputMutex
    std::atomic<bool> m_windowAsked{false};
};

bool ReadFileBytes(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

void Session::ReadClient() {
    MessageChannel channel(m_stream);
    channel.SetSocket(m_socket);
    channel.SetServerCode(m_options.serverCode);
    const SessionGeometry& g = m_session.geometry;
    if (!channel.AllocateBuffers(g.width, g.height, g.depth)) {
        m_log.Write("reader failed: no message buffers");
    } else {
        for (;;) {
            MessageFrame frame;
            if (channel.ReadMessage(kDecoderDeflate, frame) != 0) break;
            const ClientEvent event =
                DescribeClientMessage(frame.header, kRecordHeaderSize + frame.recordBytes, m_options.serverCode);
            m_log.Write(event.line);
            PlayInput(event);
            if (event.sessionControlCode == kExitCode) m_clientExit = true;
            if (event.clipboardText) {
                std::lock_guard lock(m_clipboardMutex);
                m_clipboard = event.text;
            }
            if (event.clipboardText && m_x11 != nullptr) m_x11->clipboard->Own(event.text);
            if (event.clipboardRequest) {
                m_clipboardAsked = true;
                m_control.Notify();
            }
            if (event.window && m_x11 != nullptr && m_options.seamless) {
                {
                    std::lock_guard lock(m_windowInputMutex);
                    m_windowInputs.push_back(*event.window);
                }
                m_windowAsked = true;
                m_control.Notify();
            }
        }
    }
    if (m_x11 != nullptr) m_x11->input->ReleaseAll();  // nothing stays held after the client has gone
    m_log.Write("connection closed");
    MarkClosed();
}

void Session::PlayInput(const ClientEvent& event) {
    if (m_x11 == nullptr) return;
    if (event.key && !m_x11->input->Key(event.key->code, event.key->flags, event.key->press)) {
        m_log.Write("key dropped: code=" + std::to_string(event.key->code) + " is not on the server's keyboard");
    }
    if (event.pointer && !m_x11->input->Pointer(event.pointer->x, event.pointer->y, event.pointer->button,
                                                event.pointer->action)) {
        m_log.Write("pointer dropped: button=" + std::to_string(event.pointer->button) +
                    " action=" + std::to_string(event.pointer->action));
    }
}

// The X11 screen may be larger than a session made before it (one resumed, say): only what
// lies on the session's screen is sent.
std::vector<PixelRect> Session::OnSession(std::vector<PixelRect> rects) const {
    const int width = std::min(m_session.geometry.width, m_pixels.Width());
    const int height = std::min(m_session.geometry.height, m_pixels.Height());
    std::erase_if(rects, [&](PixelRect& r) {
        r.width = std::min(r.width, width - r.x);
        r.height = std::min(r.height, height - r.y);
        return r.width <= 0 || r.height <= 0;
    });
    return rects;
}

void Session::SendScreenChanges() {
    std::vector<PixelRect> changed;
    if (!m_x11->screen->CaptureChanges(kChangeTile, changed)) {
        m_log.Write("x11 display lost");
        MarkClosed();
        return;
    }
    changed = OnSession(std::move(changed));
    if (!changed.empty()) SendUpdate(changed);
}

void Session::MarkClosed() {
    m_closed = true;
    m_control.Notify();
}

bool Session::Write(const uint8_t* bytes, size_t size) {
    if (m_stream.zRPshWrite(m_socket, bytes, static_cast<int>(size)) == static_cast<int>(size)) {
        // Only what the client was given: a replay must not send bytes that never went out.
        if (m_record != nullptr && !m_record->Append(bytes, size) && !m_recordFailed) {
            m_recordFailed = true;
            m_log.Write("recording write failed");
        }
        return true;
    }
    MarkClosed();
    return false;
}

void Session::Replay() {
    // Chunks small enough that a stop or a closed client is noticed soon, large enough that
    // the writes cost nothing beside the client's reading.
    constexpr size_t kChunk = 1 << 20;
    const std::vector<uint8_t>& bytes = m_replay->bytes;
    const Clock::time_point start = Clock::now();
    const Clock::time_point until = start + std::chrono::seconds(m_options.replayForSeconds);
    size_t sent = 0;
    int rounds = 0;
    bool failed = false;
    do {
        size_t at = 0;
        while (at < bytes.size() && !Finished() && !m_control.StopRequested()) {
            const size_t size = std::min(kChunk, bytes.size() - at);
            if (!Write(bytes.data() + at, size)) {
                failed = true;
                break;
            }
            at += size;
            sent += size;
        }
        ++rounds;
    } while (!failed && Clock::now() < until && !Finished() && !m_control.StopRequested());
    if (rounds > 1) m_log.Write("replay rounds=" + std::to_string(rounds));
    const auto ms = [start] {
        return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    };
    m_log.Write("replay sent bytes=" + std::to_string(sent) + " of=" + std::to_string(bytes.size()) +
                " updates=" + std::to_string(m_replay->updates) + " ms=" + ms());
    m_control.WaitUntil(std::nullopt, [this] { return Finished(); });
    // The client closes once it has drawn what it was told to wait for: this is the time the
    // whole stream took it, from the first byte offered.
    m_log.Write("replay end ms=" + ms());
}

bool Session::SendFrame(uint16_t envelope, const uint8_t* body, size_t size, BodyCoding coding) {
    if (!m_frame.Build(envelope, body, size, m_options.serverCode, coding)) {
        m_log.Write("frame not built: bytes=" + std::to_string(size));
        return false;
    }
    return Write(m_frame.data(), m_frame.size());
}

bool Session::Send(const std::vector<uint8_t>& body) {
    return SendFrame(m_options.envelope, body.data(), body.size(), DefaultCoding(m_options.envelope));
}

void Session::SendUpdate(const std::vector<PixelRect>& rects) {
    const int frame = m_updatesSent;
    const uint32_t compform = CompformForDesktop(m_pixels, m_options.compform);
    if (m_drawing) {
        if (!Send(m_drawing->Body(frame))) return;
    } else if (IsJpegCompform(compform)) {
        // A JPEG image goes out as it is, in the one envelope whose reader decodes it.
        const std::vector<uint8_t> body = JpegImageUpdateBody(m_pixels, frame, rects, compform);
        if (body.empty() || !SendFrame(COMPEXT, body.data(), body.size(), BodyCoding::AsIs)) return;
    } else if (!Send(ImageUpdateBody(m_pixels, frame, rects, compform))) {
        return;
    }
    ++m_updatesSent;
    if (m_record != nullptr) m_record->CountUpdate();
    m_log.Write("frame sent n=" + std::to_string(m_updatesSent) + " desktop=" + std::to_string(frame) +
                " rects=" + std::to_string(rects.size()) + " bytes=" + std::to_string(m_frame.size()));
}

bool Session::MovingUpdatesLeft() const {
    return !m_options.still && !m_movingStopped && (m_options.frames == 0 || m_updatesSent - 1 < m_options.frames);
}

std::optional<Clock::time_point> Session::NextWake() const {
    std::optional<Clock::time_point> wake;
    if (MovingUpdatesLeft()) wake = m_nextFrame;
    for (size_t i = 0; i < m_options.scenario.size(); ++i) {
        const ScenarioStep& step = m_options.scenario[i];
        if (m_fired[i] || step.trigger != ScenarioTrigger::AfterMs) continue;
        const Clock::time_point due = m_start + std::chrono::milliseconds(step.when);
        if (!wake || due < *wake) wake = due;
    }
    if (m_nextFault && (!wake || *m_nextFault < *wake)) wake = m_nextFault;
    if (m_nextWindowLook && (!wake || *m_nextWindowLook < *wake)) wake = m_nextWindowLook;
    return wake;
}

void Session::RunDueSteps(Clock::time_point now) {
    for (size_t i = 0; i < m_options.scenario.size() && !Finished(); ++i) {
        const ScenarioStep& step = m_options.scenario[i];
        const bool due = step.trigger == ScenarioTrigger::AfterFrames
                             ? m_updatesSent >= step.when
                             : now - m_start >= std::chrono::milliseconds(step.when);
        if (m_fired[i] || !due) continue;
        m_fired[i] = true;
        Perform(step);
    }
}

Clock::time_point Session::NextFaultTime() {
    const int mean = m_options.faultsMs;
    std::uniform_int_distribution<int> after(mean / 2, mean + mean / 2);
    return Clock::now() + std::chrono::milliseconds(after(m_faultRandom));
}

void Session::InjectFault() {
    ScenarioStep step;
    step.trigger = ScenarioTrigger::AfterMs;
    const ScenarioAction kinds[] = {ScenarioAction::Drop,           ScenarioAction::HalfFrame,
                                    ScenarioAction::BadFrameSize12, ScenarioAction::CorruptCompext,
                                    ScenarioAction::Bell,           ScenarioAction::ColourTable,
                                    ScenarioAction::ClipboardText,  ScenarioAction::Warp};
    step.action = kinds[std::uniform_int_distribution<size_t>(0, std::size(kinds) - 1)(m_faultRandom)];
    if (step.action == ScenarioAction::ClipboardText) {
        step.text = "fault " + std::to_string(m_faultRandom());
    } else if (step.action == ScenarioAction::Warp) {
        step.code = m_faultRandom() % static_cast<uint32_t>(std::max(1, m_session.geometry.width));
        step.argument = m_faultRandom() % static_cast<uint32_t>(std::max(1, m_session.geometry.height));
    }
    m_log.Write("fault " + DescribeAction(step));
    Perform(step);
    // A cut frame leaves the client waiting for the rest: the connection goes with it.
    if (step.action == ScenarioAction::HalfFrame && !Finished()) Perform(ScenarioStep{.action = ScenarioAction::Drop});
}

void Session::Perform(const ScenarioStep& step) {
    m_log.Write("action " + DescribeAction(step));
    switch (step.action) {
        case ScenarioAction::SessionControl:
            if (Send(SessionControlBody(step.code, step.argument)) && step.code == kExitCode) m_serverExit = true;
            break;
        case ScenarioAction::Drop:
            ::shutdown(m_socket, SHUT_RDWR);
            MarkClosed();
            break;
        case ScenarioAction::BadFrameSize12: {
            uint8_t header[kFrameHeaderSize];
            MakeFrameHeader(header, kTooSmallFrame, kEnvelopePlain, 0);
            FrameHeaderToWire(header);
            (void)Write(header, sizeof header);  // a failure has marked the session closed
            break;
        }
        case ScenarioAction::HalfFrame: {
            std::vector<uint8_t> bytes(kFrameHeaderSize + kHalfFrameBody / 2, kHalfFrameByte);
            // The frame's size counts its header.
            MakeFrameHeader(bytes.data(), kFrameHeaderSize + kHalfFrameBody, kEnvelopePlain, 0);
            FrameHeaderToWire(bytes.data());
            (void)Write(bytes.data(), bytes.size());
            break;
        }
        case ScenarioAction::Bell:
            (void)Send(BellBody());
            break;
        case ScenarioAction::CorruptCompext: {
            const std::vector<uint8_t> junk(kCorruptBodySize, kCorruptByte);
            (void)SendFrame(COMPEXT, junk.data(), junk.size(), BodyCoding::AsIs);
            break;
        }
        case ScenarioAction::ColourTable:
            (void)Send(ColourTableBody());
            break;
        case ScenarioAction::StopUpdates:
            m_movingStopped = true;
            break;
        case ScenarioAction::Warp:
            (void)Send(CursorMovementBody(static_cast<int32_t>(step.code), static_cast<int32_t>(step.argument)));
            break;
        case ScenarioAction::ClipboardText:
        case ScenarioAction::ClipboardSet:
        case ScenarioAction::ClipboardFile:
        case ScenarioAction::ClipboardSetFile: {
            std::string text = step.text;
            const bool fromFile =
                step.action == ScenarioAction::ClipboardFile || step.action == ScenarioAction::ClipboardSetFile;
            if (fromFile && !ReadFileBytes(step.text, text)) {
                m_log.Write("clipboard file unreadable path=" + step.text);
                break;
            }
            {
                std::lock_guard lock(m_clipboardMutex);
                m_clipboard = text;
            }
            if (step.action == ScenarioAction::ClipboardText || step.action == ScenarioAction::ClipboardFile) {
                SendClipboard(text);
            }
            break;
        }
        case ScenarioAction::ClipboardMetafile: {
            std::string bytes;
            if (!ReadFileBytes(step.text, bytes)) {
                m_log.Write("clipboard file unreadable path=" + step.text);
                break;
            }
            SendClipboard(MetafileText(std::vector<uint8_t>(bytes.begin(), bytes.end())));
            break;
        }
        case ScenarioAction::WindowCreate:
        case ScenarioAction::WindowMove:
        case ScenarioAction::WindowMap:
        case ScenarioAction::WindowUnmap:
        case ScenarioAction::WindowDestroy: {
            constexpr uint32_t kCodes[] = {kWindowCreate, kWindowMove, kWindowMap, kWindowUnmap, kWindowDestroy};
            WindowAnnouncement window;
            window.code = kCodes[static_cast<int>(step.action) - static_cast<int>(ScenarioAction::WindowCreate)];
            const std::vector<int64_t>& n = step.numbers;
            auto number = [&n](size_t i) { return i < n.size() ? n[i] : 0; };
            window.id = static_cast<uint32_t>(number(0));
            window.x = static_cast<int32_t>(number(1));
            window.y = static_cast<int32_t>(number(2));
            window.width = static_cast<int32_t>(number(3));
            window.height = static_cast<int32_t>(number(4));
            window.linkedId = static_cast<uint32_t>(number(5));
            window.title = step.title;
            (void)Send(WindowRequestBody(window));
            break;
        }
        case ScenarioAction::Update: {
            // Clipped to the screen: the client takes only rectangles that lie on it.
            const int x = static_cast<int>(std::min<int64_t>(step.numbers[0], m_pixels.Width() - 1));
            const int y = static_cast<int>(std::min<int64_t>(step.numbers[1], m_pixels.Height() - 1));
            const int w = static_cast<int>(std::min<int64_t>(step.numbers[2], m_pixels.Width() - x));
            const int h = static_cast<int>(std::min<int64_t>(step.numbers[3], m_pixels.Height() - y));
            if (w > 0 && h > 0) SendUpdate({PixelRect{x, y, w, h}});
            break;
        }
    }
}

void Session::AnnounceWindows() {
    if (m_x11 != nullptr) {
        // The X display's own windows, each linked to its X window; then followed.
        FollowWindows();
        return;
    }
    std::vector<WindowAnnouncement> windows;
    uint32_t id = 0;
    for (const PixelRect& r : m_desktop.Windows()) {
        ++id;
        windows.push_back(
            {kWindowCreate, id, r.x, r.y, r.width, r.height, id % 2 == 1 ? id + 100 : 0, "window-" + std::to_string(id)});
    }
    SendWindowRequests(windows);
}

void Session::FollowWindows() {
    std::vector<TopWindow> now;
    if (!m_x11->windows->List(now)) {
        m_log.Write("x11 display lost: windows no longer followed");
        m_nextWindowLook.reset();
        return;
    }
    SendWindowRequests(m_followedWindows.Follow(now));
    m_nextWindowLook = Clock::now() + kWindowLookInterval;
}

void Session::SendWindowRequests(const std::vector<WindowAnnouncement>& requests) {
    for (const WindowAnnouncement& window : requests) {
        if (!Send(WindowRequestBody(window))) return;
        const std::string place = " x=" + std::to_string(window.x) + " y=" + std::to_string(window.y) +
                                  " width=" + std::to_string(window.width) + " height=" + std::to_string(window.height) +
                                  " linked=" + std::to_string(window.linkedId);
        if (window.code == kWindowCreate) {
            m_log.Write("window announced id=" + std::to_string(window.id) + place + " title=\"" + window.title + "\"");
        } else {
            m_log.Write("window request code=" + std::to_string(window.code) + " id=" + std::to_string(window.id) +
                        place);
        }
    }
}

// Only windows this session announced, and still there, are closed or mapped for the client.
void Session::ActOnWindowInputs() {
    std::vector<WindowInput> inputs;
    {
        std::lock_guard lock(m_windowInputMutex);
        inputs.swap(m_windowInputs);
    }
    for (const WindowInput& input : inputs) {
        const uint32_t xid = input.linkedId;
        if (!m_followedWindows.Announced(xid)) {
            m_log.Write("window input ignored: id=" + std::to_string(input.id) + " names no window of the display");
            continue;
        }
        if (input.code == kWindowDestroy) {
            m_log.Write("window close asked xid=" + std::to_string(xid));
            (void)m_x11->windows->Close(xid);
        } else if (input.code == kWindowMap) {
            m_log.Write("window map asked xid=" + std::to_string(xid));
            m_x11->windows->Map(xid);
        }
    }
}

void Session::SendCursorChange() {
    if (m_x11->cursor == nullptr) return;
    const std::optional<CursorPicture> picture = m_x11->cursor->Changed();
    if (picture && Send(CursorShapeBody(*picture))) {
        m_log.Write("cursor sent width=" + std::to_string(picture->width) + " height=" +
                    std::to_string(picture->height) + " hot=" + std::to_string(picture->hotX) + "," +
                    std::to_string(picture->hotY));
    }
}

void Session::SendClipboard(std::string_view text) {
    if (Send(ClipboardBody(text))) m_log.Write("clipboard sent len=" + std::to_string(text.size()));
}

void Session::AnswerClipboardRequest() {
    std::string text;
    if (m_x11 != nullptr) {
        text = m_x11->clipboard->Read();
    } else {
        std::lock_guard lock(m_clipboardMutex);
        text = m_clipboard;
    }
    // An empty clipboard answers with an empty text.
    SendClipboard(text);
}

SessionEnd Session::Run() {
    const SessionGeometry& g = m_session.geometry;
    m_log.Write("session start id=" + std::to_string(m_session.id) + " width=" + std::to_string(g.width) +
                " height=" + std::to_string(g.height) + " depth=" + std::to_string(g.depth));
    m_start = Clock::now();
    std::thread reader([this] { ReadClient(); });
    if (m_replay != nullptr) {
        Replay();
        ::shutdown(m_socket, SHUT_RDWR);
        reader.join();
        return m_clientExit ? SessionEnd::Ended : SessionEnd::Disconnected;
    }

    RunDueSteps(Clock::now());
    if (m_desktop.Indexed() && !Finished() && Send(ColourTableBody())) m_log.Write("colour-table sent");
    if (!Finished()) {
        SendUpdate(m_x11 != nullptr ? OnSession(m_x11->screen->CaptureAll(kFullScreenTile)) : m_desktop.FullScreenTiles());
    }
    if (m_x11 != nullptr && !Finished()) SendCursorChange();
    if (m_options.seamless && !Finished()) AnnounceWindows();
    if (m_options.faultsMs > 0 && !Finished()) {
        Perform(ScenarioStep{.action = ScenarioAction::SessionControl, .code = kAllowReconnection});
        m_nextFault = NextFaultTime();
    }
    const auto interval = std::chrono::milliseconds(m_options.frameIntervalMs);
    m_nextFrame = Clock::now() + interval;
    RunDueSteps(Clock::now());

    while (!Finished() && !m_control.StopRequested()) {
        m_control.WaitUntil(NextWake(),
                            [this] { return Finished() || m_clipboardAsked.load() || m_windowAsked.load(); });
        if (Finished() || m_control.StopRequested()) break;
        if (m_clipboardAsked.exchange(false)) AnswerClipboardRequest();
        if (m_windowAsked.exchange(false)) ActOnWindowInputs();
        const Clock::time_point now = Clock::now();
        if (MovingUpdatesLeft() && now >= m_nextFrame) {
            if (m_x11 != nullptr) {
                SendScreenChanges();
                SendCursorChange();
            } else {
                SendUpdate(m_desktop.ChangedTiles(m_updatesSent));
            }
            m_nextFrame = std::max(m_nextFrame + interval, now);
        }
        RunDueSteps(now);
        if (m_nextWindowLook && now >= *m_nextWindowLook && !Finished()) FollowWindows();
        if (m_nextFault && now >= *m_nextFault && !Finished()) {
            InjectFault();
            m_nextFault = NextFaultTime();
        }
    }

    ::shutdown(m_socket, SHUT_RDWR);  // the reader returns from a read blocked on the socket
    reader.join();
    // Sessions that faults break are not offered again: over a long run they would fill the
    // session list past what a client accepts.
    if (m_options.faultsMs > 0) return SessionEnd::Ended;
    return m_clientExit || m_serverExit ? SessionEnd::Ended : SessionEnd::Disconnected;
}

}  // namespace

SessionEnd RunSession(StreamConnection& stream, int socket, const ServerOptions& options, const ServerSession& session,
                      std::vector<bool>& fired, EventLog& log, RunControl& control, X11Desktop* x11,
                      const Recording* replay, RecordingWriter* record) {
    fired.resize(options.scenario.size(), false);
    return Session(stream, socket, options, session, fired, log, control, x11, replay, record).Run();
}

}  // namespace corvane::testserver
