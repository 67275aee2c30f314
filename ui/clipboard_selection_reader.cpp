#include "ui/clipboard_selection_reader.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "config/log.h"

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;

// How often a wait looks whether the reader is ending.
constexpr int kPollSliceMilliseconds = 50;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> Owned(T* reply) {
    return Reply<T>(reply, &std::free);
}

void AppendLatin1(std::string& out, const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] < 0x80) {
            out += static_cast<char>(bytes[i]);
        } else {
            out += static_cast<char>(0xC0 | (bytes[i] >> 6));
            out += static_cast<char>(0x80 | (bytes[i] & 0x3F));
        }
    }
}

}  // namespace

struct SelectionReader::Connection {
    xcb_connection_t* connection = nullptr;
    xcb_window_t window = 0;
    xcb_atom_t clipboard = XCB_ATOM_NONE;
    xcb_atom_t utf8String = XCB_ATOM_NONE;
    xcb_atom_t incr = XCB_ATOM_NONE;
    xcb_atom_t property = XCB_ATOM_NONE;

    ~Connection() {
        if (connection != nullptr) xcb_disconnect(connection);
    }

    xcb_atom_t Atom(const char* name) const {
        auto reply = Owned(xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    }
};

SelectionReader::SelectionReader() : m_x(std::make_unique<Connection>()) {
    int screenNumber = 0;
    m_x->connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(m_x->connection) != 0) {
        DebugPrint(1, "Clipboard: no connection to the X server; the clipboard is read through the toolkit\n");
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_x->connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
    if (screens.rem == 0) return;
    // An invisible window of our own receives the selection's contents as its property.
    m_x->window = xcb_generate_id(m_x->connection);
    const uint32_t events[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(m_x->connection, XCB_COPY_FROM_PARENT, m_x->window, screens.data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, events);
    m_x->clipboard = m_x->Atom("CLIPBOARD");
    m_x->utf8String = m_x->Atom("UTF8_STRING");
    m_x->incr = m_x->Atom("INCR");
    m_x->property = m_x->Atom("CORVANE_SELECTION");
    m_valid = m_x->clipboard != XCB_ATOM_NONE && m_x->utf8String != XCB_ATOM_NONE && m_x->incr != XCB_ATOM_NONE &&
              m_x->property != XCB_ATOM_NONE;
    if (m_valid) m_thread = std::thread([this] { Run(); });
}

SelectionReader::~SelectionReader() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_abandon.store(true);
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void SelectionReader::Read(Selection which, Done done) {
    {
        std::lock_guard lock(m_mutex);
        m_pending = which;
        m_pendingDone = std::move(done);
    }
    m_wake.notify_all();
}

void SelectionReader::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || m_pending.has_value(); });
        if (m_stopping) return;
        const Selection which = *m_pending;
        Done done = std::move(m_pendingDone);
        m_pending.reset();
        m_pendingDone = nullptr;
        lock.unlock();
        std::optional<std::string> text = ReadNow(which);
        if (!m_abandon.load() && done) done(std::move(text));
        lock.lock();
    }
}

namespace {

// Waits for the first event `wanted` accepts, until `deadline`; other events are dropped.
// Nothing when the time ran out, the connection failed or the reader is ending.
template <typename Wanted>
Reply<xcb_generic_event_t> WaitForEvent(xcb_connection_t* connection, Clock::time_point deadline,
                                        const std::atomic<bool>& abandon, Wanted wanted) {
    const int fd = xcb_get_file_descriptor(connection);
    for (;;) {
        while (auto* raw = xcb_poll_for_event(connection)) {
            auto event = Owned(raw);
            if (wanted(event.get())) return event;
        }
        if (xcb_connection_has_error(connection) != 0 || abandon.load()) return Owned<xcb_generic_event_t>(nullptr);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return Owned<xcb_generic_event_t>(nullptr);
        pollfd ready{fd, POLLIN, 0};
        (void)poll(&ready, 1, static_cast<int>(std::min<long long>(left, kPollSliceMilliseconds)));
    }
}

uint8_t EventType(const xcb_generic_event_t* event) { return event->response_type & 0x7F; }

}  // namespace

std::optional<std::string> SelectionReader::ReadNow(Selection which) {
    xcb_connection_t* c = m_x->connection;
    const xcb_atom_t selection =
        which == Selection::Clipboard ? m_x->clipboard : static_cast<xcb_atom_t>(XCB_ATOM_PRIMARY);
    const char* name = which == Selection::Clipboard ? "clipboard" : "primary selection";
    auto owner = Owned(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    if (!owner || owner->owner == XCB_NONE) {
        DebugPrint(10, "Clipboard: the local %s has no owner\n", name);
        return std::nullopt;
    }
    const auto isProperty = [this](const xcb_generic_event_t* event, uint8_t state) {
        if (EventType(event) != XCB_PROPERTY_NOTIFY) return false;
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        return notify->window == m_x->window && notify->atom == m_x->property && notify->state == state;
    };

    for (const xcb_atom_t target : {m_x->utf8String, static_cast<xcb_atom_t>(XCB_ATOM_STRING)}) {
        xcb_delete_property(c, m_x->window, m_x->property);
        xcb_convert_selection(c, m_x->window, selection, target, m_x->property, XCB_CURRENT_TIME);
        xcb_flush(c);
        auto answer = WaitForEvent(c, Clock::now() + kSelectionPatience, m_abandon, [&](const xcb_generic_event_t* e) {
            return EventType(e) == XCB_SELECTION_NOTIFY &&
                   reinterpret_cast<const xcb_selection_notify_event_t*>(e)->requestor == m_x->window;
        });
        if (!answer) {
            if (!m_abandon.load()) {
                DebugPrint(1, "Clipboard: the program that owns the local %s did not answer within %lld seconds\n",
                           name, static_cast<long long>(kSelectionPatience.count()));
            }
            return std::nullopt;
        }
        if (reinterpret_cast<const xcb_selection_notify_event_t*>(answer.get())->property == XCB_NONE) continue;

        const uint32_t longs = kSelectionReadLimit / 4;
        auto value = Owned(xcb_get_property_reply(
            c, xcb_get_property(c, 1, m_x->window, m_x->property, XCB_GET_PROPERTY_TYPE_ANY, 0, longs), nullptr));
        if (!value) return std::nullopt;
        std::vector<uint8_t> bytes;
        bool cut = value->bytes_after > 0;
        if (value->type == m_x->incr) {
            // Piece by piece: each piece is a new value of the property, which we take and
            // delete; an empty piece ends the text.
            xcb_flush(c);
            for (;;) {
                auto piece = WaitForEvent(c, Clock::now() + kSelectionPatience, m_abandon,
                                          [&](const xcb_generic_event_t* e) {
                                              return isProperty(e, XCB_PROPERTY_NEW_VALUE);
                                          });
                if (!piece) {
                    if (!m_abandon.load()) DebugPrint(1, "Clipboard: the local %s stopped coming\n", name);
                    return std::nullopt;
                }
                auto chunk = Owned(xcb_get_property_reply(
                    c, xcb_get_property(c, 1, m_x->window, m_x->property, XCB_GET_PROPERTY_TYPE_ANY, 0, longs),
                    nullptr));
                xcb_flush(c);
                if (!chunk) return std::nullopt;
                const int length = xcb_get_property_value_length(chunk.get());
                if (length <= 0) break;
                if (bytes.size() + static_cast<size_t>(length) > kSelectionReadLimit) {
                    cut = true;
                    break;
                }
                const auto* data = static_cast<const uint8_t*>(xcb_get_property_value(chunk.get()));
                bytes.insert(bytes.end(), data, data + length);
            }
        } else {
            const int length = xcb_get_property_value_length(value.get());
            const auto* data = static_cast<const uint8_t*>(xcb_get_property_value(value.get()));
            if (length > 0) bytes.assign(data, data + length);
        }
        if (cut) DebugPrint(1, "Clipboard: the local %s is longer than %zu bytes; the rest was not read\n", name,
                            kSelectionReadLimit);
        std::string text;
        if (target == m_x->utf8String) {
            text.assign(bytes.begin(), bytes.end());
        } else {
            AppendLatin1(text, bytes.data(), bytes.size());
        }
        DebugPrint(10, "Clipboard: %zu bytes of text read from the local %s\n", text.size(), name);
        return text;
    }
    DebugPrint(10, "Clipboard: the local %s holds no text\n", name);
    return std::nullopt;
}

}  // namespace corvane
