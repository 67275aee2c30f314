// The main window: the remote screen in a framed, scrollable window or borderless over the
// chosen monitors, with the "Session" menu that stays local to this client.
#pragma once

#include <QMainWindow>
#include <QRect>
#include <QTimer>
#include <functional>

#include "display/frame_buffer.h"
#include "session/session_commands.h"
#include "ui/frame_view.h"
#include "ui/keyboard_grab_watch.h"

class QAction;
class QMenuBar;

namespace corvane {

// The title before the login sets the session's.
inline constexpr const char* kInitialTitle = "Corvane Display Client";

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(FrameBuffer& frameBuffer, SessionCommands& commands, QWidget* parent = nullptr);

    [[nodiscard]] FrameView* View() { return m_view; }

    // Places and shows the window as the session asks: framed and centred, or full screen.
    void ShowForSession();
    void ToggleFullScreen();
    [[nodiscard]] bool FullScreenShown() const { return m_fullScreenShown; }
    [[nodiscard]] bool FullScreenSession() const { return m_facts.fullScreenSession; }

    // The decompression thread items, as the user last chose them.
    [[nodiscard]] int ThreadLimit() const { return m_threadLimit; }

    // Opens the exit dialog, as closing the window does.
    void OpenExitDialog();
    // The function-key help for the session's originator or for a user who joined it.
    void ShowFunctionDialog(bool collaborator);

    // The keyboard grab: while wanted and the window is active, every key (the desktop's own
    // shortcuts too) goes to the session.
    void SetKeyboardGrab(bool wanted);
    [[nodiscard]] bool KeyboardGrabWanted() const { return m_grabWanted; }
    [[nodiscard]] bool KeyboardGrabbed() const { return m_keyboardGrabbed; }

    // In seamless mode full screen is the pop-ups' view: the main window hides and this is
    // told that the pop-ups are shown (true), or that the main window shows instead (false).
    void SetSeamlessViewHandler(std::function<void(bool)> handler) { m_seamlessView = std::move(handler); }

    // Lets the window close without the exit dialog: the session has ended.
    void AllowClose() { m_closeAllowed = true; }

signals:
    void KeyboardGrabChanged();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The session and the menu bar: the most a framed window ever needs.
    [[nodiscard]] QSize FramedSize() const;
    // The largest the framed window may grow: its framed size, or anything when the picture
    // scales to the window.
    [[nodiscard]] QSize MaximumFramedSize() const;
    void ChooseViewScale(ViewScale scale);
    void BuildSessionMenu();
    void SaveConnectionFile();
    void ChooseThreadLimit(int limit);
    void RevealMenuInFullScreen();
    void ApplyKeyboardGrab();

    FrameBuffer& m_frameBuffer;
    SessionCommands& m_commands;
    SessionFacts m_facts;
    FrameView* m_view = nullptr;
    // The Session menu of full screen: it slides down over the picture, which stays where it
    // is, so a window position names the same remote pixel with the menu shown or not. (The
    // framed window's menu bar, part of the layout, would push the view down.)
    QMenuBar* m_fullScreenMenu = nullptr;
    QRect m_windowGeometry;  // where the framed window stood before full screen
    // Another program's keyboard grab leaves no key held on the server either.
    KeyboardGrabWatch m_grabWatch{[this] { m_commands.KeyboardLost(); }};
    QTimer m_menuReveal;     // in full screen: shows the menu bar while the pointer is at the top
    bool m_fullScreenShown = false;
    bool m_closeAllowed = false;
    bool m_exitDialogOpen = false;
    QAction* m_grabAction = nullptr;
    bool m_grabWanted = false;
    bool m_keyboardGrabbed = false;
    int m_threadLimit = 2;
    std::function<void(bool)> m_seamlessView;
};

}  // namespace corvane
