#include "display/drawing_requests.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <system_error>

#include "config/log.h"
#include "display/bgr_rows.h"
#include "display/jfif_decoder.h"

namespace corvane {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsSince(Clock::time_point start) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

long long Frame(uint64_t frame) {
    return static_cast<long long>(frame);
}

constexpr int kInputBytesPerPixel = 3;
constexpr int kBitmapBytesPerPixel = 4;


}  // namespace

DrawingRequestEngine::DrawingRequestEngine(FrameBuffer& frameBuffer, DisplayEvents& events,
                                           JfifDecodeFunction decode, int cores)
    : m_frameBuffer(frameBuffer),
      m_events(events),
      m_decode(decode ? decode : &DecodeJfif),
      m_cores(cores > 0 ? cores : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()))) {}

DrawingRequestEngine::~DrawingRequestEngine() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        for (auto& worker : m_workers) {
            if (worker) worker->wake.notify_one();
        }
    }
    // A worker finishes the frame it holds before it ends: frames in flight still pass their
    // turns on, so none of them waits for ever.
    for (auto& worker : m_workers) {
        if (worker && worker->thread.joinable()) worker->thread.join();
    }
}

void DrawingRequestEngine::SetThreadLimit(int limit) {
    m_threadLimit.store(limit);
}

int DrawingRequestEngine::ThreadLimit() const {
    const int limit = m_threadLimit.load();
    return limit < 1 || limit > kMaxThreads ? kMaxThreads : limit;
}

int DrawingRequestEngine::DecodeLimit() const {
    return std::min(ThreadLimit(), m_cores);
}

void DrawingRequestEngine::AcquireDecodeSlot(Worker& worker) {
    // In frame order: the frame that is displayed next is never kept waiting by later ones.
    std::unique_lock lock(m_mutex);
    worker.wake.wait(lock, [&] {
        return m_lastDecodeTurn + 1 == worker.job.frame && m_decoding < DecodeLimit();
    });
    m_lastDecodeTurn = worker.job.frame;
    ++m_decoding;
    // The next frame may now take a slot if one is left.
    Worker* next = NextToDecode();
    lock.unlock();
    if (next != nullptr) next->wake.notify_one();
}

void DrawingRequestEngine::ReleaseDecodeSlot() {
    Worker* next = nullptr;
    {
        std::lock_guard lock(m_mutex);
        --m_decoding;
        next = NextToDecode();
    }
    if (next != nullptr) next->wake.notify_one();
}

DrawingRequestEngine::Worker* DrawingRequestEngine::NextToDecode() {
    // Only the frame whose turn it is can take a slot, so only its worker is woken: waking
    // every waiting worker each time costs a two-core machine a context switch per waiter
    // per frame.
    for (auto& worker : m_workers) {
        if (worker && worker->hasJob && worker->job.frame == m_lastDecodeTurn + 1) return worker.get();
    }
    return nullptr;
}

int DrawingRequestEngine::BusyCount() const {
    std::lock_guard lock(m_mutex);
    return m_busy;
}

uint64_t DrawingRequestEngine::LastDisplayedFrame() const {
    return m_lastDisplayed.load();
}

void DrawingRequestEngine::WaitForIdle() {
    std::unique_lock lock(m_mutex);
    m_workerFree.wait(lock, [this] { return m_busy == 0; });
}

int DrawingRequestEngine::StartFrame(const uint8_t* data, size_t byteCount, int x, int y, int width,
                                     int height) {
    // The message buffer is overwritten by the next message: the frame is copied first, into
    // the staging buffer, which only this thread touches until the frame is handed on.
    const auto copyStart = Clock::now();
    try {
        if (m_staging.size() < byteCount) m_staging.resize(byteCount);
    } catch (const std::bad_alloc&) {
        DebugPrint(0, "ERROR: Could not get memory (%d bytes): %u\n", static_cast<int>(byteCount),
                   static_cast<unsigned>(ENOMEM));
        return kNoMemory;
    }
    if (byteCount != 0) std::memcpy(m_staging.data(), data, byteCount);
    DebugPrint(59, "New frame: %d bytes @ %p (allocated in %d ms)\n", static_cast<int>(byteCount),
               static_cast<void*>(m_staging.data()), MillisecondsSince(copyStart));

    std::unique_lock lock(m_mutex);
    DebugPrint(59, "Decompress frame: %d, %d  %d x %d (%d)   -- %u in use --\n", x, y, width,
               height, static_cast<int>(byteCount), static_cast<unsigned>(m_busy));
    if (!m_initialised) {
        m_initialised = true;
        DebugPrint(57, "First time ... init critical section\n");
    }
    DebugPrint(57, "Limiting threads to max of %d.  (Currently in use: %d)\n", ThreadLimit(),
               m_busy);

    // The frame waits as the pending one; the first worker to finish takes it straight away
    // (no wake-up of this thread on the way). One that cannot start within the wait is
    // dropped, so the receive thread does not fall behind the stream.
    m_pending =
        Job{0, byteCount, x, y, width, height, m_frameBuffer.Width(), m_frameBuffer.Height()};
    m_hasPending = true;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kWaitMilliseconds);
    for (;;) {
        if (!m_hasPending) return kStarted;
        const int limit = ThreadLimit();
        if (m_busy < limit) {
            Worker* worker = FreeWorker();
            if (worker == nullptr) {
                m_hasPending = false;
                return kNoMemory;
            }
            TakePending(*worker);
            worker->wake.notify_one();
            return kStarted;
        }
        if (Clock::now() >= deadline) {
            m_hasPending = false;
            DebugPrint(0, "Error: No threads available!  (busy: %d   max: %d)\n", m_busy, limit);
            return kNoThread;
        }
        m_workerFree.wait_until(lock, deadline);
    }
}

DrawingRequestEngine::Worker* DrawingRequestEngine::FreeWorker() {
    // Fewer than kMaxThreads are busy, so a free slot exists.
    auto slot = std::find_if(m_workers.begin(), m_workers.end(),
                             [](const std::unique_ptr<Worker>& w) { return !w || !w->busy; });
    if (*slot) return slot->get();
    auto worker = std::unique_ptr<Worker>(new (std::nothrow) Worker);
    if (!worker) {
        DebugPrint(0, "Error: Cannot get memory: %d\n", ENOMEM);
        return nullptr;
    }
    try {
        Worker& w = *worker;
        worker->thread = std::thread([this, &w] { Run(w); });
    } catch (const std::system_error& error) {
        DebugPrint(0, "Error: Cannot get memory: %d\n", error.code().value());
        return nullptr;
    }
    *slot = std::move(worker);
    return slot->get();
}

void DrawingRequestEngine::TakePending(Worker& worker) {
    // Numbers are taken here, one pending frame at a time, so they follow the arrival order.
    worker.input.swap(m_staging);
    worker.job = m_pending;
    worker.job.frame = ++m_nextFrame;
    worker.hasJob = true;
    worker.busy = true;
    ++m_busy;
    m_hasPending = false;
    const Job& job = worker.job;
    DebugPrint(59, "Begin: %d, %d  %d x %d (%d)\n", job.x, job.y, job.width, job.height,
               static_cast<int>(job.byteCount));
}

void DrawingRequestEngine::Run(Worker& worker) {
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            worker.wake.wait(lock, [&] { return worker.hasJob || m_stopping; });
            if (!worker.hasJob) return;
        }
        Decode(worker);
        Finish(worker);
    }
}

void DrawingRequestEngine::Decode(Worker& worker) {
    const Job& job = worker.job;
    DebugPrint(57, "Starting:  %d x %d   params @ %p   frame: %lld\n", job.width, job.height,
               static_cast<void*>(&worker), Frame(job.frame));
    DebugPrint(52, "Processing frame %lld (Last Frame %lld)  Size: %d x %d\n", Frame(job.frame),
               Frame(m_lastDisplayed.load()), job.width, job.height);
    AcquireDecodeSlot(worker);
    const auto start = Clock::now();

    // Room for the whole bitmap in 3-byte pixels, its height already a whole number of the
    // decoder's 16-row units. The request's own size comes off the wire and is not trusted
    // with an allocation; a frame larger than the bitmap could not be shown anyway, and the
    // decoder never writes past the capacity it is given.
    const size_t capacity = static_cast<size_t>(job.bitmapWidth) *
                            static_cast<size_t>(job.bitmapHeight) * kInputBytesPerPixel;
    if (worker.pixels.size() < capacity) worker.pixels = LargeBuffer::Allocate(capacity);
    if (worker.pixels.size() < capacity) {
        DebugPrint(0, "ERROR: Cannot alloc memory: %d\n", ENOMEM);
        ReleaseDecodeSlot();
        Display(worker, 0, 0);
        return;
    }
    DebugPrint(57, "Alloc temp buffer: %p   Stride: %d    time: %d ms\n",
               static_cast<void*>(worker.pixels.data()),
               static_cast<int>(int64_t{job.width} * kInputBytesPerPixel),
               MillisecondsSince(start));

    int decodedWidth = job.width;
    int decodedHeight = job.height;
    const int result = capacity == 0
                           ? -1
                           : m_decode(worker.input.data(), job.byteCount, worker.pixels.data(),
                                      capacity, decodedWidth, decodedHeight);
    const int decodeMs = MillisecondsSince(start);
    ReleaseDecodeSlot();
    if (result != 0) DebugPrint(0, "Error:  Decompression routine returned %d\n", result);
    DebugPrint(57, "Freeing input buffer: %p\n", static_cast<void*>(worker.input.data()));
    DebugPrint(57, "Input Size: %d x %d  (%d compressed)\n", decodedWidth, decodedHeight,
               static_cast<int>(job.byteCount));
    DebugPrint(57, "Output Size: %d x %d\n", job.width, job.height);
    DebugPrint(57, "Frame: %lld  Image: %dx%d  Bitmap: %dx%d  Decomp Time: %d ms\n",
               Frame(job.frame), decodedWidth, decodedHeight, job.bitmapWidth, job.bitmapHeight,
               decodeMs);
    // A failed decode leaves the buffer holding whatever an earlier frame put there: showing
    // that would paint another frame's pixels in this frame's place.
    const bool show = result == 0 && decodedWidth > 0 && decodedHeight > 0;
    Display(worker, show ? decodedWidth : 0, decodeMs);
}

void DrawingRequestEngine::Display(Worker& worker, int decodedWidth, int decodeMs) {
    const Job& job = worker.job;
    const auto waitStart = Clock::now();
    std::unique_lock fbLock(m_frameBuffer.Mutex());
    // Frames reach the screen in the order they arrived, whichever finished decoding first.
    m_turn.wait(fbLock, [&] { return m_lastDisplayed.load() + 1 >= job.frame; });
    const int lockWaitMs = MillisecondsSince(waitStart);

    // The geometry is read now, under the lock: the bitmap may have been re-created (a new
    // orientation) while the frame decoded.
    const int bitmapWidth = m_frameBuffer.Width();
    const int bitmapHeight = m_frameBuffer.Height();
    const bool topDown = m_frameBuffer.TopDown();
    // The rectangle comes off the wire: only the part inside the bitmap is written.
    const int64_t left = std::max<int64_t>(job.x, 0);
    const int64_t top = std::max<int64_t>(job.y, 0);
    const int64_t right = std::min<int64_t>(int64_t{job.x} + job.width, bitmapWidth);
    const int64_t bottom = std::min<int64_t>(int64_t{job.y} + job.height, bitmapHeight);
    const bool drawn = decodedWidth > 0 && m_frameBuffer.Valid() &&
                       m_frameBuffer.BytesPerPixel() == kBitmapBytesPerPixel && left < right &&
                       top < bottom;
    if (drawn) {
        DebugPrint(57, "offset: %d, %d  (%d bytes)\n", job.x, job.y,
                   static_cast<int>(int64_t{job.y} * bitmapWidth * kBitmapBytesPerPixel +
                                    int64_t{job.x} * kBitmapBytesPerPixel));
        const size_t sourceStride = static_cast<size_t>(decodedWidth) * kInputBytesPerPixel;
        const size_t columns = static_cast<size_t>(right - left);
        const size_t sourceColumn = static_cast<size_t>(left - job.x) * kInputBytesPerPixel;
        const uint8_t* pixels = worker.pixels.data();
        const FourthByte fourth = m_frameBuffer.FourthByteOfWrites();
        for (int64_t row = top; row < bottom; ++row) {
            // A request larger than the decoded image reads on in the buffer, but never
            // past its end.
            const size_t from = static_cast<size_t>(row - job.y) * sourceStride + sourceColumn;
            if (from + columns * kInputBytesPerPixel > worker.pixels.size()) break;
            CopyBgrRowToPixels(pixels + from,
                    m_frameBuffer.Pixels() + static_cast<size_t>(row) * m_frameBuffer.Stride() +
                        static_cast<size_t>(left) * kBitmapBytesPerPixel,
                    columns, fourth);
        }
    }
    m_lastDisplayed.store(job.frame);
    DebugPrint(59,
               "------------ Update Req Frame: %lld  %d, %d  %d x %d   cw:%d  bw:%d ------------\n",
               Frame(job.frame), job.x, job.y, job.width, job.height, decodeMs, lockWaitMs);
    fbLock.unlock();
    m_turn.notify_all();

    if (drawn) {
        // Memory rows run bottom to top in a bottom-up bitmap; the window counts from the top.
        const int width = static_cast<int>(right - left);
        const int height = static_cast<int>(bottom - top);
        const int screenTop =
            topDown ? static_cast<int>(top) : bitmapHeight - static_cast<int>(bottom);
        m_frameBuffer.AddDamage(static_cast<int>(left), screenTop, width, height);
        DebugPrint(1, "Displaying frame: %lld\n", Frame(job.frame));
    }
}

void DrawingRequestEngine::Finish(Worker& worker) {
    DebugPrint(57, "Freeing temp memory: %p\n", static_cast<void*>(worker.pixels.data()));
    DebugPrint(57, "Freeing parameter memory: %p\n", static_cast<void*>(&worker));
    DebugPrint(57, "Ending thread...  frame: %lld.\n", Frame(worker.job.frame));
    {
        std::lock_guard report(m_reportMutex);
        m_events.FrameDrawn();
    }
    std::lock_guard lock(m_mutex);
    worker.hasJob = false;
    worker.busy = false;
    --m_busy;
    if (m_hasPending && m_busy < ThreadLimit()) TakePending(worker);
    m_workerFree.notify_all();
}

}  // namespace corvane
