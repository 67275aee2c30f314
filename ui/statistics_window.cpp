#include "ui/statistics_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>
#include <ctime>

#include "config/log.h"
#include "ui/main_window.h"
#include "ui/status_texts.h"

namespace corvane {

namespace {

constexpr int kPollMilliseconds = 100;
// Servers older than this do not report their clock.
constexpr int kFirstServerWithClock = 200;

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

// Two lamps: whether input went out, and whether a message came in, since the last tick.
class ActivityLamps : public QWidget {
public:
    explicit ActivityLamps(QWidget* parent) : QWidget(parent) {
        setFixedSize(24, 50);
        setToolTip("Input sent / message received");
    }

    void Set(bool inputSent, bool messageReceived) {
        const QColor input = inputSent ? QColor(255, 255, 0) : QColor(255, 0, 0);
        const QColor receive = messageReceived ? QColor(0, 255, 255) : QColor(0, 0, 255);
        if (input == m_input && receive == m_receive) return;
        m_input = input;
        m_receive = receive;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(QPen(Qt::black, 2));
        painter.setBrush(m_input);
        painter.drawRect(QRect(1, 1, 20, 15));
        painter.setBrush(m_receive);
        painter.drawRect(QRect(1, 31, 20, 15));
    }

private:
    QColor m_input{255, 0, 0};
    QColor m_receive{0, 0, 255};
};

StatisticsWindow::StatisticsWindow(SessionCommands& commands, QWidget* parent)
    : QDialog(parent), m_commands(commands), m_facts(commands.Facts()) {
    setWindowTitle("Session Statistics");
    setModal(false);

    auto* facts = new QFormLayout;
    auto addFact = [&](const char* label, const QString& value, const char* name = nullptr) {
        auto* field = new QLabel(value, this);
        field->setTextFormat(Qt::PlainText);
        if (name) field->setObjectName(name);
        facts->addRow(label, field);
        return field;
    };
    addFact("User:", Text("\"" + m_facts.user + "\""), "user");
    addFact("Remote host:", Text(m_facts.remoteHost));
    addFact("Session number:", QString::number(m_facts.sessionId));
    addFact("Collaborating?", m_facts.collaborating ? "Yes" : "No");
    addFact("Display:",
            Text(DisplayLineText(m_facts.titleText, m_facts.width, m_facts.height, m_facts.depth,
                                 m_facts.fullScreenSession)),
            "display");
    addFact("Project identifier:", Text(m_facts.projectId));
    addFact("Server version:", Text(m_facts.serverVersion));
    addFact("Connected since:", Text(LocalPointInTimeText(m_facts.connectedAt)));
    m_totalTime = addFact("Total time connected:", QString(), "totalTime");
    m_serverTime = addFact("Server time:", QString(), "serverTime");
    addFact("Client version:", Text(m_facts.clientVersion));

    auto* rates = new QGridLayout;
    rates->addWidget(new QLabel("Minimum", this), 0, 1);
    rates->addWidget(new QLabel("Maximum", this), 0, 2);
    rates->addWidget(new QLabel("Average", this), 0, 3);
    rates->addWidget(new QLabel("Rcv:", this), 1, 0);
    m_minimum = new QLabel("0", this);
    m_maximum = new QLabel("0", this);
    m_average = new QLabel("0", this);
    m_minimum->setObjectName("minimum");
    m_maximum->setObjectName("maximum");
    m_average->setObjectName("average");
    rates->addWidget(m_minimum, 1, 1);
    rates->addWidget(m_maximum, 1, 2);
    rates->addWidget(m_average, 1, 3);
    // Nothing measures what goes out.
    rates->addWidget(new QLabel("Tx:", this), 2, 0);
    for (int column = 1; column <= 3; ++column) rates->addWidget(new QLabel("0", this), 2, column);

    m_kilobytes = new QRadioButton("\"K\" bytes", this);
    m_megabytes = new QRadioButton("\"M\" Bytes", this);
    m_kilobytes->setObjectName("kilobytes");
    m_megabytes->setObjectName("megabytes");
    m_megabytes->setChecked(true);
    auto* units = new QButtonGroup(this);
    units->addButton(m_kilobytes);
    units->addButton(m_megabytes);
    connect(units, &QButtonGroup::buttonClicked, this, [this] { ShowThroughput(); });

    auto* reset = new QPushButton("Reset", this);
    reset->setObjectName("reset");
    reset->setAutoDefault(false);
    connect(reset, &QPushButton::clicked, this, [this] {
        (void)m_commands.Throughput(true);
        m_rates = {};
        m_minimum->setText("0");
        m_maximum->setText("0");
    });
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("ok");
    ok->setDefault(true);
    // OK, the close box and Escape only hide the window: it lives as long as the session.
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    m_lamps = new ActivityLamps(this);
    auto* throughput = new QGroupBox("Throughput", this);
    auto* throughputLayout = new QHBoxLayout(throughput);
    throughputLayout->addWidget(m_lamps);
    throughputLayout->addLayout(rates, 1);
    auto* unitColumn = new QVBoxLayout;
    unitColumn->addWidget(m_kilobytes);
    unitColumn->addWidget(m_megabytes);
    throughputLayout->addLayout(unitColumn);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(reset);
    buttons->addStretch();
    buttons->addWidget(ok);

    auto* column = new QVBoxLayout(this);
    column->addLayout(facts);
    column->addWidget(throughput);
    column->addLayout(buttons);

    Refresh();
    connect(&m_timer, &QTimer::timeout, this, &StatisticsWindow::Refresh);
    m_timer.start(kPollMilliseconds);
}

StatisticsWindow::~StatisticsWindow() {
    DebugPrint(1, "WM_DESTROY from SessionStat!!!\n");
    DebugPrint(1, "Stat Thread exiting\n");
}

void StatisticsWindow::ShowStatistics() {
    adjustSize();
    QWidget* main = MainWindowOf();
    QScreen* screen = main ? main->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        // The frame, when the window was shown before, counts towards what must fit.
        const QSize frame = frameGeometry().size() - size();
        resize(size().boundedTo(area.size() - frame));
        const QSize outer = size() + frame;
        move(area.x() + (area.width() - outer.width()) / 2,
             area.y() + (area.height() - outer.height()) / 2);
    }
    show();
    raise();
    activateWindow();
}

void StatisticsWindow::Refresh() {
    m_totalTime->setText(Text(DurationText(std::time(nullptr) - m_facts.connectedAt)));
    const int64_t serverTime = m_commands.ServerTime();
    // Before the server's first status record there is no clock to show either.
    if (m_facts.serverVersionNumber < kFirstServerWithClock || serverTime <= 0) {
        m_serverTime->setText("Unavailable");
    } else {
        m_serverTime->setText(Text(LocalPointInTimeText(static_cast<std::time_t>(serverTime))));
    }
    // Taking the flags clears them, so they are taken even while the window is hidden.
    const bool inputSent = m_commands.TakeInputSent();
    const bool messageReceived = m_commands.TakeMessageReceived();
    m_lamps->Set(inputSent, messageReceived);

    const RateSummary rates = m_commands.Throughput(false);
    if (rates.any) {
        m_rates = rates;
        ShowThroughput();
    }
}

void StatisticsWindow::ShowThroughput() {
    if (!m_rates.any) return;
    const bool megabytes = m_megabytes->isChecked();
    m_minimum->setText(Text(ThroughputText(m_rates.minimum, megabytes)));
    m_maximum->setText(Text(ThroughputText(m_rates.maximum, megabytes)));
    m_average->setText(Text(ThroughputText(CorrectedAverage(m_rates.mean), megabytes)));
}

QWidget* StatisticsWindow::MainWindowOf() const {
    if (QWidget* parent = parentWidget()) return parent->window();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<MainWindow*>(window)) return window;
    }
    return nullptr;
}

void StatisticsWindow::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // A minimised or closing client keeps its windows where they are.
    QWidget* main = MainWindowOf();
    if (event->spontaneous() || !main || !main->isVisible() || main->isMinimized()) return;
    main->activateWindow();
}

}  // namespace corvane
