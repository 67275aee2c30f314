// The seamless pop-ups of a session, by handle: made, moved, shown and destroyed as the
// server's window requests say (posted here from the receive thread), painted from the frame
// buffer only where its damage meets them, and stacked together when one is activated.
//
// User-interface thread only. Qt has one GUI thread, so every pop-up is a window on it rather
// than a thread of its own; a pop-up therefore exists as soon as its request has been handed
// over, and nothing waits for it.
#pragma once

#include <QCursor>
#include <QObject>
#include <QRegion>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "display/frame_buffer.h"
#include "seamless/seamless_port.h"
#include "session/session_commands.h"
#include "ui/frame_painter.h"

namespace corvane {

class PopupWindow;

class SeamlessWindows : public QObject {
    Q_OBJECT

public:
    SeamlessWindows(FrameBuffer& frameBuffer, SessionCommands& commands, QObject* parent = nullptr);
    ~SeamlessWindows() override;

    // The server's requests (SeamlessPort), on this thread.
    void Create(const SeamlessWindow& window);
    void Retake(const SeamlessWindow& window);
    void Move(uint32_t handle, QRect frame, bool freeze);
    void Show(uint32_t handle, PopupShow how);
    void Destroy(uint32_t handle);

    // These frame-buffer areas changed: each pop-up they meet repaints its part of them.
    void FrameChanged(const QRegion& frameRegion);

    // Whether the pop-ups are the session's view (the main window hidden) or not.
    void SetViewShown(bool shown);
    [[nodiscard]] bool ViewShown() const { return m_viewShown; }
    // Minimises every pop-up (the connection was lost) or hides them (the client ends).
    void MinimiseAll();
    void HideAll();

    // The server's cursor over every pop-up.
    void SetRemoteCursor(const QCursor& cursor);
    // The server moves the pointer to this place of its screen, which is the local screen.
    void WarpPointer(int x, int y);

    // A pop-up became the active window: the other pop-ups come up right behind it.
    void Activated(PopupWindow& popup);

    [[nodiscard]] PopupWindow* Popup(uint32_t handle) const;
    [[nodiscard]] PopupWindow* PopupById(uint32_t id) const;
    [[nodiscard]] int Count() const { return static_cast<int>(m_popups.size()); }
    [[nodiscard]] bool Owns(const QWidget* window) const;
    [[nodiscard]] long Paints() const;

    // What the pop-ups share.
    [[nodiscard]] FramePainter& Painter() { return m_painter; }
    [[nodiscard]] const FrameBuffer& Frame() const { return m_frameBuffer; }
    [[nodiscard]] const std::string& ServerLabel() const { return m_facts.serverLabel; }
    [[nodiscard]] bool DebugDrawingRect() const { return m_facts.debugDrawingRect != 0; }

signals:
    // The client as a whole (main window and pop-ups together) gained or lost the keyboard to
    // another program. Moving between the client's own windows changes nothing: this is the
    // one place the clipboard's focus rules should listen to.
    void clientActivationChanged(bool active);

private:
    FrameBuffer& m_frameBuffer;
    SessionCommands& m_commands;
    SessionFacts m_facts;
    FramePainter m_painter;  // one for all pop-ups: they paint one at a time
    std::map<uint32_t, PopupWindow*> m_popups;
    std::vector<uint32_t> m_activation;  // handles, the most recently activated last
    // Set while the keyboard stays among the pop-ups: they are together on the stack then, and
    // activating another one need not bring the rest up again (with a window manager that
    // activates every new window, 500 new pop-ups would otherwise raise each other 250,000 times).
    bool m_popupsTogether = false;
    std::optional<QCursor> m_cursor;
    bool m_viewShown = true;
    bool m_clientActive = false;
};

}  // namespace corvane
