#include "ui/progress_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "config/log.h"

namespace corvane {

namespace {

constexpr int kPollMilliseconds = 100;

// The picture on the left: the product mark, or the older line-art logo when the site asks
// for it. The older logo's origin is a fixed point of the window.
class LogoPicture : public QWidget {
public:
    LogoPicture(bool oldLogo, QWidget* parent) : QWidget(parent), m_oldLogo(oldLogo) { setFixedSize(200, 240); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (m_oldLogo) {
            PaintOldLogo(painter);
        } else {
            PaintMark(painter);
        }
    }

private:
    void PaintMark(QPainter& painter) {
        const QRectF area = QRectF(rect()).adjusted(10, 10, -10, -10);
        QLinearGradient fill(area.topLeft(), area.bottomRight());
        fill.setColorAt(0, QColor(20, 60, 120));
        fill.setColorAt(1, QColor(40, 140, 190));
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(area, 16, 16);

        // A raven's wing sweeping round the letter.
        QPainterPath wing;
        const QPointF c = area.center() - QPointF(0, 20);
        wing.moveTo(c + QPointF(55, -40));
        wing.cubicTo(c + QPointF(10, -80), c + QPointF(-70, -40), c + QPointF(-50, 20));
        wing.cubicTo(c + QPointF(-35, 65), c + QPointF(30, 70), c + QPointF(55, 35));
        painter.setPen(QPen(Qt::white, 12, Qt::SolidLine, Qt::RoundCap));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(wing);

        QFont font = painter.font();
        font.setPointSize(16);
        font.setBold(true);
        painter.setFont(font);
        painter.drawText(area.adjusted(0, 0, 0, -14), Qt::AlignHCenter | Qt::AlignBottom, "Corvane");
    }

    void PaintOldLogo(QPainter& painter) {
        const QPoint origin = mapFrom(window(), QPoint(150, 110));
        painter.translate(origin);
        painter.setPen(QPen(QColor(0, 0, 128), 3));
        painter.drawEllipse(QPoint(0, 0), 60, 60);
        painter.drawLine(-42, -42, 42, 42);
        painter.drawLine(-42, 42, 42, -42);
        painter.drawRect(-20, -20, 40, 40);
    }

    bool m_oldLogo;
};

}  // namespace

ProgressWindow::ProgressWindow(StatusMailbox& mailbox, ProgressOptions options, QWidget* parent)
    : QDialog(parent), m_mailbox(mailbox), m_options(std::move(options)) {
    setWindowTitle("Connection in progress...");
    setModal(false);

    auto* lines = new QVBoxLayout;
    for (QLabel*& line : m_lines) {
        line = new QLabel(this);
        line->setMinimumWidth(360);
        line->setTextFormat(Qt::PlainText);
        line->setWordWrap(true);
        lines->addWidget(line);
    }
    lines->addStretch();
    auto* version = new QLabel(QString::fromStdString(m_options.clientVersion), this);
    version->setObjectName("clientVersion");
    lines->addWidget(version);
    m_button = new QPushButton("Cancel", this);
    m_button->setObjectName("progressButton");
    m_button->setAutoDefault(false);
    m_button->hide();
    lines->addWidget(m_button, 0, Qt::AlignRight);

    auto* row = new QHBoxLayout(this);
    row->addWidget(new LogoPicture(m_options.showOldLogo, this));
    row->addLayout(lines, 1);

    connect(m_button, &QPushButton::clicked, this, [this] {
        hide();
        emit exitRequested();
    });
    connect(&m_timer, &QTimer::timeout, this, &ProgressWindow::TakeStatus);
    m_timer.start(kPollMilliseconds);
}

ProgressWindow::~ProgressWindow() {
    DebugPrint(1, "WM_DESTROY from Splash!!!\n");
    DebugPrint(1, "Splash Thread exiting\n");
}

void ProgressWindow::TakeStatus() {
    std::optional<StatusMessage> message = m_mailbox.Take();
    if (!message) return;
    const ProgressChange change = ProgressChangeFor(*message, m_options);
    for (int i = 0; i < kProgressLineCount; ++i) {
        if (change.lines[i]) m_lines[i]->setText(QString::fromStdString(*change.lines[i]));
    }
    if (change.connectedTitle) setWindowTitle("Corvane Connection");
    if (change.showButton) m_button->show();
}

QString ProgressWindow::LineText(int index) const {
    if (index < 0 || index >= kProgressLineCount) return {};
    return m_lines[index]->text();
}

void ProgressWindow::ShowCentred() {
    adjustSize();
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        QSize size = frameGeometry().size().boundedTo(area.size());
        move(area.center() - QPoint(size.width() / 2, size.height() / 2));
    }
    show();
    raise();
    activateWindow();
}

void ProgressWindow::OfferExit() {
    m_button->setText("Exit");
    ShowCentred();
}

void ProgressWindow::ShowSessionEndNotice(const QString& title, const QString& line) {
    for (QLabel* label : m_lines) label->clear();
    m_lines[kLineLoggingOn]->setText(line);
    setWindowTitle(title);
    m_button->setText("Exit");
    m_button->show();
    m_atNotice = true;
    ShowCentred();
    QApplication::beep();
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (m_atNotice || !m_sessionShown) emit exitRequested();
}

void ProgressWindow::reject() {
    // Escape acts as the close box, not as the button.
    hide();
    if (m_atNotice || !m_sessionShown) emit exitRequested();
}

}  // namespace corvane
