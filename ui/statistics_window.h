// The statistics window ("Session Statistics"): facts about the session, how long it has
// been connected, the server's clock, two activity lamps and the incoming throughput.
//
// Lives on the user-interface thread, hidden until ShowStatistics(). A 100 ms timer reads
// the session through SessionCommands, which outlives the window.
#pragma once

#include <QDialog>
#include <QTimer>

#include "session/session_commands.h"

class QLabel;
class QRadioButton;

namespace corvane {

class ActivityLamps;

class StatisticsWindow : public QDialog {
    Q_OBJECT

public:
    StatisticsWindow(SessionCommands& commands, QWidget* parent = nullptr);
    ~StatisticsWindow() override;

    // Centres the window in the work area of the main window's screen (clipped to it) and
    // brings it to the front. Hiding it, by OK, the close box or Escape, gives the keyboard
    // back to the main window.
    void ShowStatistics();

    // One timer tick: times, lamps and throughput. Public so tests need not wait.
    void Refresh();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void ShowThroughput();
    // The window the statistics belong to: the parent when there is one, else the client's
    // main window (the statistics window is created as a window of its own).
    [[nodiscard]] QWidget* MainWindowOf() const;

    SessionCommands& m_commands;
    SessionFacts m_facts;
    QTimer m_timer;
    QLabel* m_totalTime = nullptr;
    QLabel* m_serverTime = nullptr;
    QLabel* m_minimum = nullptr;
    QLabel* m_maximum = nullptr;
    QLabel* m_average = nullptr;
    QRadioButton* m_kilobytes = nullptr;
    QRadioButton* m_megabytes = nullptr;
    ActivityLamps* m_lamps = nullptr;
    RateSummary m_rates;
};

}  // namespace corvane
