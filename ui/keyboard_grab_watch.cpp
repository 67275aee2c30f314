#include "ui/keyboard_grab_watch.h"

#include <QApplication>
#include <QWidget>
#include <xcb/xcb.h>

#include "config/log.h"

namespace corvane {

KeyboardGrabWatch::KeyboardGrabWatch(std::function<void()> lost) : m_lost(std::move(lost)) {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

KeyboardGrabWatch::~KeyboardGrabWatch() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool KeyboardGrabWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_FOCUS_OUT) return false;
    const auto* focusOut = static_cast<const xcb_focus_out_event_t*>(message);
    // A grab's focus change; not one that only concerns the pointer, and not the client's own
    // grab (the keyboard grab it was asked for, a menu's).
    if (focusOut->mode != XCB_NOTIFY_MODE_GRAB || focusOut->detail == XCB_NOTIFY_DETAIL_POINTER) return false;
    if (QWidget::keyboardGrabber() != nullptr || QApplication::activePopupWidget() != nullptr) return false;
    DebugPrint(1, "Keyboard taken by another program's grab\n");
    m_lost();
    return false;
}

}  // namespace corvane
