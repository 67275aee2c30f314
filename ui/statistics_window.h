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

    // Centres the window in the work area and brings it to the front.
    void ShowStatistics();

    // One timer tick: times, lamps and throughput. Public so tests need not wait.
    void Refresh();

private:
    void ShowThroughput();
    void ReturnFocus();
    void done(int result) override;

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
