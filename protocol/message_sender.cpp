#include "protocol/message_sender.h"

#include <cstring>

#include "config/log.h"

namespace corvane {

MessageSender::MessageSender(MessageChannel& channel) : m_channel(channel) {}

MessageSender::~MessageSender() { Stop(); }

void MessageSender::Start() {
    std::lock_guard lock(m_mutex);
    if (m_started || m_stopping) return;
    m_started = true;
    m_thread = std::thread([this] { Run(); });
}

void MessageSender::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_written += m_count;
        m_count = 0;
    }
    m_wake.notify_all();
    m_drained.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

bool MessageSender::Post(int32_t type, const uint8_t* record, size_t recordSize, const uint8_t* payload,
                         size_t payloadSize, Coding coding, int level) {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) return false;
        if (m_count == kCapacity) {
            DebugPrint(0, "Sender: %zu messages wait to be written; message type %d dropped\n", m_count, type);
            return false;
        }
        Slot& slot = m_slots[(m_head + m_count) % kCapacity];
        slot.type = type;
        slot.coding = coding;
        slot.level = level;
        slot.recordSize = recordSize;
        slot.bytes.resize(recordSize + payloadSize);
        if (recordSize > 0) std::memcpy(slot.bytes.data(), record, recordSize);
        if (payloadSize > 0) std::memcpy(slot.bytes.data() + recordSize, payload, payloadSize);
        ++m_count;
        ++m_queued;
    }
    m_wake.notify_one();
    return true;
}

void MessageSender::Hold() {
    std::lock_guard lock(m_mutex);
    m_held = true;
}

void MessageSender::Resume() {
    {
        std::lock_guard lock(m_mutex);
        m_held = false;
    }
    m_wake.notify_all();
}

bool MessageSender::Flush(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    const uint64_t target = m_queued;
    return m_drained.wait_for(lock, timeout, [&] { return m_written >= target || m_stopping; });
}

int MessageSender::LastResult() const {
    std::lock_guard lock(m_mutex);
    return m_lastResult;
}

int MessageSender::Write(const Slot& slot) {
    const uint8_t* record = slot.bytes.data();
    const uint8_t* payload = slot.bytes.data() + slot.recordSize;
    const size_t payloadSize = slot.bytes.size() - slot.recordSize;
    switch (slot.coding) {
        case Coding::KeyRecord:
            return m_channel.SendKeyRecord(record);
        case Coding::Compressed:
            return m_channel.SendCompressedMessage(slot.type, record, slot.recordSize, payload, payloadSize,
                                                   slot.level);
        case Coding::Plain:
            break;
    }
    return m_channel.SendMessage(slot.type, record, slot.recordSize, payloadSize > 0 ? payload : nullptr,
                                 payloadSize);
}

void MessageSender::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || (!m_held && m_count > 0); });
        if (m_stopping) return;
        // The slot stays the writer's until the count drops, so it is written outside the lock
        // without being overwritten.
        const Slot& slot = m_slots[m_head];
        lock.unlock();
        const int result = Write(slot);
        lock.lock();
        m_lastResult = result;
        if (m_stopping) return;
        m_head = (m_head + 1) % kCapacity;
        --m_count;
        ++m_written;
        m_drained.notify_all();
    }
}

}  // namespace corvane
