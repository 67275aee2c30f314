// The seamless pop-ups on a real X server (Xvfb), first without a window manager, then with
// openbox: each stands at the server's place, shows its rectangle of the frame buffer, follows
// moves, unmaps and maps, paints only where the damage meets it, freezes while dragged, sends
// its input at screen places, and asks the server before it closes.
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>
#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "fake_session_commands.h"
#include "test_display.h"
#include "ui/popup_window.h"
#include "ui/seamless_windows.h"
#include "ui/seamless_x11.h"

using namespace corvane;
using corvane::test::TestDisplay;

// So that a failed comparison of the reports shows them.
template <>
char* QTest::toString(const std::vector<std::string>& strings) {
    std::string joined = "{";
    for (const std::string& s : strings) joined += (joined.size() > 1 ? ", \"" : "\"") + s + "\"";
    return qstrdup((joined + "}").c_str());
}

namespace {

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int kPatienceMs = 10000;

TestDisplay g_display;

// A picture in which every pixel tells its place: blue = x, green = y, red = x ^ y.
void FillPattern(FrameBuffer& buffer) {
    std::lock_guard lock(buffer.Mutex());
    for (int y = 0; y < buffer.SessionHeight(); ++y) {
        uint8_t* row = buffer.ScreenRow(y);
        for (int x = 0; x < buffer.Width(); ++x) {
            row[x * 4 + 0] = static_cast<uint8_t>(x);
            row[x * 4 + 1] = static_cast<uint8_t>(y);
            row[x * 4 + 2] = static_cast<uint8_t>((x ^ y) + 7);
        }
    }
}

QRgb PatternAt(int x, int y) { return qRgb(((x ^ y) + 7) & 0xFF, y & 0xFF, x & 0xFF); }

QImage GrabScreen() { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }

// Whether the screen shows the pattern's rectangle `source` at `place`.
bool ShowsPattern(const QImage& shot, QPoint place, QRect source) {
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            if ((shot.pixel(place.x() + x, place.y() + y) | 0xFF000000u) != PatternAt(source.x() + x, source.y() + y)) {
                return false;
            }
        }
    }
    return true;
}

// The session side of the pop-ups: what they report, in order.
class SeamlessCommands : public FakeCommands {
public:
    std::vector<std::string> reports;
    void SeamlessButtonHeld(uint32_t handle, bool held) override {
        reports.push_back((held ? "held #" : "let go #") + std::to_string(handle));
    }
    void SeamlessRestored(uint32_t handle) override { reports.push_back("restored #" + std::to_string(handle)); }
    void SeamlessCloseRequested(uint32_t handle) override { reports.push_back("close #" + std::to_string(handle)); }
};

SeamlessWindow Window(uint32_t handle, int x, int y, int width, int height, uint32_t linked = 0) {
    return {handle, handle + 1000, linked, x, y, width, height, "w" + std::to_string(handle)};
}

// xwininfo's name of a pop-up: "<server label> <title> Corvane".
std::string NameOf(uint32_t handle) { return "\"test w" + std::to_string(handle) + " Corvane\""; }

bool Placed(const TestDisplay::Window& w, QRect expected) {
    return w.x == expected.x() && w.y == expected.y() && w.width == expected.width() && w.height == expected.height();
}

// Waits until the window stands on the screen at `expected`, mapped.
bool ShownAt(uint32_t handle, QRect expected) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < kPatienceMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const auto w = g_display.WindowNamed(NameOf(handle));
        if (w && Placed(*w, expected) && g_display.Viewable(w->id)) return true;
    }
    const auto w = g_display.WindowNamed(NameOf(handle));
    qWarning() << "window" << handle
               << (w ? QString("at %1,%2 %3x%4").arg(w->x).arg(w->y).arg(w->width).arg(w->height) : QString("not found"))
               << (w ? g_display.Output("xwininfo -id " + w->id).c_str() : "");
    return false;
}

// Lets the pop-ups paint what they were asked to.
void Settle(int milliseconds = 150) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace

// Behaviour that is the same with and without a window manager.
class SeamlessPopupsTest : public QObject {
    Q_OBJECT

public:
    explicit SeamlessPopupsTest(bool windowManager) : m_windowManager(windowManager) {}

private slots:
    void init() {
        m_commands = std::make_unique<SeamlessCommands>();
        m_commands->facts.seamless = true;
        m_commands->facts.serverLabel = "test";
        m_frame = std::make_unique<FrameBuffer>();
        QVERIFY(m_frame->CreateWorkBitmap(kScreenWidth, kScreenHeight, 24, true));
        FillPattern(*m_frame);
        m_popups = std::make_unique<SeamlessWindows>(*m_frame, *m_commands);
    }
    void cleanup() {
        m_popups.reset();
        Settle(50);
    }

    void WindowManagerIsSeenAsItIs() { QCOMPARE(WindowManagerRunning(), m_windowManager); }

    void PopupsStandAtTheServersPlaceAndShowTheirRectangle() {
        const QRect places[] = {{40, 30, 300, 200}, {500, 100, 220, 340}, {120, 420, 500, 150}};
        for (uint32_t i = 0; i < 3; ++i) {
            const QRect& r = places[i];
            m_popups->Create(Window(i + 1, r.x(), r.y(), r.width(), r.height(), i == 0 ? 0 : 100 + i));
        }
        for (uint32_t i = 0; i < 3; ++i) QVERIFY(ShownAt(i + 1, places[i]));
        QCOMPARE(static_cast<int>(g_display.WindowsNamed(" Corvane\"").size()), 3);
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(std::begin(places), std::end(places),
                                             [shot = GrabScreen()](const QRect& r) {
                                                 return ShowsPattern(shot, r.topLeft(), r);
                                             }),
                                 kPatienceMs);
    }

    void APlaceLeftToTheClientIsTheMiddleOfTheScreen() {
        m_popups->Create(Window(1, kCentredPosition, kCentredPosition, 200, 100));
        QVERIFY(ShownAt(1, QRect((kScreenWidth - 200) / 2, (kScreenHeight - 100) / 2, 200, 100)));
    }

    void NumbersBeyondAnyScreenAreHarmless() {
        m_popups->Create(Window(1, INT32_MAX, INT32_MIN, INT32_MAX, -7, 101));
        m_popups->Create(Window(2, 10, 10, 0, 0));
        m_popups->Move(1, ServerRect(INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX), false);
        m_popups->FrameChanged(QRegion(0, 0, kScreenWidth, kScreenHeight));
        Settle(200);
        QCOMPARE(m_popups->Count(), 2);
        QVERIFY(m_popups->Popup(2)->width() >= 1);
    }

    void MovesUnmapsMapsAndDestroysFollowTheServer() {
        m_popups->Create(Window(1, 50, 60, 200, 150, 101));
        QVERIFY(ShownAt(1, {50, 60, 200, 150}));
        m_popups->Move(1, QRect(300, 250, 260, 120), false);
        QVERIFY(ShownAt(1, {300, 250, 260, 120}));
        QTRY_VERIFY_WITH_TIMEOUT(ShowsPattern(GrabScreen(), {300, 250}, {300, 250, 260, 120}), kPatienceMs);

        m_popups->Show(1, PopupShow::Minimise);
        QTRY_VERIFY_WITH_TIMEOUT(!g_display.Viewable(g_display.WindowNamed(NameOf(1))->id), kPatienceMs);
        m_popups->Show(1, PopupShow::Normal);
        QVERIFY(ShownAt(1, {300, 250, 260, 120}));
        // The server's own map is not reported back as the user's restore.
        Settle(300);
        QCOMPARE(m_commands->reports, std::vector<std::string>{});

        m_popups->Destroy(1);
        QTRY_VERIFY_WITH_TIMEOUT(g_display.WindowsNamed(NameOf(1)).empty(), kPatienceMs);
        QCOMPARE(m_popups->Count(), 0);
    }

    void ClosingAsksTheServerAndOnlyForLinkedWindows() {
        m_popups->Create(Window(1, 10, 10, 100, 100, 0));
        m_popups->Create(Window(2, 200, 10, 100, 100, 102));
        QVERIFY(ShownAt(1, {10, 10, 100, 100}));
        QVERIFY(ShownAt(2, {200, 10, 100, 100}));
        QVERIFY(!m_popups->Popup(1)->close());
        QVERIFY(!m_popups->Popup(2)->close());
        QCOMPARE(m_commands->reports, std::vector<std::string>{"close #2"});
        // Both stay until the server destroys them.
        QVERIFY(m_popups->Popup(1)->isVisible());
        QVERIFY(m_popups->Popup(2)->isVisible());
    }

    void OnlyLinkedWindowsHaveATaskBarEntry() {
        m_popups->Create(Window(1, 10, 10, 100, 100, 0));
        m_popups->Create(Window(2, 200, 10, 100, 100, 102));
        QVERIFY(ShownAt(1, {10, 10, 100, 100}));
        QVERIFY(ShownAt(2, {200, 10, 100, 100}));
        QVERIFY(HasSkipTaskbar(*m_popups->Popup(1)));
        QVERIFY(!HasSkipTaskbar(*m_popups->Popup(2)));
        // Taking over a linked window's id makes the window linked.
        m_popups->Retake(Window(1, 10, 10, 100, 100, 55));
        QTRY_VERIFY_WITH_TIMEOUT(!HasSkipTaskbar(*m_popups->Popup(1)), kPatienceMs);
    }

    void AnUpdatePaintsOnlyThePopupsItMeets() {
        // 500 pop-ups of 40 x 30 in a grid.
        constexpr int kColumns = 25;
        constexpr int kCount = 500;
        auto place = [](int i) { return QRect((i % kColumns) * 40, (i / kColumns) * 30, 40, 30); };
        for (int i = 0; i < kCount; ++i) {
            const QRect r = place(i);
            m_popups->Create(Window(static_cast<uint32_t>(i + 1), r.x(), r.y(), r.width(), r.height()));
        }
        QVERIFY(ShownAt(kCount, place(kCount - 1)));
        // Every pop-up has painted once it was exposed; then nothing more happens by itself.
        QTRY_VERIFY_WITH_TIMEOUT(m_popups->Paints() >= kCount, kPatienceMs);
        Settle(500);
        std::vector<long> before(kCount);
        for (int i = 0; i < kCount; ++i) before[i] = m_popups->Popup(static_cast<uint32_t>(i + 1))->Paints();
        const long total = m_popups->Paints();

        // A change inside pop-up 137 repaints that one.
        const QRect inside = place(136).adjusted(5, 5, -5, -5);
        m_popups->FrameChanged(QRegion(inside));
        QTRY_COMPARE_WITH_TIMEOUT(m_popups->Popup(137)->Paints(), before[136] + 1, kPatienceMs);
        Settle(300);
        QCOMPARE(m_popups->Paints(), total + 1);

        // A change across the border of two pop-ups repaints both, and no other.
        const QRect across(place(200).right() - 3, place(200).y() + 4, 8, 8);
        m_popups->FrameChanged(QRegion(across));
        Settle(300);
        QCOMPARE(m_popups->Paints(), total + 3);
        QCOMPARE(m_popups->Popup(201)->Paints(), before[200] + 1);
        QCOMPARE(m_popups->Popup(202)->Paints(), before[201] + 1);
    }

    void ADraggedWindowKeepsItsPictureUntilTheButtonIsLetGo() {
        m_popups->Create(Window(1, 100, 100, 200, 150, 101));
        QVERIFY(ShownAt(1, {100, 100, 200, 150}));
        PopupWindow* popup = m_popups->Popup(1);
        QTRY_VERIFY_WITH_TIMEOUT(popup->Paints() > 0, kPatienceMs);
        Settle(200);
        QTest::mousePress(popup, Qt::LeftButton, {}, QPoint(20, 5));
        QCOMPARE(m_commands->reports, std::vector<std::string>{"held #1"});
        // The server moves the window as the user drags: same size, so the picture holds.
        m_popups->Move(1, QRect(130, 110, 200, 150), true);
        QVERIFY(popup->Frozen());
        QVERIFY(ShownAt(1, {130, 110, 200, 150}));
        const long frozenPaints = popup->Paints();
        m_popups->FrameChanged(QRegion(0, 0, kScreenWidth, kScreenHeight));
        Settle(200);
        QCOMPARE(popup->Paints(), frozenPaints);

        QTest::mouseRelease(popup, Qt::LeftButton, {}, QPoint(20, 5));
        QCOMPARE(m_commands->reports, (std::vector<std::string>{"held #1", "let go #1"}));
        QVERIFY(!popup->Frozen());
        QTRY_VERIFY_WITH_TIMEOUT(popup->Paints() == frozenPaints + 1, kPatienceMs);
        // And once more a little later, when the server has drawn what the drag left behind.
        QTRY_VERIFY_WITH_TIMEOUT(popup->Paints() == frozenPaints + 2, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(ShowsPattern(GrabScreen(), {130, 110}, {130, 110, 200, 150}), kPatienceMs);

        // A freeze that arrives after the release (the drag is over) is not taken.
        m_popups->Move(1, QRect(140, 110, 200, 150), true);
        QVERIFY(!popup->Frozen());
    }

    void PointerEventsCarryScreenPlaces() {
        m_popups->Create(Window(1, 300, 200, 200, 150, 101));
        QVERIFY(ShownAt(1, {300, 200, 200, 150}));
        (void)g_display.Output("xdotool mousemove 340 260 click 1");
        // Press and release; a motion too unless the pointer stood there already.
        QTRY_VERIFY_WITH_TIMEOUT(m_commands->pointer.size() >= 2 && m_commands->pointer.back().kind == PointerKind::Release,
                                 kPatienceMs);
        bool pressed = false;
        for (const PointerInput& input : m_commands->pointer) {
            QVERIFY(input.frameIsScreen);
            if (input.kind == PointerKind::Press) {
                pressed = true;
                QCOMPARE(input.screenX, 340);
                QCOMPARE(input.screenY, 260);
                QCOMPARE(input.clientX, 40);
                QCOMPARE(input.clientY, 60);
            }
        }
        QVERIFY(pressed);
    }

    void KeysTypedIntoAPopupGoToTheSession() {
        m_popups->Create(Window(1, 300, 200, 200, 150, 101));
        QVERIFY(ShownAt(1, {300, 200, 200, 150}));
        m_popups->Popup(1)->activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(m_popups->Popup(1)->isActiveWindow(), kPatienceMs);
        (void)g_display.Output("xdotool key a");
        QTRY_VERIFY_WITH_TIMEOUT(m_commands->keys.size() >= 2, kPatienceMs);
        QCOMPARE(m_commands->keys.front().virtualKey, 'A');
    }

    void ActivatingOnePopupBringsTheOthersUpBehindIt() {
        // A window of another program, over the pop-ups' place.
        QWidget stranger;
        stranger.setWindowTitle("stranger");
        stranger.setGeometry(0, 0, 600, 400);
        for (uint32_t i = 1; i <= 3; ++i) m_popups->Create(Window(i, 40 * i, 40 * i, 200, 200, 100 + i));
        QVERIFY(ShownAt(3, {120, 120, 200, 200}));
        stranger.show();
        QTRY_VERIFY_WITH_TIMEOUT(g_display.WindowNamed("\"stranger\"").has_value(), kPatienceMs);
        Settle(200);
        m_popups->Popup(1)->activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(m_popups->Popup(1)->isActiveWindow(), kPatienceMs);
        QSignalSpy activation(m_popups.get(), &SeamlessWindows::clientActivationChanged);
        // The stacking order, bottom first: the stranger, then the other pop-ups, then the one.
        QTRY_VERIFY_WITH_TIMEOUT(StackingOrder() == (std::vector<std::string>{"stranger", "w2", "w3", "w1"}),
                                 kPatienceMs);
        m_popups->Popup(2)->activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(StackingOrder() == (std::vector<std::string>{"stranger", "w3", "w1", "w2"}),
                                 kPatienceMs);
        // Moving between the client's own windows is no activation of the client.
        QCOMPARE(activation.count(), 0);
        // The other window comes over them; activating a pop-up then brings them all up again.
        stranger.raise();
        stranger.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(stranger.isActiveWindow(), kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(StackingOrder().back() == "stranger", kPatienceMs);
        m_popups->Popup(3)->activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(StackingOrder() == (std::vector<std::string>{"stranger", "w1", "w2", "w3"}),
                                 kPatienceMs);
    }

    void AWindowTheUserRestoresIsMappedOnTheServer() {
        if (!m_windowManager) QSKIP("without a window manager nobody minimises or restores a window");
        m_popups->Create(Window(1, 100, 100, 200, 150, 101));
        QVERIFY(ShownAt(1, {100, 100, 200, 150}));
        PopupWindow* popup = m_popups->Popup(1);
        m_popups->Show(1, PopupShow::Minimise);
        QTRY_VERIFY_WITH_TIMEOUT(popup->isMinimized(), kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(!g_display.Viewable(g_display.WindowNamed(NameOf(1))->id), kPatienceMs);
        // The server maps it again: no report back.
        m_popups->Show(1, PopupShow::Normal);
        QVERIFY(ShownAt(1, {100, 100, 200, 150}));
        // Minimised only once the toolkit has seen it mapped: before that it asks for an
        // iconic start, which a window already managed does not get.
        QVERIFY(QTest::qWaitForWindowExposed(popup, kPatienceMs));
        Settle(300);
        m_popups->Show(1, PopupShow::Minimise);
        QTRY_VERIFY_WITH_TIMEOUT(popup->isMinimized(), kPatienceMs);
        // Iconified by the window manager before the user acts: a busy window manager would
        // otherwise take the activation first and never show the window minimised.
        QTRY_VERIFY_WITH_TIMEOUT(!g_display.Viewable(g_display.WindowNamed(NameOf(1))->id), kPatienceMs);
        QCOMPARE(m_commands->reports, std::vector<std::string>{});
        // The user brings it back (a task bar asks the window manager to activate it).
        Settle(1200);
        (void)g_display.Output("xdotool windowactivate " + g_display.WindowNamed(NameOf(1))->id);
        QVERIFY(ShownAt(1, {100, 100, 200, 150}));
        QTRY_COMPARE_WITH_TIMEOUT(m_commands->reports, std::vector<std::string>{"restored #1"}, kPatienceMs);
    }

    void TheWindowManagersCloseAsksTheServer() {
        if (!m_windowManager) QSKIP("the close key belongs to the window manager");
        m_popups->Create(Window(1, 100, 100, 200, 150, 101));
        QVERIFY(ShownAt(1, {100, 100, 200, 150}));
        m_popups->Popup(1)->activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(m_popups->Popup(1)->isActiveWindow(), kPatienceMs);
        (void)g_display.Output("xdotool key alt+F4");
        QTRY_COMPARE_WITH_TIMEOUT(m_commands->reports, std::vector<std::string>{"close #1"}, kPatienceMs);
        Settle(200);
        QVERIFY(ShownAt(1, {100, 100, 200, 150}));
    }

private:
    // The titles of the top-level windows of interest, bottom of the stack first.
    static std::vector<std::string> StackingOrder() {
        QCoreApplication::processEvents();
        std::vector<std::string> order;
        // xwininfo lists the root's children top first.
        const std::string tree = g_display.Output("xwininfo -root -tree");
        for (size_t at = tree.find('"'); at != std::string::npos; at = tree.find('"', at + 1)) {
            const size_t end = tree.find('"', at + 1);
            if (end == std::string::npos) break;
            std::string name = tree.substr(at + 1, end - at - 1);
            at = end;
            if (name == "stranger") {
                order.insert(order.begin(), name);
            } else if (name.rfind("test w", 0) == 0 && name.size() > 14) {
                order.insert(order.begin(), name.substr(5, name.size() - 5 - 8));
            }
        }
        return order;
    }

    bool m_windowManager;
    std::unique_ptr<SeamlessCommands> m_commands;
    std::unique_ptr<FrameBuffer> m_frame;
    std::unique_ptr<SeamlessWindows> m_popups;
};

int main(int argc, char** argv) {
    if (!g_display.Start(kScreenWidth, kScreenHeight)) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    setenv("DISPLAY", g_display.Name().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // No session bus: without one the bus library would start a bus daemon on the test's X
    // server, which outlives the test, and keep a buffer the leak checker reports.
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    QApplication application(argc, argv);
    int failures = 0;
    {
        SeamlessPopupsTest bare(false);
        failures += QTest::qExec(&bare, argc, argv);
    }
    if (!g_display.StartWindowManager()) {
        std::fprintf(stderr, "cannot start openbox\n");
        return failures + 1;
    }
    {
        SeamlessPopupsTest managed(true);
        failures += QTest::qExec(&managed, argc, argv);
    }
    return failures;
}

#include "seamless_popups_test.moc"
