// One seamless pop-up: a frameless top-level window at a remote window's place on the
// screen, showing that rectangle of the frame buffer, sending its keys and pointer to the
// session. It lives on the user-interface thread (Qt has one GUI thread), where its painting,
// input, focus and the repaint after a drag run; nothing it does waits for the receive thread.
#pragma once

#include <QElapsedTimer>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "seamless/seamless_port.h"
#include "session/session_commands.h"

namespace corvane {

class SeamlessWindows;

// The server's rectangle as the window works with it: the numbers come off the wire, so they
// are brought into a range where no arithmetic on them can overflow (places within a million
// pixels, sides up to 32767); the centring place stays what it is.
[[nodiscard]] QRect ServerRect(int32_t x, int32_t y, int32_t width, int32_t height);

class PopupWindow : public QWidget {
    Q_OBJECT

public:
    PopupWindow(const SeamlessWindow& window, SeamlessWindows& owner, SessionCommands& commands);

    [[nodiscard]] uint32_t Handle() const { return m_handle; }
    [[nodiscard]] uint32_t Id() const { return m_id; }
    [[nodiscard]] uint32_t LinkedId() const { return m_linkedId; }
    // The rectangle of the frame buffer (and of the server's screen) it shows.
    [[nodiscard]] const QRect& FrameRect() const { return m_frame; }
    [[nodiscard]] bool Frozen() const { return m_frozen; }
    [[nodiscard]] long Paints() const { return m_paints; }

    // The server's requests, posted here from the receive thread.
    void Retake(const SeamlessWindow& window);
    void MoveTo(QRect frame, bool freeze);
    void ShowAs(PopupShow how);
    // Shows the window as the seamless view has it, or hides it when the view is down.
    void ShowInView(bool viewShown);

    // These frame-buffer areas changed: repaints the part that lies on this window.
    void FrameChanged(const QRegion& frameRegion);

    // The window may go: the server destroyed it.
    void AllowClose() { m_closeAllowed = true; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; }

private:
    void Place();
    void ApplyTitle(const std::string& title);
    void SendPointer(PointerKind kind, const QMouseEvent& event);
    void ButtonsReleased();

    SeamlessWindows& m_owner;
    SessionCommands& m_commands;
    const uint32_t m_handle;
    uint32_t m_id;
    uint32_t m_linkedId;
    QRect m_frame;
    bool m_frozen = false;
    bool m_buttonHeld = false;
    bool m_closeAllowed = false;
    // The server asked to show a minimised window: its restore is not the user's.
    bool m_serverRestore = false;
    // When the server last asked to show or minimise the window: the window manager's reports
    // of what it did then may come late, and are not the user's doing either.
    QElapsedTimer m_sinceServerShow;
    QTimer m_afterDrag;  // the repaint a while after the button came up
    long m_paints = 0;
};

}  // namespace corvane
