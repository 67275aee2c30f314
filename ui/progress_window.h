// The progress window ("Connection in progress..."): what the client is doing from start-up
// until the session is shown, and the notice left when a session ends.
//
// Lives on the user-interface thread. Every 100 ms it takes the latest post of the status
// mailbox, which any thread may write, and applies it to its lines.
#pragma once

#include <QDialog>
#include <QTimer>
#include <array>

#include "config/status_mailbox.h"
#include "ui/status_texts.h"

class QLabel;
class QPushButton;

namespace corvane {

class ProgressWindow : public QDialog {
    Q_OBJECT

public:
    // The mailbox outlives the window.
    ProgressWindow(StatusMailbox& mailbox, ProgressOptions options, QWidget* parent = nullptr);
    ~ProgressWindow() override;

    // Shows the window in the middle of the screen's work area.
    void ShowCentred();
    // The client is about to end on an error: the button becomes "Exit" and the window
    // comes forward; the error line arrives through the mailbox.
    void OfferExit();
    // A session has ended: empties the lines, puts `line` into the log-on line, sets the
    // title, offers the Exit button, shows and centres the window and beeps.
    void ShowSessionEndNotice(const QString& title, const QString& line);

    // The session's window is up: from now on closing this window only hides it (until an
    // end notice). Before that it is the only window the user has, and closing it ends the
    // client, also while a silent server holds the login.
    void SessionShown() { m_sessionShown = true; }

    // Applies the mailbox's pending post now (the timer does this every 100 ms).
    void TakeStatus();

    // The text of line `index` (ProgressLine) and the button, for tests.
    [[nodiscard]] QString LineText(int index) const;
    [[nodiscard]] QPushButton* Button() const { return m_button; }

signals:
    // The user pressed the button, or closed the window before the session was shown or
    // while it shows an end notice.
    void exitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    StatusMailbox& m_mailbox;
    ProgressOptions m_options;
    std::array<QLabel*, kProgressLineCount> m_lines{};
    QPushButton* m_button = nullptr;
    QTimer m_timer;
    bool m_atNotice = false;
    bool m_sessionShown = false;
};

}  // namespace corvane
