// The JPEG frames of drawing requests (compforms 101 and 102): decoded several at once,
// copied into the frame buffer strictly in the order they arrived.
//
// The receive thread starts each frame (StartFrame). A fixed pool of up to eight workers,
// created as they are first needed, decodes them; at most ThreadLimit() are busy at once.
// Each frame takes the next frame number (1, 2, ...); a worker copies its frame only once the
// frame before it has been displayed, under the frame-buffer lock, which is also the only
// lock under which the last displayed frame changes. A frame that cannot be shown after it
// took its number (its decode buffer could not be had, or the decode failed) still takes its
// turn and passes it on at once: later frames wait for nothing but the frames before them.
//
// Admission and decoding are separate: ThreadLimit() frames may be in flight, but no more of
// them decode at once than the machine has cores (DecodeLimit()), in frame order; the others
// wait for a decode slot without competing for the processor, so 4 or 8 in flight cost a
// two-core machine nothing.
//
// A frame that finds every allowed worker busy waits as the pending frame; the first worker
// to finish takes it over at once. Each worker keeps its input and decode buffers from frame
// to frame: in a steady stream of frames nothing is allocated. No lock is held across a
// decode.
//
// SetThreadLimit may be called from any thread at any time. Everything else is for the
// receive thread. The destructor waits for every started frame and joins the workers.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "display/display_events.h"
#include "display/frame_buffer.h"
#include "platform/large_buffer.h"

namespace corvane {

// The restricted JFIF decoder's signature: 0 or -1; width and height in: the size asked
// for, out: the decoded size; never writes more than `capacity` bytes.
using JfifDecodeFunction = int (*)(const uint8_t* data, size_t length, uint8_t* destination,
                                   size_t capacity, int& width, int& height);

class DrawingRequestEngine {
  public:
    static constexpr int kMaxThreads = 8;
    static constexpr int kDefaultThreadLimit = 2;
    // How long StartFrame waits for a busy worker to finish before it drops the frame.
    static constexpr int kWaitMilliseconds = 500;

    enum : int { kStarted = 0, kNoMemory = 4, kNoThread = 5 };

    // `decode` defaults to the restricted JFIF decoder; tests pass their own, and the number
    // of cores (0: the machine's).
    DrawingRequestEngine(FrameBuffer& frameBuffer, DisplayEvents& events,
                         JfifDecodeFunction decode = nullptr, int cores = 0);
    ~DrawingRequestEngine();
    DrawingRequestEngine(const DrawingRequestEngine&) = delete;
    DrawingRequestEngine& operator=(const DrawingRequestEngine&) = delete;

    // How many frames may be in flight: the menu offers 2, 4 and 8; 0 (and anything outside
    // 1..8) is read as 8. Takes effect for the next frame that starts.
    void SetThreadLimit(int limit);
    [[nodiscard]] int ThreadLimit() const;
    // How many of them decode at once: the thread limit, but never more than the cores.
    [[nodiscard]] int DecodeLimit() const;

    // Copies `byteCount` bytes of frame data and hands the frame to a worker, waiting up to
    // kWaitMilliseconds for one to become free. The rectangle is in frame-buffer memory rows
    // (as the bitmap's orientation lays them out) and is clipped to the buffer at copy time.
    // kStarted, or kNoThread / kNoMemory with the frame dropped (and a log record).
    // Once a frame has started, its worker calls DisplayEvents::FrameDrawn when it is done
    // with it, drawn or not.
    [[nodiscard]] int StartFrame(const uint8_t* data, size_t byteCount, int x, int y, int width,
                                 int height);

    // Blocks until every started frame is done (drawn or given up).
    void WaitForIdle();

    [[nodiscard]] int BusyCount() const;
    [[nodiscard]] uint64_t LastDisplayedFrame() const;

  private:
    struct Job {
        uint64_t frame = 0;
        size_t byteCount = 0;
        int x = 0, y = 0, width = 0, height = 0;
        int bitmapWidth = 0, bitmapHeight = 0;
    };
    struct Worker {
        std::thread thread;
        std::condition_variable wake;  // a job, stopping, or a decode slot for its frame
        bool hasJob = false;  // under m_mutex
        bool busy = false;    // under m_mutex: reserved for a frame or working on one
        Job job;
        std::vector<uint8_t> input;   // the frame data (swapped in from the staging buffer)
        LargeBuffer pixels;           // the decoder's output
    };

    // Under m_mutex: a worker that is not busy (started on first use); null when none can be had.
    Worker* FreeWorker();
    // Under m_mutex: hands the pending frame to `worker`, which gets the next frame number.
    void TakePending(Worker& worker);
    void Run(Worker& worker);
    void Decode(Worker& worker);
    // A decode slot for the worker's frame, given in frame order; and its return.
    void AcquireDecodeSlot(Worker& worker);
    void ReleaseDecodeSlot();
    // Under m_mutex: the worker holding the frame next in line for a decode slot, if any.
    Worker* NextToDecode();
    // Waits for the frame's turn, copies it (when it decoded: decodedWidth > 0), and passes
    // the turn on.
    void Display(Worker& worker, int decodedWidth, int decodeMs);
    void Finish(Worker& worker);

    FrameBuffer& m_frameBuffer;
    DisplayEvents& m_events;
    const JfifDecodeFunction m_decode;
    std::atomic<int> m_threadLimit{kDefaultThreadLimit};

    // Workers report to DisplayEvents one at a time (outside the frame-buffer lock).
    std::mutex m_reportMutex;
    mutable std::mutex m_mutex;  // the busy count, the workers' states, stopping
    std::condition_variable m_workerFree;
    std::array<std::unique_ptr<Worker>, kMaxThreads> m_workers;
    int m_busy = 0;
    const int m_cores;
    // Under m_mutex: frames decoding now, and the last frame that had its decode slot.
    int m_decoding = 0;
    uint64_t m_lastDecodeTurn = 0;
    bool m_stopping = false;
    bool m_initialised = false;
    uint64_t m_nextFrame = 0;
    // The frame StartFrame is waiting to hand on. m_staging holds its data; the receive thread
    // fills it while nothing is pending, workers swap it for their own input under m_mutex.
    bool m_hasPending = false;
    Job m_pending;
    std::vector<uint8_t> m_staging;

    // Written only under the frame-buffer lock; atomic so the log may read it anywhere.
    std::atomic<uint64_t> m_lastDisplayed{0};
    std::condition_variable m_turn;
};

}  // namespace corvane
