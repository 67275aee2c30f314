// The sender thread: the only writer of the socket once the session runs. Every other thread
// queues whole messages here and returns at once, so a window never waits for the network
// and messages never interleave.
//
// The queue is bounded: a message that finds it full is dropped with a log record rather than
// making its caller wait. While held (a reconnection is logging in on the socket) nothing is
// written; what was queued goes out once it is resumed. Each slot keeps its storage, so
// queuing allocates nothing once a slot has held a message of that size.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "protocol/message_channel.h"

namespace corvane {

class MessageSender {
public:
    static constexpr size_t kCapacity = 256;

    enum class Coding {
        Plain,       // frame, record header, record, payload
        KeyRecord,   // the record enciphered as one 32-byte block
        Compressed,  // deflated with the COMPEXT envelope
    };

    explicit MessageSender(MessageChannel& channel);
    ~MessageSender();
    MessageSender(const MessageSender&) = delete;
    MessageSender& operator=(const MessageSender&) = delete;

    // Starts the thread (once). Messages queued before are written then.
    void Start();
    // Ends the thread; what is still queued is dropped. Waits for a write in progress, which
    // the caller ends by closing the socket if it must not wait.
    void Stop();

    // Queues one message (`record` in host order). False, with a log record, when the queue
    // is full or the sender has stopped. Any thread.
    [[nodiscard]] bool Post(int32_t type, const uint8_t* record, size_t recordSize,
                            const uint8_t* payload = nullptr, size_t payloadSize = 0,
                            Coding coding = Coding::Plain, int level = 6);

    // While held, nothing is written. Any thread.
    void Hold();
    void Resume();

    // Waits until every message queued so far has been written (or dropped by Stop), at most
    // `timeout`; false on time-out. Any thread but the sender's.
    [[nodiscard]] bool Flush(std::chrono::milliseconds timeout);

    // The socket the messages go to (for the log).
    [[nodiscard]] int Socket() const { return m_channel.Socket(); }

    // The result of the last write (the byte count, or 0 or negative on failure).
    [[nodiscard]] int LastResult() const;

private:
    struct Slot {
        int32_t type = 0;
        Coding coding = Coding::Plain;
        int level = 6;
        size_t recordSize = 0;
        std::vector<uint8_t> bytes;  // record, then payload
    };

    void Run();
    [[nodiscard]] int Write(const Slot& slot);

    MessageChannel& m_channel;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;     // work queued, resumed or stopping
    std::condition_variable m_drained;  // a message was written
    std::array<Slot, kCapacity> m_slots;
    size_t m_head = 0;   // next slot to write, under m_mutex
    size_t m_count = 0;  // queued, under m_mutex
    uint64_t m_queued = 0;   // messages ever queued, under m_mutex
    uint64_t m_written = 0;  // messages ever written or dropped, under m_mutex
    bool m_held = false;
    bool m_stopping = false;
    bool m_started = false;
    int m_lastResult = 0;
    std::thread m_thread;
};

}  // namespace corvane
