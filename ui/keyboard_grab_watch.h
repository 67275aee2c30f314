// Another program's keyboard grab (a window manager's Alt+Tab, a screen locker) takes the keys
// from the client's window without making it inactive: the releases of the keys held at that
// moment go to the grabbing program, and the server would keep those keys pressed. The watch
// tells when that happens on X11; elsewhere it never fires.
//
// User-interface thread.
#pragma once

#include <QAbstractNativeEventFilter>
#include <functional>

namespace corvane {

class KeyboardGrabWatch : public QAbstractNativeEventFilter {
public:
    // Installs itself on the application; `lost` runs when a grab of another program took the
    // keyboard from one of the client's windows.
    explicit KeyboardGrabWatch(std::function<void()> lost);
    ~KeyboardGrabWatch() override;
    KeyboardGrabWatch(const KeyboardGrabWatch&) = delete;
    KeyboardGrabWatch& operator=(const KeyboardGrabWatch&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    std::function<void()> m_lost;
};

}  // namespace corvane
