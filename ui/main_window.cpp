#include "ui/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

#include "config/log.h"
#include "session/monitor_layout.h"
#include "ui/exit_dialog.h"
#include "ui/help.h"
#include "ui/screens.h"
#include "ui/window_geometry.h"

namespace corvane {
namespace {

// How often full screen looks whether the pointer rests at the top edge.
constexpr int kMenuRevealMilliseconds = 150;

}  // namespace

MainWindow::MainWindow(FrameBuffer& frameBuffer, SessionCommands& commands, QWidget* parent)
    : QMainWindow(parent), m_frameBuffer(frameBuffer), m_commands(commands), m_facts(commands.Facts()) {
    setWindowTitle(kInitialTitle);
    m_view = new FrameView(frameBuffer, this);
    m_view->SetKeyHandler([this](const KeyInput& input) { m_commands.KeyEvent(input); });
    // Moving between the client's own windows keeps the keyboard; another program taking it
    // leaves no key held on the server.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive) m_commands.KeyboardLost();
    });
    m_view->SetPointerHandlers([this](const PointerInput& input) { m_commands.PointerEvent(input); },
                               [this](int x, int y) { m_commands.PointerWarped(x, y); });
    m_view->SetDebugDrawingRect(m_facts.debugDrawingRect != 0);
    m_view->SetViewScale(StoredViewScale());
    setCentralWidget(m_view);
    BuildSessionMenu();
    SetKeyboardGrab(m_facts.grabKeyboard);
    m_menuReveal.setInterval(kMenuRevealMilliseconds);
    connect(&m_menuReveal, &QTimer::timeout, this, [this] { RevealMenuInFullScreen(); });
}

void MainWindow::BuildSessionMenu() {
    QMenu* menu = menuBar()->addMenu("&Session");
    menu->addAction("Copy Rectangle...", this, [this] { m_view->StartRectangleCopy(); });
    menu->addAction("Help...", this, [this] { ShowFunctionDialog(m_facts.collaborating); });
    menu->addAction("Save .zrp File...", this, [this] { SaveConnectionFile(); });
    if (m_facts.fullScreenSession) menu->addAction("Toggle Full Screen", this, [this] { ToggleFullScreen(); });
    if (m_facts.keyMapAvailable) {
        menu->addAction("Toggle Int'l Keyboard Support", this, [this] { (void)m_commands.ToggleKeyMapMode(); });
    }
    m_grabAction = menu->addAction("Grab Keyboard");
    m_grabAction->setCheckable(true);
    connect(m_grabAction, &QAction::toggled, this, [this](bool wanted) { SetKeyboardGrab(wanted); });
    QMenu* scaleMenu = menu->addMenu("Scale");
    auto* scales = new QActionGroup(this);
    scales->setExclusive(true);
    const std::pair<ViewScale, const char*> kScales[] = {{ViewScale::ActualPixels, "Actual Pixels"},
                                                         {ViewScale::FitWindow, "Scale to Window"},
                                                         {ViewScale::Double, "Double Size"}};
    for (const auto& [scale, text] : kScales) {
        QAction* item = scaleMenu->addAction(text);
        item->setCheckable(true);
        item->setChecked(scale == m_view->Scale());
        item->setObjectName("scale-" + ViewScaleName(scale));
        scales->addAction(item);
        connect(item, &QAction::triggered, this, [this, scale = scale] { ChooseViewScale(scale); });
    }
    menu->addSeparator();
    auto* threads = new QActionGroup(this);
    threads->setExclusive(true);
    for (int limit : {2, 4, 8}) {
        QAction* item = menu->addAction(QString("&%1 Thread Decompression").arg(limit));
        item->setCheckable(true);
        item->setChecked(limit == m_threadLimit);
        item->setObjectName(QString("threads%1").arg(limit));
        threads->addAction(item);
        connect(item, &QAction::triggered, this, [this, limit] { ChooseThreadLimit(limit); });
    }
    m_fullScreenMenu = new QMenuBar(this);
    m_fullScreenMenu->setObjectName("fullScreenMenu");
    m_fullScreenMenu->setNativeMenuBar(false);
    m_fullScreenMenu->addMenu(menu);
    m_fullScreenMenu->hide();
}

void MainWindow::ChooseThreadLimit(int limit) {
    m_threadLimit = limit;
    m_commands.SetDecoderThreadLimit(limit);
}

void MainWindow::SaveConnectionFile() {
    QFileDialog dialog(this, "Save .zrp File", QString::fromStdString(m_facts.configDirectory),
                       "zrp Files (*.zrp);;All Files (*)");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("zrp");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    // A failed save has told the user already.
    (void)m_commands.SaveConnectionFile(dialog.selectedFiles().front().toStdString(), m_fullScreenShown);
}

QSize MainWindow::FramedSize() const {
    return m_view->NaturalSize() + QSize(0, menuBar()->sizeHint().height());
}

QSize MainWindow::MaximumFramedSize() const {
    return m_view->Scale() == ViewScale::FitWindow ? QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX) : FramedSize();
}

void MainWindow::ChooseViewScale(ViewScale scale) {
    m_view->SetViewScale(scale);
    StoreViewScale(scale);
    if (m_fullScreenShown) return;
    setMaximumSize(MaximumFramedSize());
    if (scale != ViewScale::FitWindow) {
        const QScreen* shown = screen();
        const QSize room = shown != nullptr ? shown->availableGeometry().size() : FramedSize();
        resize(FramedSize().boundedTo(room));
    }
}

void MainWindow::ShowForSession() {
    const QSize session = m_view->SessionSize();
    const MonitorModel monitors = CurrentMonitorModel();
    DebugPrint(56, "Number of monitors=%d\n", monitors.count);
    DebugPrint(56, "Virtual x=%d y=%d\n", monitors.virtualWidth, monitors.virtualHeight);
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect work = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, session.width(), session.height());
    const int desktopWidth = m_facts.fullScreenSession ? monitors.virtualWidth : work.width();
    const int desktopHeight = m_facts.fullScreenSession ? monitors.virtualHeight : work.height();
    DebugPrint(56, "** This desktop is %dx%d\n", desktopWidth, desktopHeight);
    // The window never needs to be larger than the session and its menu bar.
    const QSize needed = FramedSize();
    setMaximumSize(MaximumFramedSize());
    DebugPrint(56, "** Window rect needs to be %dx%d\n", needed.width(), needed.height());
    const WindowPlacement placement =
        PlaceWindow(needed.width(), needed.height(), Rectangle{work.x(), work.y(), work.width(), work.height()},
                    monitors.virtualWidth, monitors.virtualHeight, m_facts.fullScreenSession);
    resize(placement.maxWidth, placement.maxHeight);
    move(placement.x, placement.y);
    // Where the framed window goes when a full-screen session leaves full screen.
    m_windowGeometry = QRect(placement.x, placement.y, placement.maxWidth, placement.maxHeight);
    if (m_facts.seamless) {
        // The pop-ups show the session; the main window waits hidden until the user asks for it.
        ToggleFullScreen();
        return;
    }
    if (m_facts.fullScreenSession) {
        ToggleFullScreen();
    } else {
        show();
    }
    raise();
    activateWindow();
    m_view->setFocus();
}

void MainWindow::ToggleFullScreen() {
    if (m_fullScreenShown) {
        m_fullScreenShown = false;
        m_menuReveal.stop();
        m_fullScreenMenu->hide();
        if (m_facts.seamless && m_seamlessView) m_seamlessView(false);
        setWindowFlags(windowFlags() & ~Qt::FramelessWindowHint);
        menuBar()->show();
        m_view->SetFullScreenShown(false);
        setMaximumSize(MaximumFramedSize());
        setGeometry(m_windowGeometry);
        showNormal();
    } else {
        if (isVisible()) m_windowGeometry = geometry();
        const MonitorModel monitors = CurrentMonitorModel();
        FullScreenArea area;
        if (CheckMonitorSelection(monitors, m_facts.monitors, area) != kMonitorsValid) {
            area = FullScreenArea{0, monitors.virtualWidth, monitors.virtualHeight};
        }
        m_fullScreenShown = true;
        menuBar()->hide();
        m_view->SetFullScreenShown(true);
        if (m_facts.seamless) {
            hide();
            if (m_seamlessView) m_seamlessView(true);
            return;
        }
        // Full screen may be larger than the session; the view paints the rest black.
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
        setGeometry(area.x, 0, area.width, area.height);
        // One monitor: let the window manager cover its panels too. Several: the borderless
        // window spans them by its geometry.
        if (monitors.count == 1) {
            showFullScreen();
        } else {
            show();
        }
        m_menuReveal.start();
    }
    raise();
    activateWindow();
    m_view->setFocus();
}

void MainWindow::RevealMenuInFullScreen() {
    if (!m_fullScreenShown) return;
    const QPoint pointer = mapFromGlobal(QCursor::pos());
    const bool inside = rect().contains(pointer);
    if (!m_fullScreenMenu->isVisible()) {
        if (inside && pointer.y() <= 1) {
            m_fullScreenMenu->raise();
            m_fullScreenMenu->show();
        }
    } else if (QApplication::activePopupWidget() == nullptr &&
               (!inside || pointer.y() > m_fullScreenMenu->height() + 8)) {
        m_fullScreenMenu->hide();
    }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    m_fullScreenMenu->setGeometry(0, 0, width(), m_fullScreenMenu->sizeHint().height());
}

void MainWindow::SetKeyboardGrab(bool wanted) {
    m_grabWanted = wanted;
    if (m_grabAction->isChecked() != wanted) m_grabAction->setChecked(wanted);
    ApplyKeyboardGrab();
}

void MainWindow::ApplyKeyboardGrab() {
    // Only while the window is the user's: another window taking the focus ends the grab.
    const bool grab = m_grabWanted && isVisible() && isActiveWindow();
    if (grab == m_keyboardGrabbed) return;
    if (grab) {
        m_view->grabKeyboard();
    } else {
        m_view->releaseKeyboard();
    }
    m_keyboardGrabbed = grab;
    DebugPrint(1, "Keyboard grab %s\n", grab ? "on" : "off");
    emit KeyboardGrabChanged();
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange) ApplyKeyboardGrab();
    QMainWindow::changeEvent(event);
}

void MainWindow::ShowFunctionDialog(bool collaborator) {
    ShowFunctionKeyHelp(this, collaborator, m_facts.sessionId, QString::fromStdString(m_facts.displayName));
}

void MainWindow::OpenExitDialog() {
    if (m_exitDialogOpen) return;
    m_exitDialogOpen = true;
    RunExitDialog(
        this, m_commands, [this](bool dimmed) { m_view->SetDimmed(dimmed); }, [](bool) {});
    m_exitDialogOpen = false;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_closeAllowed) {
        event->accept();
        return;
    }
    DebugPrint(1, "WM_CLOSE! from MainWin\n");
    event->ignore();
    OpenExitDialog();
}

}  // namespace corvane
