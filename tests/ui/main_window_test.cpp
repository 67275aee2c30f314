// The main window's arithmetic and behaviour: scrolling, sizing, full screen, the monitor
// model, the thread items, painting from the frame buffer, the remote cursor, the rectangle
// copy and the Session menu's help.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenuBar>
#include <QScrollBar>
#include <QtTest>
#include <mutex>

#include "fake_session_commands.h"
#include "ui/frame_view.h"
#include "ui/main_window.h"
#include "session/monitor_layout.h"
#include "ui/remote_cursor.h"
#include "ui/window_geometry.h"

using namespace corvane;

namespace {

// Every pixel gets a colour made of its screen position, in the buffer's own layout: a
// colour-table index at depth 8, a 5-5-5 word at 16, blue-green-red at 24.
void FillPattern(FrameBuffer& buffer) {
    std::lock_guard lock(buffer.Mutex());
    for (int i = 0; i < 256; ++i) buffer.ColourEntries()[i] = static_cast<uint32_t>(i << 16 | (255 - i) << 8 | i / 2);
    for (int y = 0; y < buffer.SessionHeight(); ++y) {
        uint8_t* row = buffer.ScreenRow(y);
        for (int x = 0; x < buffer.Width(); ++x) {
            switch (buffer.Depth()) {
                case 8: row[x] = static_cast<uint8_t>(x + 3 * y); break;
                case 16: {
                    const unsigned word = (x & 0x1F) << 10 | (y & 0x1F) << 5 | ((x ^ y) & 0x1F);
                    row[x * 2] = static_cast<uint8_t>(word);
                    row[x * 2 + 1] = static_cast<uint8_t>(word >> 8);
                    break;
                }
                default:
                    row[x * 4 + 0] = static_cast<uint8_t>(x);
                    row[x * 4 + 1] = static_cast<uint8_t>(y);
                    row[x * 4 + 2] = static_cast<uint8_t>(x ^ y);
            }
        }
    }
}

QRgb PatternAt(int depth, int x, int y) {
    switch (depth) {
        case 8: {
            const int i = (x + 3 * y) & 0xFF;
            return qRgb(i, 255 - i, i / 2);
        }
        case 16: {
            auto widen = [](int c) { return (c << 3) | (c >> 2); };
            return qRgb(widen(x & 0x1F), widen(y & 0x1F), widen((x ^ y) & 0x1F));
        }
        default: return qRgb((x ^ y) & 0xFF, y & 0xFF, x & 0xFF);
    }
}

// A server shape as the client builds it: a picture with its hot spot.
QCursor ServerPicture(QRgb colour, int hotX) {
    CursorImage image;
    image.kind = CursorImage::Kind::Picture;
    image.width = 4;
    image.height = 2;
    image.hotX = hotX;
    image.normal.assign(8, colour);
    image.reversed.assign(8, colour);
    return CursorFromImage(image, 1);
}

bool SameCursor(const QCursor& a, const QCursor& b) {
    if (a.shape() != b.shape()) return false;
    if (a.shape() != Qt::BitmapCursor) return true;
    return a.hotSpot() == b.hotSpot() && a.pixmap().toImage() == b.pixmap().toImage();
}

QAction* MenuItem(MainWindow& window, const QString& text) {
    for (QAction* item : window.findChildren<QAction*>()) {
        if (item->text() == text) return item;
    }
    return nullptr;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void ScrollRequestsStayInsideTheFrame_data() {
        QTest::addColumn<int>("request");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("expected");
        // Extent 2000, page 500: the last position is 1500.
        QTest::newRow("page right at the far right") << int(ScrollRequest::PageForward) << 1500 << 1500;
        QTest::newRow("page right near the end") << int(ScrollRequest::PageForward) << 1200 << 1500;
        QTest::newRow("page left near the start") << int(ScrollRequest::PageBack) << 300 << 0;
        QTest::newRow("line left at the start") << int(ScrollRequest::LineBack) << 0 << 0;
        QTest::newRow("line right") << int(ScrollRequest::LineForward) << 10 << 11;
        QTest::newRow("right end") << int(ScrollRequest::ToEnd) << 10 << 1500;
        QTest::newRow("left end") << int(ScrollRequest::ToStart) << 900 << 0;
        QTest::newRow("thumb released") << int(ScrollRequest::ThumbReleased) << 0 << 700;
        QTest::newRow("thumb tracking") << int(ScrollRequest::Other) << 42 << 42;
    }
    void ScrollRequestsStayInsideTheFrame() {
        QFETCH(int, request);
        QFETCH(int, position);
        QFETCH(int, expected);
        QCOMPARE(NextScrollPosition(static_cast<ScrollRequest>(request), position, 500, 2000, 700), expected);
    }

    void ScrollingWithinAWholeExtentStaysAtZero() {
        QCOMPARE(NextScrollPosition(ScrollRequest::PageForward, 0, 800, 600, 0), 0);
        QCOMPARE(NextScrollPosition(ScrollRequest::ThumbReleased, 0, 800, 600, 50), 0);
    }

    void ViewScrollBarsFollowTheSameRules() {
        FrameBuffer buffer;
        QVERIFY(buffer.CreateWorkBitmap(2000, 1000, 24, true));
        FrameView view(buffer);
        view.resize(500, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QScrollBar* bar = view.horizontalScrollBar();
        const int page = view.viewport()->width();
        for (int i = 0; i < 10; ++i) bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(bar->value(), 2000 - page);
        // The vertical bar has no end to jump to.
        QScrollBar* vertical = view.verticalScrollBar();
        vertical->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(vertical->value(), 0);
        vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(vertical->value(), 1);
    }

    void WindowIsNoLargerThanTheDesktopAndCentred() {
        // A 1280 x 1024 session (plus 40 pixels of bars) on a 1024 x 768 work area.
        const WindowPlacement placement = PlaceWindow(1280, 1064, Rectangle{0, 0, 1024, 768}, 1024, 768, false);
        QCOMPARE(placement.maxWidth, 1024);
        QCOMPARE(placement.maxHeight, 768);
        QCOMPARE(placement.x, 0);
        QCOMPARE(placement.y, 0);
        // A small session on a large screen opens at its own size, centred on the work area,
        // below a 30-pixel panel.
        const WindowPlacement small = PlaceWindow(640, 500, Rectangle{0, 30, 1920, 1050}, 1920, 1080, false);
        QCOMPARE(small.maxWidth, 640);
        QCOMPARE(small.maxHeight, 500);
        QCOMPARE(small.x, (1920 - 640) / 2);
        QCOMPARE(small.y, (1050 - 500) / 2 + 30);
        // Two monitors: the width is bounded by both together, the height by the screen.
        const WindowPlacement wide = PlaceWindow(3000, 900, Rectangle{0, 0, 1920, 1040}, 3840, 1080, true);
        QCOMPARE(wide.maxWidth, 3000);
        QCOMPARE(wide.maxHeight, 900);
    }

    void MonitorSelection_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("virtualWidth");
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("width");
        QTest::newRow("two monitors, only the second") << 2 << 3840 << 0b0010 << 0 << 1920 << 1920;
        QTest::newRow("three monitors, second and third") << 3 << 3600 << 0b0110 << 0 << 1200 << 2400;
        QTest::newRow("all monitors") << 3 << 3600 << 0b0111 << 0 << 0 << 3600;
        QTest::newRow("first and third: a gap") << 3 << 3600 << 0b0101 << 2 << -1 << -1;
        QTest::newRow("first and fourth: a gap") << 4 << 4000 << 0b1001 << 2 << -1 << -1;
        QTest::newRow("none") << 2 << 3840 << 0 << 1 << -1 << -1;
        QTest::newRow("one monitor") << 1 << 1920 << 0b0001 << 0 << 0 << 1920;
        QTest::newRow("a monitor the system lacks counts as unchosen") << 1 << 1920 << 0b0011 << 0 << 0 << 1920;
        QTest::newRow("only monitors the system lacks") << 2 << 3840 << 0b1100 << 1 << -1 << -1;
    }
    void MonitorSelection() {
        QFETCH(int, count);
        QFETCH(int, virtualWidth);
        QFETCH(int, mask);
        QFETCH(int, result);
        QFETCH(int, x);
        QFETCH(int, width);
        const MonitorModel model{count, virtualWidth, 1080};
        std::array<int, kSelectableMonitors> flags{};
        for (int i = 0; i < kSelectableMonitors; ++i) flags[i] = (mask >> i) & 1;
        FullScreenArea area{-1, -1, -1};
        QCOMPARE(int(CheckMonitorSelection(model, flags, area)), result);
        if (result == kMonitorsValid) {
            QCOMPARE(area.x, x);
            QCOMPARE(area.width, width);
            QCOMPARE(area.height, 1080);
        }
    }

    void ThreadItemsBehaveAsRadioItems() {
        FrameBuffer buffer;
        QVERIFY(buffer.CreateWorkBitmap(64, 64, 24, true));
        FakeCommands commands;
        MainWindow window(buffer, commands);
        auto* two = window.findChild<QAction*>("threads2");
        auto* eight = window.findChild<QAction*>("threads8");
        QVERIFY(two && eight);
        QVERIFY(two->isChecked());
        eight->trigger();
        QVERIFY(eight->isChecked());
        QVERIFY(!two->isChecked());
        QCOMPARE(commands.threadLimit.load(), 8);
        QCOMPARE(window.ThreadLimit(), 8);
    }

    void FullScreenToggleHidesTheFrameAndComesBack() {
        FrameBuffer buffer;
        QVERIFY(buffer.CreateWorkBitmap(300, 200, 24, true));
        FakeCommands commands;
        commands.facts.fullScreenSession = false;
        MainWindow window(buffer, commands);
        window.ShowForSession();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect framed = window.geometry();
        QVERIFY(window.menuBar()->isVisible());

        window.ToggleFullScreen();
        QVERIFY(window.FullScreenShown());
        QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(!window.menuBar()->isVisible());
        QCOMPARE(window.View()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(window.View()->ScrollPosition(), QPoint(0, 0));

        window.ToggleFullScreen();
        QVERIFY(!window.FullScreenShown());
        QVERIFY(!(window.windowFlags() & Qt::FramelessWindowHint));
        QVERIFY(window.menuBar()->isVisible());
        QCOMPARE(window.geometry().size(), framed.size());
    }

    void FullScreenSessionStartsFullScreenAndCanLeaveIt() {
        FrameBuffer buffer;
        QVERIFY(buffer.CreateWorkBitmap(300, 200, 24, true));
        FakeCommands commands;
        commands.facts.fullScreenSession = true;
        MainWindow window(buffer, commands);
        window.ShowForSession();
        QVERIFY(window.FullScreenShown());
        window.ToggleFullScreen();
        QVERIFY(!window.FullScreenShown());
        // Back to the framed size the session needs, not to an empty rectangle.
        QCOMPARE(window.geometry().width(), 300);
        QVERIFY(window.geometry().height() > 200);
    }

    void PaintsTheFrameBufferAtEveryDepthAndOrientation_data() {
        QTest::addColumn<int>("depth");
        QTest::addColumn<bool>("topDown");
        QTest::newRow("24-bit top-down") << 24 << true;
        QTest::newRow("24-bit bottom-up") << 24 << false;
        QTest::newRow("16-bit") << 16 << true;
        QTest::newRow("8-bit with its colour table") << 8 << true;
    }
    void PaintsTheFrameBufferAtEveryDepthAndOrientation() {
        QFETCH(int, depth);
        QFETCH(bool, topDown);
        FrameBuffer buffer;
        QVERIFY(buffer.CreateWorkBitmap(300, 200, depth, topDown));
        FillPattern(buffer);
        FrameView view(buffer);
        view.resize(120, 90);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.horizontalScrollBar()->setValue(37);
        view.verticalScrollBar()->setValue(21);
        const QImage shown = view.viewport()->grab().toImage();
        const QPoint scroll = view.ScrollPosition();
        QVERIFY(scroll.x() > 0 && scroll.y() > 0);
        for (const QPoint p : {QPoint(0, 0), QPoint(5, 60), QPoint(shown.width() - 1, shown.height() - 1)}) {
            QCOMPARE(shown.pixel(p) | 0xFF000000u, PatternAt(depth, p.x() + scroll.x(), p.y() + scroll.y()));
        }
    }

    void CopyRectangleGivesTheServerCursorBack_data() {
        QTest::addColumn<QString>("before");  // the viewport's cursor when the copy starts
        QTest::addColumn<QString>("during");  // what the server sets while the band is dragged
        QTest::addColumn<QString>("after");   // what the viewport must show once it is done
        QTest::newRow("server picture") << "picture" << "" << "picture";
        QTest::newRow("standard shape") << "ibeam" << "" << "ibeam";
        QTest::newRow("new shape during the copy") << "picture" << "other picture" << "other picture";
        QTest::newRow("standard shape during the copy") << "picture" << "ibeam" << "ibeam";
        QTest::newRow("no cursor of its own") << "" << "" << "";
    }
    void CopyRectangleGivesTheServerCursorBack() {
        QFETCH(QString, before);
        QFETCH(QString, during);
        QFETCH(QString, after);
        auto cursorFor = [](const QString& name) {
            if (name == "picture") return ServerPicture(qRgb(200, 0, 0), 1);
            if (name == "other picture") return ServerPicture(qRgb(0, 0, 200), 3);
            return QCursor(Qt::IBeamCursor);
        };
        FrameBuffer buffer;
        QVERIFY(buffer.CreateWorkBitmap(120, 90, 24, true));
        FrameView view(buffer);
        view.resize(120, 90);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QWidget* viewport = view.viewport();
        if (!before.isEmpty()) viewport->setCursor(cursorFor(before));

        view.StartRectangleCopy();
        QCOMPARE(viewport->cursor().shape(), Qt::CrossCursor);
        QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(10, 10));
        if (!during.isEmpty()) {
            viewport->setCursor(cursorFor(during));
            // The band is still being dragged: the cross stays.
            QCOMPARE(viewport->cursor().shape(), Qt::CrossCursor);
        }
        QTest::mouseMove(viewport, QPoint(40, 30));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(40, 30));
        QVERIFY(!view.CopyActive());
        QVERIFY(view.RectangleCopied());

        QCOMPARE(viewport->testAttribute(Qt::WA_SetCursor), !after.isEmpty());
        if (!after.isEmpty()) QVERIFY(SameCursor(viewport->cursor(), cursorFor(after)));
    }

    void HelpNamesTheSessionAndItsDisplay_data() {
        QTest::addColumn<QString>("displayName");
        QTest::newRow("plain name") << "Render1";
        QTest::newRow("a name that looks like markup") << "<br><br><b>Render1</b>";
    }
    void HelpNamesTheSessionAndItsDisplay() {
        QFETCH(QString, displayName);
        FrameBuffer buffer;
        QVERIFY(buffer.CreateWorkBitmap(64, 64, 24, true));
        FakeCommands commands;
        commands.facts.sessionId = 4711;
        commands.facts.displayName = displayName.toStdString();
        MainWindow window(buffer, commands);
        QAction* help = MenuItem(window, "Help...");
        QVERIFY(help);
        help->trigger();
        auto* dialog = window.findChild<QDialog*>();
        QVERIFY(dialog);
        QCOMPARE(dialog->findChild<QLabel*>("sessionId")->text(), QString("4711"));
        auto* display = dialog->findChild<QLabel*>("display");
        QCOMPARE(display->text(), "Display  " + displayName);
        // Shown as written, on one line: the name is never read as markup.
        QVERIFY(display->sizeHint().height() < 2 * display->fontMetrics().height());
        delete dialog;
    }

    void FullScreenMenuFloatsOverThePicture() {
        FrameBuffer buffer;
        QVERIFY(buffer.CreateWorkBitmap(300, 200, 24, true));
        FillPattern(buffer);
        FakeCommands commands;
        commands.facts.fullScreenSession = true;
        MainWindow window(buffer, commands);
        window.ShowForSession();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.FullScreenShown());
        FrameView* view = window.View();
        const QRect viewGeometry = view->geometry();
        QCOMPARE(view->viewport()->mapTo(&window, QPoint(0, 0)), QPoint(0, 0));
        auto shownMenu = [&window]() -> QMenuBar* {
            for (QMenuBar* bar : window.findChildren<QMenuBar*>()) {
                if (bar->isVisible()) return bar;
            }
            return nullptr;
        };
        QVERIFY(!shownMenu());

        // The pointer rests at the top edge: the menu slides down.
        QCursor::setPos(window.mapToGlobal(QPoint(40, 0)));
        QTRY_VERIFY(shownMenu());
        QMenuBar* menu = shownMenu();
        QCOMPARE(view->geometry(), viewGeometry);
        QCOMPARE(view->viewport()->mapTo(&window, QPoint(0, 0)), QPoint(0, 0));
        QVERIFY(menu->height() > 0);
        QCOMPARE(menu->geometry(), QRect(0, 0, window.width(), menu->height()));
        // The menu is what the top rows show, and the picture below it has not moved: window
        // position (x, y) still shows remote pixel (x, y).
        QCOMPARE(window.childAt(QPoint(40, menu->height() / 2)), menu);
        const QImage shown = window.grab().toImage();
        for (const QPoint p : {QPoint(20, menu->height() + 2), QPoint(299, 199)}) {
            QCOMPARE(shown.pixel(p) | 0xFF000000u, PatternAt(24, p.x(), p.y()));
        }

        // The pointer moves down into the picture: the menu goes away again.
        QCursor::setPos(window.mapToGlobal(QPoint(40, 150)));
        QTRY_VERIFY(!shownMenu());
        QCOMPARE(view->geometry(), viewGeometry);
        // Leaving full screen brings the window's own menu bar back, above the picture.
        window.ToggleFullScreen();
        QCOMPARE(shownMenu(), window.menuBar());
        QCOMPARE(view->geometry().top(), window.menuBar()->geometry().bottom() + 1);
    }

    void RemoteCursorPictureKeepsItsColouringsAndHotSpot() {
        CursorImage image;
        image.kind = CursorImage::Kind::Picture;
        image.width = 2;
        image.height = 1;
        image.hotX = 1;
        image.normal = {kCursorBlack, kCursorTransparent};
        image.reversed = {kCursorWhite, kCursorTransparent};
        const QCursor normal = CursorFromImage(image, 1);
        QCOMPARE(normal.hotSpot(), QPoint(1, 0));
        QCOMPARE(normal.pixmap().toImage().pixel(0, 0), kCursorBlack);
        QCOMPARE(CursorFromImage(image, 0).pixmap().toImage().pixel(0, 0), kCursorWhite);
        // A picture whose pixels do not match its size is not trusted.
        image.width = 3;
        QCOMPARE(CursorFromImage(image, 1).shape(), Qt::ArrowCursor);
        CursorImage standard;
        standard.standard = StandardCursor::IBeam;
        QCOMPARE(CursorFromImage(standard, 1).shape(), Qt::IBeamCursor);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
