#include "display/drawing_requests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "config/log.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The decoder the tests drive. A frame is five bytes: its id, the blue, green and red it
// decodes to, and 1 when its decode fails. A decode returns only once the test releases its
// id, so the test decides the order in which decodes finish.
struct DecodeScript {
    std::mutex mutex;
    std::condition_variable changed;
    std::set<int> released;
    std::set<int> finished;
    int decoding = 0;      // decodes under way now
    int mostDecoding = 0;  // the most under way at once
    int decodedWidth = 0;  // not 0: the decoder reports this width instead of the one asked

    void Release(int id) {
        std::lock_guard lock(mutex);
        released.insert(id);
        changed.notify_all();
    }
    bool WaitFinished(int id) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 5s, [&] { return finished.count(id) != 0; });
    }
};
DecodeScript g_script;

int ScriptedDecode(const uint8_t* data, size_t length, uint8_t* destination, size_t capacity,
                   int& width, int& height) {
    if (length < 5) return -1;
    const int id = data[0];
    const int asked = width;
    {
        std::unique_lock lock(g_script.mutex);
        g_script.mostDecoding = std::max(g_script.mostDecoding, ++g_script.decoding);
        g_script.changed.wait(lock, [&] { return g_script.released.count(id) != 0; });
        if (g_script.decodedWidth != 0) width = g_script.decodedWidth;
        --g_script.decoding;
    }
    const size_t bytes =
        std::min(capacity, static_cast<size_t>(asked) * static_cast<size_t>(height) * 3);
    for (size_t i = 0; i + 2 < bytes; i += 3) std::memcpy(destination + i, data + 1, 3);
    std::lock_guard lock(g_script.mutex);
    g_script.finished.insert(id);
    g_script.changed.notify_all();
    return data[4] != 0 ? -1 : 0;
}

// Workers report from their own threads.
class ConcurrentEvents : public DisplayEvents {
  public:
    // Records the damage `frameBuffer` reports, one call per area.
    void Watch(FrameBuffer& frameBuffer) {
        frameBuffer.SetDamageListener([this, &frameBuffer] {
            std::vector<DamageRect> taken;
            frameBuffer.TakeDamage(taken);
            std::lock_guard lock(m_mutex);
            for (const DamageRect& r : taken) repaints.push_back({r.x, r.y, r.width, r.height});
        });
    }
    void FrameDrawn() override {
        std::lock_guard lock(m_mutex);
        ++framesDrawn;
    }
    void Beep(int, int) override {}
    void SetTitle(const std::string&) override {}
    [[nodiscard]] std::string BaseTitle() const override { return {}; }
    [[nodiscard]] bool LocalMode() const override { return false; }

    struct Rect {
        int x, y, width, height;
        bool operator==(const Rect&) const = default;
    };
    std::mutex m_mutex;
    std::vector<Rect> repaints;
    int framesDrawn = 0;
};

constexpr uint8_t kUntouched = 0x77;

class ConcurrentDrawingRequestTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLogForTesting();
        OpenLog(m_dir.file("log.txt"));
        {
            std::lock_guard lock(g_script.mutex);
            g_script.released.clear();
            g_script.finished.clear();
            g_script.mostDecoding = 0;
            g_script.decodedWidth = 0;
        }
        Create(32, 32, true);
    }
    void TearDown() override {
        // Nothing may stay blocked in the decoder when the engine waits for its workers.
        for (int id = 0; id < 256; ++id) g_script.Release(id);
        m_engine.reset();
        ResetLogForTesting();
    }
    void Create(int width, int height, bool topDown) {
        ASSERT_TRUE(m_fb.CreateWorkBitmap(width, height, 24, topDown));
        m_events.Watch(m_fb);
        std::memset(m_fb.Pixels(), kUntouched, m_fb.Stride() * static_cast<size_t>(m_fb.Height()));
    }
    int Start(int id, int x, int y, int width, int height, bool fails = false) {
        const uint8_t frame[5] = {static_cast<uint8_t>(id), static_cast<uint8_t>(id),
                                  static_cast<uint8_t>(id + 1), static_cast<uint8_t>(id + 2),
                                  static_cast<uint8_t>(fails ? 1 : 0)};
        return m_engine->StartFrame(frame, sizeof frame, x, y, width, height);
    }
    // Bytes of the pixel in memory row `row` (not the screen line).
    std::vector<uint8_t> Pixel(int x, int row) {
        const uint8_t* p = m_fb.Pixels() + static_cast<size_t>(row) * m_fb.Stride() + x * 4;
        return {p, p + 4};
    }
    // A depth-24 buffer's byte 3 means nothing and is written as zero.
    static std::vector<uint8_t> Drawn(int id) {
        return {static_cast<uint8_t>(id), static_cast<uint8_t>(id + 1), static_cast<uint8_t>(id + 2), 0};
    }
    static std::vector<uint8_t> Untouched() { return std::vector<uint8_t>(4, kUntouched); }
    [[nodiscard]] std::string Log() const { return test::ReadWholeFile(m_dir.file("log.txt")); }

    test::TempDir m_dir;
    FrameBuffer m_fb;
    ConcurrentEvents m_events;
    // As many cores as frames may be in flight, unless a test says otherwise.
    std::unique_ptr<DrawingRequestEngine> m_engine = std::make_unique<DrawingRequestEngine>(
        m_fb, m_events, &ScriptedDecode, DrawingRequestEngine::kMaxThreads);
};

// Eight frames in flight on two cores: all are taken at once, but only two decode at a time,
// and the slots go in frame order, so the frame shown next never waits behind later ones.
TEST_F(ConcurrentDrawingRequestTest, FramesInFlightBeyondTheCoresWaitToDecodeInOrder) {
    m_engine = std::make_unique<DrawingRequestEngine>(m_fb, m_events, &ScriptedDecode, 2);
    m_engine->SetThreadLimit(8);
    for (int id = 1; id <= 4; ++id) ASSERT_EQ(Start(id, 0, 0, 8, 8), DrawingRequestEngine::kStarted);
    EXPECT_EQ(m_engine->BusyCount(), 4);
    EXPECT_EQ(m_engine->DecodeLimit(), 2);

    // Frames 3 and 4 may go, but have no slot while 1 and 2 decode.
    g_script.Release(3);
    g_script.Release(4);
    std::this_thread::sleep_for(50ms);
    {
        std::lock_guard lock(g_script.mutex);
        EXPECT_TRUE(g_script.finished.empty());
    }
    // Frame 1's slot goes to frame 3, then frame 3's to frame 4; frame 2 still decodes.
    g_script.Release(1);
    ASSERT_TRUE(g_script.WaitFinished(3));
    ASSERT_TRUE(g_script.WaitFinished(4));
    EXPECT_EQ(m_engine->LastDisplayedFrame(), 1u);
    g_script.Release(2);
    m_engine->WaitForIdle();
    EXPECT_EQ(m_engine->LastDisplayedFrame(), 4u);
    EXPECT_EQ(Pixel(0, 0), Drawn(4));
    std::lock_guard lock(g_script.mutex);
    EXPECT_EQ(g_script.mostDecoding, 2);
}

TEST_F(ConcurrentDrawingRequestTest, FramesAreCopiedInArrivalOrderWhateverOrderTheyDecodeIn) {
    m_engine->SetThreadLimit(4);
    for (int id = 1; id <= 3; ++id)
        ASSERT_EQ(Start(id, 0, 0, 8, 8), DrawingRequestEngine::kStarted);

    g_script.Release(3);
    ASSERT_TRUE(g_script.WaitFinished(3));
    g_script.Release(1);
    ASSERT_TRUE(g_script.WaitFinished(1));
    // Frame 3 has decoded but must wait for frame 2.
    for (auto until = Clock::now() + 5s;
         m_engine->LastDisplayedFrame() < 1 && Clock::now() < until;) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(m_engine->LastDisplayedFrame(), 1u);
    g_script.Release(2);
    m_engine->WaitForIdle();

    EXPECT_EQ(m_engine->LastDisplayedFrame(), 3u);
    EXPECT_EQ(Pixel(7, 7), Drawn(3));  // the last to arrive is the one shown
    EXPECT_EQ(Pixel(8, 8), Untouched());
    EXPECT_EQ(m_events.framesDrawn, 3);
    EXPECT_EQ(m_engine->BusyCount(), 0);
}

TEST_F(ConcurrentDrawingRequestTest, FrameIsDroppedWhenNoWorkerFreesUpWithinTheWait) {
    m_engine->SetThreadLimit(2);
    ASSERT_EQ(Start(1, 0, 0, 4, 4), DrawingRequestEngine::kStarted);
    ASSERT_EQ(Start(2, 0, 0, 4, 4), DrawingRequestEngine::kStarted);

    const auto before = Clock::now();
    EXPECT_EQ(Start(3, 0, 0, 4, 4), DrawingRequestEngine::kNoThread);
    const auto waited = Clock::now() - before;
    EXPECT_GE(waited, 490ms);
    EXPECT_LT(waited, 3s);
    EXPECT_NE(Log().find("Error: No threads available!  (busy: 2   max: 2)\n"), std::string::npos);

    // The dropped frame took no number: the next one follows frame 2 without a gap.
    g_script.Release(1);
    g_script.Release(2);
    g_script.Release(4);
    ASSERT_EQ(Start(4, 4, 4, 4, 4), DrawingRequestEngine::kStarted);
    m_engine->WaitForIdle();
    EXPECT_EQ(m_engine->LastDisplayedFrame(), 3u);
    EXPECT_EQ(Pixel(4, 4), Drawn(4));
}

TEST_F(ConcurrentDrawingRequestTest, WaitingFrameStartsAsSoonAsAWorkerFinishes) {
    m_engine->SetThreadLimit(2);
    ASSERT_EQ(Start(1, 0, 0, 4, 4), DrawingRequestEngine::kStarted);
    ASSERT_EQ(Start(2, 0, 0, 4, 4), DrawingRequestEngine::kStarted);
    std::future<int> third =
        std::async(std::launch::async, [this] { return Start(3, 0, 0, 4, 4); });
    g_script.Release(1);
    EXPECT_EQ(third.wait_for(450ms), std::future_status::ready);
    EXPECT_EQ(third.get(), DrawingRequestEngine::kStarted);
}

TEST_F(ConcurrentDrawingRequestTest, ThreadLimitZeroMeansEight) {
    const struct { int set, read; } limits[] = {{0, 8}, {2, 2}, {4, 4}, {8, 8}, {-1, 8}, {9, 8}};
    for (const auto& l : limits) {
        m_engine->SetThreadLimit(l.set);
        EXPECT_EQ(m_engine->ThreadLimit(), l.read) << l.set;
    }

    m_engine->SetThreadLimit(0);
    for (int id = 1; id <= 8; ++id)
        ASSERT_EQ(Start(id, 0, 0, 2, 2), DrawingRequestEngine::kStarted);
    EXPECT_EQ(m_engine->BusyCount(), 8);
    EXPECT_EQ(Start(9, 0, 0, 2, 2), DrawingRequestEngine::kNoThread);
}

TEST_F(ConcurrentDrawingRequestTest, FrameThatFailsToDecodeDrawsNothingAndHoldsNoOneUp) {
    ASSERT_EQ(Start(1, 0, 0, 4, 4, /*fails=*/true), DrawingRequestEngine::kStarted);
    ASSERT_EQ(Start(2, 8, 8, 4, 4), DrawingRequestEngine::kStarted);
    g_script.Release(2);
    ASSERT_TRUE(g_script.WaitFinished(2));
    g_script.Release(1);
    m_engine->WaitForIdle();

    EXPECT_EQ(m_engine->LastDisplayedFrame(), 2u);
    EXPECT_EQ(Pixel(0, 0), Untouched());
    EXPECT_EQ(Pixel(8, 8), Drawn(2));
    EXPECT_EQ(m_events.framesDrawn, 2);
    EXPECT_EQ(m_events.repaints, (std::vector<ConcurrentEvents::Rect>{{8, 8, 4, 4}}));
    EXPECT_NE(Log().find("Error:  Decompression routine returned -1\n"), std::string::npos);
}

TEST_F(ConcurrentDrawingRequestTest, RectanglesAreClippedToTheBitmap) {
    struct Case {
        const char* name;
        bool topDown;
        int x, y, width, height;
        int decodedWidth;  // 0: as asked
        // Expected: the drawn area in memory rows, and the repaint in window rows.
        ConcurrentEvents::Rect drawn;
        ConcurrentEvents::Rect repaint;
    };
    const Case cases[] = {
        {"inside", true, 2, 3, 4, 5, 0, {2, 3, 4, 5}, {2, 3, 4, 5}},
        {"past the bottom right corner",
         true,
         28,
         30,
         1000,
         1000,
         0,
         {28, 30, 4, 2},
         {28, 30, 4, 2}},
        {"negative origin", true, -2, -3, 6, 6, 0, {0, 0, 4, 3}, {0, 0, 4, 3}},
        {"huge width overflowing int", true, 4, 4, 0x7FFFFFFF, 2, 32, {4, 4, 28, 2}, {4, 4, 28, 2}},
        {"decoded narrower than asked", true, 0, 0, 8, 2, 4, {0, 0, 8, 2}, {0, 0, 8, 2}},
        {"bottom-up rows count from the bottom", false, 1, 0, 2, 4, 0, {1, 0, 2, 4}, {1, 28, 2, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_engine.reset();
        Create(32, 32, c.topDown);
        m_events.repaints.clear();
        {
            std::lock_guard lock(g_script.mutex);
            g_script.decodedWidth = c.decodedWidth;
        }
        m_engine = std::make_unique<DrawingRequestEngine>(m_fb, m_events, &ScriptedDecode);
        g_script.Release(5);
        ASSERT_EQ(Start(5, c.x, c.y, c.width, c.height), DrawingRequestEngine::kStarted);
        m_engine->WaitForIdle();
        for (int row = 0; row < 32; ++row) {
            for (int x = 0; x < 32; ++x) {
                const bool inside = x >= c.drawn.x && x < c.drawn.x + c.drawn.width &&
                                    row >= c.drawn.y && row < c.drawn.y + c.drawn.height;
                ASSERT_EQ(Pixel(x, row), inside ? Drawn(5) : Untouched()) << x << "," << row;
            }
        }
        EXPECT_EQ(m_events.repaints, (std::vector<ConcurrentEvents::Rect>{c.repaint}));
    }
}

TEST_F(ConcurrentDrawingRequestTest, RectangleEntirelyOutsideDrawsNothingButPassesItsTurn) {
    ASSERT_EQ(Start(1, 40, 0, 4, 4), DrawingRequestEngine::kStarted);
    ASSERT_EQ(Start(2, 0, 0, 4, 4), DrawingRequestEngine::kStarted);
    g_script.Release(1);
    g_script.Release(2);
    m_engine->WaitForIdle();
    EXPECT_EQ(m_engine->LastDisplayedFrame(), 2u);
    EXPECT_EQ(m_events.repaints, (std::vector<ConcurrentEvents::Rect>{{0, 0, 4, 4}}));
}

TEST_F(ConcurrentDrawingRequestTest, EngineWaitsForFramesInFlightWhenDestroyed) {
    m_engine->SetThreadLimit(4);
    for (int id = 1; id <= 3; ++id)
        ASSERT_EQ(Start(id, 0, 0, 4, 4), DrawingRequestEngine::kStarted);
    std::thread releaser([] {
        std::this_thread::sleep_for(20ms);
        for (int id = 3; id >= 1; --id) g_script.Release(id);
    });
    m_engine.reset();
    releaser.join();
    EXPECT_EQ(m_events.framesDrawn, 3);
    EXPECT_EQ(Pixel(0, 0), Drawn(3));
}

}  // namespace
}  // namespace corvane
