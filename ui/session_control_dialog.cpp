#include "ui/session_control_dialog.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "config/log.h"

namespace corvane {

namespace {

constexpr int kCountdownStart = 10;
// The countdown's counter, shared by every dialog of the process.
int g_countdown = kCountdownStart;

const QString kNewSessionLine = "New Session";

class SessionControlDialog : public QDialog {
public:
    SessionControlDialog(const SessionTable& sessions, int choiceSoFar, SessionControlTiming timing,
                         QWidget* parent)
        : QDialog(parent), m_sessions(sessions), m_choice(choiceSoFar), m_timing(timing) {
        setWindowTitle("Session Control");
        setModal(true);

        auto* column = new QVBoxLayout(this);
        column->addWidget(new QLabel("The server has reported the following disconnected sessions: ", this));
        m_list = new QListWidget(this);
        m_list->setObjectName("sessions");
        m_list->setMinimumWidth(500);
        m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        column->addWidget(m_list);

        const auto& entries = sessions.Entries();
        for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
            const SessionEntry& e = entries[static_cast<size_t>(i)];
            const std::string start = SessionStartTimeText(e.startTime);
            DebugPrint(1, "%2d  SID: %4d   PID: %6d %dx%dx%d\tStart time %s\n", i, e.sid, e.pid, e.width, e.height,
                       e.depth, start.c_str());
            m_list->addItem(QString::fromStdString(SessionLine(e)));
        }
        m_list->addItem(kNewSessionLine);
        m_list->setCurrentRow(LastSessionRow());

        auto* row = new QHBoxLayout;
        auto* select = new QPushButton("Select", this);
        select->setObjectName("select");
        select->setDefault(true);
        m_countdown = new QLabel(this);
        m_countdown->setObjectName("countdown");
        row->addWidget(select);
        row->addStretch();
        row->addWidget(m_countdown);
        column->addLayout(row);

        connect(select, &QPushButton::clicked, this, &SessionControlDialog::Select);
        connect(m_list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
            m_list->setCurrentItem(item);
            Select();
        });
        connect(&m_timer, &QTimer::timeout, this, &SessionControlDialog::Tick);
        // A spent countdown stays spent: a dialog shown again waits for the user.
        if (g_countdown >= 0) m_timer.start(m_timing.tick);
    }

    ~SessionControlDialog() override { DebugPrint(1, "WM_DESTROY from SessionCtl!!!\n"); }

    [[nodiscard]] int Choice() const { return m_choice; }

private:
    // The last listed session; "New Session" when the server listed none.
    int LastSessionRow() const { return m_sessions.Count() > 0 ? m_sessions.Count() - 1 : 0; }

    void Tick() {
        m_countdown->setText(QString::number(g_countdown));
        --g_countdown;
        if (g_countdown != -1) return;
        m_timer.stop();
        const int row = LastSessionRow();
        m_list->setCurrentRow(row);
        m_choice = ChoiceAt(row);
        QTimer::singleShot(m_timing.closeDelay, this, [this] { done(QDialog::Accepted); });
    }

    void Select() {
        m_timer.stop();
        const int row = m_list->currentRow();
        if (row < 0 || !m_list->currentItem() || !m_list->currentItem()->isSelected()) {
            QMessageBox::warning(this, "zRP Session Control", "Please select a session to connect.");
            return;
        }
        m_choice = ChoiceAt(row);
        done(QDialog::Accepted);
    }

    int ChoiceAt(int row) const {
        if (m_list->item(row) && m_list->item(row)->text().startsWith(kNewSessionLine)) return kNewSessionId;
        if (row < 0 || row >= m_sessions.Count()) return kNewSessionId;
        return m_sessions.Entries()[static_cast<size_t>(row)].sid;
    }

    const SessionTable& m_sessions;
    int m_choice;
    SessionControlTiming m_timing;
    QListWidget* m_list = nullptr;
    QLabel* m_countdown = nullptr;
    QTimer m_timer;
};

}  // namespace

int RunSessionControlDialog(const SessionTable& sessions, QWidget* parent, int choiceSoFar,
                            SessionControlTiming timing) {
    SessionControlDialog dialog(sessions, choiceSoFar, timing, parent);
    (void)dialog.exec();  // the choice is kept whatever way the dialog was closed
    return dialog.Choice();
}

void ResetSessionControlCountdown() { g_countdown = kCountdownStart; }

}  // namespace corvane
