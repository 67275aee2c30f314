#include "tools/testserver/x11_clipboard.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "tools/testserver/xcb_support.h"

namespace corvane::testserver {

namespace {

constexpr auto kReadWait = std::chrono::seconds(2);
constexpr uint32_t kWholeProperty = (kMaxClipboardText + 3) / 4;  // in 32-bit units

}  // namespace

std::unique_ptr<X11Clipboard> X11Clipboard::Open(const std::string& display, std::string& error) {
    std::unique_ptr<X11Clipboard> clipboard(new X11Clipboard());
    const xcb_screen_t* screen = ConnectScreen(display, clipboard->m_connection, error);
    if (screen == nullptr) return nullptr;
    xcb_connection_t* c = clipboard->m_connection;
    clipboard->m_window = xcb_generate_id(c);
    const uint32_t events[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, clipboard->m_window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, events);
    clipboard->m_clipboard = InternAtom(c, "CLIPBOARD");
    clipboard->m_utf8 = InternAtom(c, "UTF8_STRING");
    clipboard->m_targets = InternAtom(c, "TARGETS");
    clipboard->m_property = InternAtom(c, "CORVANE_CLIPBOARD");
    if (clipboard->m_clipboard == 0 || clipboard->m_utf8 == 0 || clipboard->m_targets == 0 ||
        clipboard->m_property == 0) {
        error = "the X display did not name the clipboard's atoms";
        return nullptr;
    }
    xcb_flush(c);
    clipboard->m_thread = std::thread([p = clipboard.get()] { p->Serve(); });
    return clipboard;
}

X11Clipboard::~X11Clipboard() {
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        // An event of our own wakes the serving thread from its wait.
        xcb_client_message_event_t wake{};
        wake.response_type = XCB_CLIENT_MESSAGE;
        wake.format = 32;
        wake.window = m_window;
        wake.type = m_property;
        xcb_send_event(m_connection, 0, m_window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&wake));
        xcb_flush(m_connection);
        m_thread.join();
    }
    if (m_connection != nullptr) xcb_disconnect(m_connection);
}

void X11Clipboard::Own(std::string text) {
    if (text.size() > kMaxClipboardText) text.resize(kMaxClipboardText);
    {
        std::lock_guard lock(m_mutex);
        m_text = std::move(text);
        m_owned = true;
    }
    xcb_set_selection_owner(m_connection, m_window, m_clipboard, XCB_CURRENT_TIME);
    xcb_flush(m_connection);
}

std::string X11Clipboard::Read() {
    std::unique_lock lock(m_mutex);
    if (m_owned) return m_text;
    const uint32_t serial = ++m_readSerial;
    m_got.reset();
    xcb_convert_selection(m_connection, m_window, m_clipboard, m_utf8, m_property, XCB_CURRENT_TIME);
    xcb_flush(m_connection);
    // A later Read replaces this one's answer; each waits for its own.
    m_arrived.wait_for(lock, kReadWait, [&] { return m_got.has_value() || m_readSerial != serial || m_stopping; });
    return m_readSerial == serial && m_got ? *m_got : std::string();
}

void X11Clipboard::Answer(const xcb_selection_request_event_t& request) {
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = XCB_NONE;
    // An old client may name no property: the target's name is the property then.
    const uint32_t property = request.property != XCB_NONE ? request.property : request.target;
    std::string text;
    bool owned = false;
    {
        std::lock_guard lock(m_mutex);
        owned = m_owned;
        text = m_text;
    }
    if (owned && request.selection == m_clipboard) {
        if (request.target == m_targets) {
            const uint32_t targets[] = {m_targets, m_utf8, XCB_ATOM_STRING};
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32,
                                3, targets);
            notify.property = property;
        } else if (request.target == m_utf8 || request.target == XCB_ATOM_STRING) {
            // The text in one property: a request as large as the clipboard's cap fits one
            // BIG-REQUESTS request; anything larger was cut by Own.
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request.requestor, property, request.target, 8,
                                static_cast<uint32_t>(text.size()), text.data());
            notify.property = property;
        }
    }
    xcb_send_event(m_connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notify));
    xcb_flush(m_connection);
}

void X11Clipboard::Serve() {
    while (xcb_generic_event_t* event = xcb_wait_for_event(m_connection)) {
        std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> owned(event, &std::free);
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping) return;
        }
        switch (event->response_type & 0x7F) {
            case XCB_SELECTION_REQUEST:
                Answer(*reinterpret_cast<const xcb_selection_request_event_t*>(event));
                break;
            case XCB_SELECTION_CLEAR: {
                std::lock_guard lock(m_mutex);
                m_owned = false;
                m_text.clear();
                break;
            }
            case XCB_SELECTION_NOTIFY: {
                const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event);
                std::string text;
                if (notify->property != XCB_NONE) {
                    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
                        xcb_get_property_reply(m_connection,
                                               xcb_get_property(m_connection, 1, m_window, m_property,
                                                                XCB_GET_PROPERTY_TYPE_ANY, 0, kWholeProperty),
                                               nullptr),
                        &std::free);
                    if (reply && reply->format == 8) {
                        const int length = xcb_get_property_value_length(reply.get());
                        text.assign(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                    static_cast<size_t>(std::max(length, 0)));
                    }
                }
                std::lock_guard lock(m_mutex);
                m_got = std::move(text);
                m_arrived.notify_all();
                break;
            }
            default:
                break;
        }
    }
}

}  // namespace corvane::testserver
