// How long the user's keys and pointer moves take from the client's window to the server,
// while the server sends the whole 1920x1080 screen every 16 ms.
//
// The test server and the client run in this process, on loopback. The client is the whole
// application object with the headless host; this program stands where the window would and
// calls the session's KeyEvent and PointerEvent, taking the time just before each call. The
// server's event log takes the time its reader logs the record (EventLog::SetTap). Events go
// out one at a time, 2 to 4 ms apart, each once the one before has arrived, so every figure is
// one event's own way: translation, the sender's queue and thread, the socket, the server's
// reading and deciphering.
//
// The anchor is a bare loopback TCP message of the same size as the client's input frame,
// written by this thread and read by another, paced the same way. It is measured in the same
// run, under the same update load, in rounds that alternate with the client's so that both see
// the same machine. Ratios are client / anchor: 1.0 would mean the client's path costs nothing
// beyond the socket's. One more row, not a target, sends the anchor's message through a queue
// to a writer thread first, as the client's windows hand their records to its sender thread:
// it shows what that hand-off alone costs here, so that the rest of the client's figure can be
// told from it.
//
//   input_latency_bench [--compform N | --replay RECORDING]
//
// The server's encoding defaults to 101, drawing requests of JFIF frames: every update is then
// the whole screen (the default raw encoding sends only the tiles that changed). Whether the
// updates the client drew covered the whole screen is counted from its damage, and the rate
// the server reached is printed: on a small machine it may fall short of one every 16 ms.
//
// With --replay the load is a recorded 1920x1080 session (bench/replay_bench.sh makes one)
// sent again and again as fast as the client reads, so the client's receiving and drawing
// take all the processor they can while the events go out; the server then encodes nothing.
//
// Exit status 0 when the figures were measured (the verdict on the 2 ms target is printed
// either way), 1 when they could not be.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "input/keyboard_translator.h"
#include "input/pc_keyboard.h"
#include "input/pointer_translator.h"
#include "protocol/frame_builder.h"
#include "protocol/records.h"
#include "session/display_client_app.h"
#include "session/headless_host.h"
#include "tools/testserver/event_log.h"
#include "tools/testserver/options.h"
#include "tools/testserver/recording.h"
#include "tools/testserver/server.h"

namespace {

using namespace corvane;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFrameIntervalMs = 16;
constexpr uint32_t kDefaultCompform = 101;
// One warm-up round of a tenth of the events, then the measured rounds.
constexpr int kRounds = 4;
constexpr int kWarmUpShare = 10;
constexpr int kKeyPairsPerRound = 250;
constexpr int kMovesPerRound = 500;
constexpr int kAnchorMessagesPerRound = 500;
constexpr auto kShortestGap = 2000us;
constexpr auto kLongestGap = 4000us;
constexpr double kTargetMicroseconds = 2000;
// Updates the client must have drawn before anything is timed.
constexpr long kWarmUpUpdates = 10;
constexpr auto kStartBound = 60s;
constexpr auto kArrivalBound = 5s;
// Hang guards: a stuck run still ends.
constexpr int kServerSeconds = 600;
constexpr double kClientSeconds = 600;

// Letters, as the kernel numbers them: what a person types most.
constexpr uint16_t kLetterKeys[] = {16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 30, 31, 32,
                                    33, 34, 35, 36, 37, 38, 44, 45, 46, 47, 48, 49, 50};

double Microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// The number after `field` in a log line; 0 when it is not there.
long long FieldValue(std::string_view line, std::string_view field) {
    const size_t at = line.find(field);
    if (at == std::string_view::npos) return 0;
    return std::atoll(std::string(line.substr(at + field.size())).c_str());
}

std::string FieldWord(std::string_view line, std::string_view field) {
    const size_t at = line.find(field);
    if (at == std::string_view::npos) return {};
    const std::string_view rest = line.substr(at + field.size());
    return std::string(rest.substr(0, rest.find(' ')));
}

// What the server's event log tells, with the time each line was logged.
class ServerTap {
public:
    struct Arrival {
        Clock::time_point at;
        std::string line;
    };

    ServerTap() {
        m_keys.reserve(8192);
        m_pointers.reserve(8192);
    }

    // The log's tap: on the server's threads, one call at a time.
    void OnLine(std::string_view line) {
        const Clock::time_point now = Clock::now();
        if (line.starts_with("frame sent ")) {
            m_updates.fetch_add(1);
            m_bytes.fetch_add(FieldValue(line, " bytes="));
            return;
        }
        const bool key = line.starts_with("key ");
        if (!key && !line.starts_with("pointer ")) return;
        {
            std::lock_guard lock(m_mutex);
            (key ? m_keys : m_pointers).push_back({now, std::string(line)});
        }
        m_arrived.notify_all();
    }

    // The key or pointer line number `n` (from 0); nothing when it has not come within `bound`.
    std::optional<Arrival> Wait(bool key, size_t n, Clock::duration bound) {
        std::unique_lock lock(m_mutex);
        const std::vector<Arrival>& lines = key ? m_keys : m_pointers;
        if (!m_arrived.wait_for(lock, bound, [&] { return lines.size() > n; })) return std::nullopt;
        return lines[n];
    }

    [[nodiscard]] long long Updates() const { return m_updates.load(); }
    [[nodiscard]] long long Bytes() const { return m_bytes.load(); }

private:
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<Arrival> m_keys;      // under m_mutex
    std::vector<Arrival> m_pointers;  // under m_mutex
    std::atomic<long long> m_updates{0};
    std::atomic<long long> m_bytes{0};
};

// Where the window would be: it takes the session's commands, and counts the updates drawn
// and those whose damage covered the whole screen. Everything else is the headless host's.
class BenchWindow : public WindowPort {
public:
    explicit BenchWindow(HeadlessHost& host) : m_host(host) {}

    void SettingsRead(const ClientSettings& settings) override { m_host.SettingsRead(settings); }

    void SessionStarted(FrameBuffer& frameBuffer, SessionCommands& commands) override {
        const FrameGeometry g = frameBuffer.Geometry();
        m_width = g.width;
        m_height = g.sessionHeight;
        frameBuffer.SetDamageListener([this, &frameBuffer] {
            thread_local std::vector<DamageRect> taken;
            frameBuffer.TakeDamage(taken);
            ++m_updates;
            const bool whole = std::any_of(taken.begin(), taken.end(), [this](const DamageRect& r) {
                return r.x <= 0 && r.y <= 0 && r.Right() >= m_width && r.Bottom() >= m_height;
            });
            if (whole) ++m_fullScreen;
        });
        {
            std::lock_guard lock(m_mutex);
            m_commands = &commands;
        }
        m_changed.notify_all();
    }

    [[nodiscard]] int EventLoop() override { return m_host.EventLoop(); }
    void Quit(int exitCode) override { m_host.Quit(exitCode); }

    // The session's commands once it has drawn `updates` updates; nothing when the client ended
    // or the bound ran out first.
    SessionCommands* WaitForSession(long updates, Clock::duration bound, const std::atomic<bool>& clientEnded) {
        const Clock::time_point deadline = Clock::now() + bound;
        std::unique_lock lock(m_mutex);
        while (Clock::now() < deadline && !clientEnded.load()) {
            if (m_commands != nullptr && m_updates.load() >= updates) return m_commands;
            m_changed.wait_for(lock, 10ms);
        }
        return nullptr;
    }
    void ClientEnded() { m_changed.notify_all(); }

    [[nodiscard]] long Updates() const { return m_updates.load(); }
    [[nodiscard]] long FullScreenUpdates() const { return m_fullScreen.load(); }

private:
    HeadlessHost& m_host;
    int m_width = 0;
    int m_height = 0;
    std::atomic<long> m_updates{0};
    std::atomic<long> m_fullScreen{0};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    SessionCommands* m_commands = nullptr;  // under m_mutex
};

// A bare loopback TCP connection: messages are written by this thread, or handed to a writer
// thread through a queue under a mutex and a condition variable (the way the client's windows
// hand records to its sender thread); a reader thread takes each message whole and notes when
// it came.
class Anchor {
public:
    static constexpr size_t kMostBytes = 256;

    ~Anchor() {
        {
            std::lock_guard lock(m_queueMutex);
            m_stopping = true;
        }
        m_queued.notify_all();
        if (m_writerThread.joinable()) m_writerThread.join();
        for (int fd : {m_writer, m_reader}) {
            if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
        }
        if (m_readerThread.joinable()) m_readerThread.join();
        for (int fd : {m_writer, m_reader}) {
            if (fd >= 0) ::close(fd);
        }
    }

    [[nodiscard]] bool Open(size_t messageSize) {
        if (messageSize < sizeof(uint32_t) || messageSize > kMostBytes) return false;
        m_size = messageSize;
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        if (listener < 0) return false;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bool ok = ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  ::listen(listener, 1) == 0 &&
                  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
        if (ok) {
            m_writer = ::socket(AF_INET, SOCK_STREAM, 0);
            ok = m_writer >= 0 && ::connect(m_writer, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        }
        if (ok) {
            m_reader = ::accept(listener, nullptr, nullptr);
            ok = m_reader >= 0;
        }
        ::close(listener);
        if (!ok) return false;
        // As the client's and the server's sockets are set: small messages go at once.
        const int yes = 1;
        for (int fd : {m_writer, m_reader}) (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        m_arrivals.reserve(16384);
        m_readerThread = std::thread([this] { Read(); });
        m_writerThread = std::thread([this] { WriteQueued(); });
        return true;
    }

    // Writes message number `index` on this thread (they go in order from 0).
    [[nodiscard]] bool Send(uint32_t index) const {
        std::array<uint8_t, kMostBytes> message{};
        std::memcpy(message.data(), &index, sizeof index);
        size_t done = 0;
        while (done < m_size) {
            const ssize_t n = ::write(m_writer, message.data() + done, m_size - done);
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    // Hands message number `index` to the writer thread.
    void Queue(uint32_t index) {
        {
            std::lock_guard lock(m_queueMutex);
            m_queue.push_back(index);
        }
        m_queued.notify_one();
    }

    // When message `n` was read; nothing when it has not been within `bound`.
    std::optional<Clock::time_point> Wait(size_t n, Clock::duration bound) {
        std::unique_lock lock(m_mutex);
        if (!m_arrived.wait_for(lock, bound, [&] { return m_arrivals.size() > n || m_broken; })) return std::nullopt;
        if (m_arrivals.size() <= n) return std::nullopt;
        return m_arrivals[n];
    }

private:
    void WriteQueued() {
        std::unique_lock lock(m_queueMutex);
        for (;;) {
            m_queued.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping) return;
            const uint32_t index = m_queue.front();
            m_queue.pop_front();
            lock.unlock();
            const bool written = Send(index);
            lock.lock();
            if (!written) {
                Break();
                return;
            }
        }
    }

    void Read() {
        std::vector<uint8_t> message(m_size);
        for (uint32_t expected = 0;; ++expected) {
            size_t done = 0;
            while (done < message.size()) {
                const ssize_t n = ::read(m_reader, message.data() + done, message.size() - done);
                if (n <= 0) {
                    Break();
                    return;
                }
                done += static_cast<size_t>(n);
            }
            const Clock::time_point now = Clock::now();
            uint32_t index = 0;
            std::memcpy(&index, message.data(), sizeof index);
            if (index != expected) {
                std::fprintf(stderr, "anchor: message %u came in place of %u\n", index, expected);
                Break();
                return;
            }
            {
                std::lock_guard lock(m_mutex);
                m_arrivals.push_back(now);
            }
            m_arrived.notify_all();
        }
    }

    void Break() {
        {
            std::lock_guard lock(m_mutex);
            m_broken = true;
        }
        m_arrived.notify_all();
    }

    size_t m_size = 0;
    int m_writer = -1;
    int m_reader = -1;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<Clock::time_point> m_arrivals;  // under m_mutex
    bool m_broken = false;                      // under m_mutex
    std::mutex m_queueMutex;
    std::condition_variable m_queued;
    std::deque<uint32_t> m_queue;  // under m_queueMutex
    bool m_stopping = false;       // under m_queueMutex
    std::thread m_readerThread;
    std::thread m_writerThread;
};

// Spaces events 2 to 4 ms apart, and never sends one before the one before has arrived.
class Pacer {
public:
    void WaitTurn() { std::this_thread::sleep_until(m_next); }
    void Done(Clock::time_point sent, Clock::time_point arrived) {
        m_next = sent + std::chrono::microseconds(m_gap(m_random));
        if (arrived > m_next) {
            m_next = arrived;
            ++m_late;
        }
    }
    [[nodiscard]] long Late() const { return m_late; }

private:
    std::mt19937 m_random{20240611};
    std::uniform_int_distribution<long> m_gap{kShortestGap.count(), kLongestGap.count()};
    Clock::time_point m_next = Clock::now();
    long m_late = 0;
};

struct Samples {
    std::vector<double> keys;
    std::vector<double> pointers;
    std::vector<double> anchor;
    std::vector<double> handOff;  // the anchor's messages written by its writer thread
};

// The three kinds of event, round after round, each timed one at a time.
class Measurement {
public:
    Measurement(SessionCommands& commands, ServerTap& tap, Anchor& anchor)
        : m_commands(commands), m_tap(tap), m_anchor(anchor) {}

    // False, with the reason on standard error, when an event did not arrive as sent.
    [[nodiscard]] bool Round(int keyPairs, int moves, int anchorMessages, Samples* keep) {
        return Keys(keyPairs, keep ? &keep->keys : nullptr) && Pointers(moves, keep ? &keep->pointers : nullptr) &&
               AnchorMessages(anchorMessages, false, keep ? &keep->anchor : nullptr) &&
               AnchorMessages(anchorMessages, true, keep ? &keep->handOff : nullptr);
    }

    [[nodiscard]] long Late() const { return m_pacer.Late(); }

private:
    bool Keys(int pairs, std::vector<double>* out) {
        for (int i = 0; i < pairs; ++i) {
            const PcKey* key = PcKeyFromEvdev(kLetterKeys[m_keyPairs++ % std::size(kLetterKeys)]);
            if (key == nullptr) return Fail("a letter key is missing from the keyboard table");
            std::string pressedCode;
            for (const bool press : {true, false}) {
                const KeyInput input = KeyInputFor(*key, press, false);
                m_pacer.WaitTurn();
                const Clock::time_point sent = Clock::now();
                m_commands.KeyEvent(input);
                const auto arrival = m_tap.Wait(true, m_keys++, kArrivalBound);
                if (!arrival) return Fail("key event " + std::to_string(m_keys - 1) + " never reached the server");
                const std::string code = FieldWord(arrival->line, "code=");
                if (FieldWord(arrival->line, "kind=") != (press ? "press" : "release") ||
                    (!press && code != pressedCode)) {
                    return Fail("the server logged \"" + arrival->line + "\" for key event " +
                                std::to_string(m_keys - 1));
                }
                pressedCode = code;
                m_pacer.Done(sent, arrival->at);
                if (out != nullptr) out->push_back(Microseconds(arrival->at - sent));
            }
        }
        return true;
    }

    bool Pointers(int moves, std::vector<double>* out) {
        for (int i = 0; i < moves; ++i) {
            // A walk over the screen in which no place repeats the one before.
            const long n = m_moves;
            PointerInput input;
            input.kind = PointerKind::Move;
            input.clientX = static_cast<int>(1 + n * 37 % (kWidth - 2));
            input.clientY = static_cast<int>(1 + n * 23 % (kHeight - 2));
            input.screenX = input.clientX + 100;
            input.screenY = input.clientY + 50;
            const std::string expected =
                "pointer x=" + std::to_string(input.clientX) + " y=" + std::to_string(input.clientY) + " ";
            m_pacer.WaitTurn();
            const Clock::time_point sent = Clock::now();
            m_commands.PointerEvent(input);
            const auto arrival = m_tap.Wait(false, m_moves++, kArrivalBound);
            if (!arrival) return Fail("pointer move " + std::to_string(n) + " never reached the server");
            if (!arrival->line.starts_with(expected) || !arrival->line.ends_with(" action=motion")) {
                return Fail("the server logged \"" + arrival->line + "\" for pointer move " + std::to_string(n));
            }
            m_pacer.Done(sent, arrival->at);
            if (out != nullptr) out->push_back(Microseconds(arrival->at - sent));
        }
        return true;
    }

    bool AnchorMessages(int count, bool handOff, std::vector<double>* out) {
        for (int i = 0; i < count; ++i) {
            const uint32_t n = m_anchorMessages++;
            m_pacer.WaitTurn();
            const Clock::time_point sent = Clock::now();
            if (handOff) {
                m_anchor.Queue(n);
            } else if (!m_anchor.Send(n)) {
                return Fail("the anchor's socket failed");
            }
            const auto arrival = m_anchor.Wait(n, kArrivalBound);
            if (!arrival) return Fail("anchor message " + std::to_string(n) + " never arrived");
            m_pacer.Done(sent, *arrival);
            if (out != nullptr) out->push_back(Microseconds(*arrival - sent));
        }
        return true;
    }

    static bool Fail(const std::string& why) {
        std::fprintf(stderr, "input_latency_bench: %s\n", why.c_str());
        return false;
    }

    SessionCommands& m_commands;
    ServerTap& m_tap;
    Anchor& m_anchor;
    Pacer m_pacer;
    size_t m_keys = 0;
    size_t m_keyPairs = 0;
    long m_moves = 0;
    uint32_t m_anchorMessages = 0;
};

struct Figures {
    double p50 = 0;
    double p99 = 0;
    double max = 0;
};

// Nearest-rank percentiles.
Figures Summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    auto rank = [&values](double p) {
        const size_t at = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size())));
        return values[std::clamp<size_t>(at, 1, values.size()) - 1];
    };
    return {rank(0.50), rank(0.99), values.back()};
}

// The wire size of one key or pointer frame as the client sends it: both are a 32-byte record
// in the plain envelope.
size_t InputFrameSize() {
    std::vector<uint8_t> body(kRecordHeaderSize + kKeyRecordSize, 0);
    MakeRecordHeader(body.data(), ZRPPROTOCOL_MH_MESSKEYE);
    RecordHeaderToWire(body.data());
    FrameBuilder frame;
    if (!frame.Build(kEnvelopePlain, body.data(), body.size(), {}, BodyCoding::AsIs)) return 0;
    return frame.size();
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one;
    in >> one;
    return in ? one : "unknown";
}

// The demonstration connection file, dialling `port`.
bool WriteConnectionFile(const std::filesystem::path& path, int port) {
    std::ifstream in(CORVANE_DATA_DIR "/demo.zrp", std::ios::binary);
    if (!in) return false;
    std::ostringstream out;
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with("DisplayServerPort")) {
            const bool cr = line.ends_with('\r');
            line = "DisplayServerPort         " + std::to_string(port) + (cr ? "\r" : "");
        }
        out << line << '\n';
    }
    std::ofstream file(path, std::ios::binary);
    file << out.str();
    return static_cast<bool>(file);
}

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        char name[] = "/tmp/corvane-input-latency.XXXXXX";
        if (::mkdtemp(name) != nullptr) path = name;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
};

int Failed(const std::string& why) {
    std::fprintf(stderr, "input_latency_bench: %s\n", why.c_str());
    return 1;
}

void PrintRow(const char* name, const Figures& f, const Figures& anchor) {
    std::printf("%-24s %9.1f %9.1f %9.1f %10.2f %10.2f\n", name, f.p50, f.p99, f.max, f.p50 / anchor.p50,
                f.p99 / anchor.p99);
}

int Run(const std::string& compform, const std::string& replayPath) {
    // The server's options as its command line would give them, checked the same way.
    std::vector<std::string> arguments = {"--port", "0", "--geometry", std::to_string(kWidth) + "x" + std::to_string(kHeight),
                                          "--exit-after", std::to_string(kServerSeconds)};
    testserver::Recording replay;
    if (replayPath.empty()) {
        arguments.insert(arguments.end(),
                         {"--frame-interval", std::to_string(kFrameIntervalMs), "--compform", compform});
    } else {
        std::string error;
        if (!testserver::ReadRecording(replayPath, replay, error)) return Failed(replayPath + ": " + error);
        if (replay.geometry.width != kWidth || replay.geometry.height != kHeight) {
            return Failed(replayPath + " is not a " + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                          " session");
        }
        arguments.insert(arguments.end(),
                         {"--replay", replayPath, "--replay-for", std::to_string(kServerSeconds)});
    }
    testserver::CommandLine serverLine = testserver::ParseCommandLine(arguments);
    if (!serverLine.error.empty()) return Failed(serverLine.error);
    TempDir dir;
    if (dir.path.empty()) return Failed("no temporary folder");
    std::filesystem::create_directories(dir.path / "docs");
    {
        std::ofstream registry(dir.path / "registry");
        registry << "[HKEY_LOCAL_MACHINE\\Software\\Halden Systems]\nQELINI=" CORVANE_DATA_DIR
                    "/qel.ini\nINSTALLPATH=" CORVANE_DATA_DIR "\n";
    }
    ::setenv("CORVANE_REGISTRY", (dir.path / "registry").c_str(), 1);
    ::setenv("XDG_DOCUMENTS_DIR", (dir.path / "docs").c_str(), 1);

    // The server, its log timed through the tap.
    ServerTap tap;
    testserver::EventLog log;
    if (!log.Open((dir.path / "server.log").string())) return Failed("no server log");
    log.SetTap([&tap](std::string_view line) { tap.OnLine(line); });
    testserver::Server server(serverLine.options, log, nullptr, replayPath.empty() ? nullptr : &replay);
    const int port = server.Listen();
    if (port <= 0) return 1;
    std::thread serverThread([&server] { (void)server.Run(); });
    const std::filesystem::path zrp = dir.path / "session.zrp";
    if (!WriteConnectionFile(zrp, port)) {
        server.Stop();
        serverThread.join();
        return Failed("cannot read " CORVANE_DATA_DIR "/demo.zrp");
    }

    // The client, on its session thread as the windowed client runs it.
    HeadlessHost host("last");
    BenchWindow window(host);
    SessionOptions clientOptions;
    clientOptions.exitAfterSeconds = kClientSeconds;
    CDisplayClientApp app(SessionPorts{host, host, host, window, host, host, host, host}, clientOptions);
    std::atomic<bool> clientEnded{false};
    int clientExit = 0;
    std::thread session([&] {
        clientExit = app.Run(zrp.string());
        clientEnded.store(true);
        window.ClientEnded();
    });

    bool measured = false;
    Samples samples;
    long late = 0;
    double seconds = 0;
    long long updates = 0, bytes = 0;
    long drawn = 0, fullScreen = 0;
    SessionFacts facts;
    const size_t frameSize = InputFrameSize();
    SessionCommands* commands = window.WaitForSession(kWarmUpUpdates, kStartBound, clientEnded);
    Anchor anchor;
    if (commands != nullptr) facts = commands->Facts();
    if (commands == nullptr) {
        (void)Failed("the session did not start and draw " + std::to_string(kWarmUpUpdates) + " updates");
    } else if (facts.width != kWidth || facts.height != kHeight) {
        (void)Failed("the session is " + std::to_string(facts.width) + "x" + std::to_string(facts.height) +
                     ", not the screen asked for");
    } else if (!anchor.Open(frameSize)) {
        (void)Failed("no loopback connection for the anchor");
    } else {
        Measurement measurement(*commands, tap, anchor);
        measured = measurement.Round(kKeyPairsPerRound / kWarmUpShare, kMovesPerRound / kWarmUpShare,
                                     kAnchorMessagesPerRound / kWarmUpShare, nullptr);
        const Clock::time_point start = Clock::now();
        const long long updatesBefore = tap.Updates(), bytesBefore = tap.Bytes();
        const long drawnBefore = window.Updates(), fullBefore = window.FullScreenUpdates();
        const long lateBefore = measurement.Late();
        for (int round = 0; measured && round < kRounds; ++round) {
            measured = measurement.Round(kKeyPairsPerRound, kMovesPerRound, kAnchorMessagesPerRound, &samples);
        }
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        updates = tap.Updates() - updatesBefore;
        bytes = tap.Bytes() - bytesBefore;
        drawn = window.Updates() - drawnBefore;
        fullScreen = window.FullScreenUpdates() - fullBefore;
        late = measurement.Late() - lateBefore;
    }
    if (!clientEnded.load()) app.ShutDown();
    session.join();
    server.Stop();
    serverThread.join();
    if (!measured) return Failed("no figures (the client's exit code: " + std::to_string(clientExit) + ")");

    if (replayPath.empty()) {
        std::printf("session: %dx%d depth %d, compform %u%s, server frame interval %d ms\n", facts.width,
                    facts.height, facts.depth, serverLine.options.compform,
                    serverLine.options.compform == kDefaultCompform
                        ? " (drawing requests of JFIF frames, the whole screen)"
                        : "",
                    kFrameIntervalMs);
    } else {
        std::printf("session: %dx%d depth %d, a replay of %s (%u updates, %.1f MB) again and again, as fast as the "
                    "client reads\n",
                    facts.width, facts.height, facts.depth, replayPath.c_str(), replay.updates,
                    static_cast<double>(replay.bytes.size()) / 1e6);
    }
    std::printf("machine: %u cores, load average %s at the end\n", std::thread::hardware_concurrency(),
                LoadAverage().c_str());
    if (replayPath.empty()) {
        std::printf("updates while measuring (%.1f s): %.1f/s sent, %.1f MB/s on the wire to the client; "
                    "%.1f/s drawn, %.1f%% of them covering the whole screen\n",
                    seconds, updates / seconds, bytes / seconds / 1e6, drawn / seconds,
                    drawn > 0 ? 100.0 * fullScreen / drawn : 0.0);
    } else {
        std::printf("updates while measuring (%.1f s): %.1f/s drawn\n", seconds, drawn / seconds);
    }
    std::printf("events: %zu keys (press and release), %zu pointer moves, %zu + %zu anchor messages, each %zu "
                "bytes on the wire, %lld to %lld ms apart; %ld waited for the one before\n",
                samples.keys.size(), samples.pointers.size(), samples.anchor.size(), samples.handOff.size(), frameSize,
                static_cast<long long>(kShortestGap.count() / 1000), static_cast<long long>(kLongestGap.count() / 1000),
                late);
    const Figures keys = Summarise(samples.keys);
    const Figures pointers = Summarise(samples.pointers);
    const Figures bare = Summarise(samples.anchor);
    std::printf("%-24s %9s %9s %9s %10s %10s\n", "window to server (us)", "p50", "p99", "max", "p50/anchor",
                "p99/anchor");
    PrintRow("key", keys, bare);
    PrintRow("pointer motion", pointers, bare);
    PrintRow("anchor: bare TCP message", bare, bare);
    // Not a target: the part of the client's figures that handing a record to another thread
    // costs on this machine under this load.
    PrintRow("bare TCP after a hand-off", Summarise(samples.handOff), bare);
    std::printf("target p99 <= %.0f us: key %s, pointer %s\n", kTargetMicroseconds,
                keys.p99 <= kTargetMicroseconds ? "met" : "MISSED",
                pointers.p99 <= kTargetMicroseconds ? "met" : "MISSED");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string compform = std::to_string(kDefaultCompform);
    std::string replayPath;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--compform" && i + 1 < argc) {
            compform = argv[++i];
        } else if (arg == "--replay" && i + 1 < argc) {
            replayPath = argv[++i];
        } else {
            std::fprintf(stderr, "usage: input_latency_bench [--compform N | --replay RECORDING]\n");
            return 1;
        }
    }
    return Run(compform, replayPath);
}
