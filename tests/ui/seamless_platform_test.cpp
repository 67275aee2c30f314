// Which platform a seamless session asks the toolkit for, and what it tells the user.
#include <QtTest>

#include "ui/seamless_platform.h"

using namespace corvane;

class SeamlessPlatformTest : public QObject {
    Q_OBJECT

private slots:
    void WaylandGivesWayToXWaylandWhenItCan() {
        struct Case {
            const char* name;
            bool seamless;
            PlatformEnvironment environment;
            const char* platform;
            bool note;
        };
        const Case cases[] = {
            {"not seamless", false, {"wayland-0", ":0", ""}, "", false},
            {"X11 desktop", true, {"", ":0", ""}, "", false},
            {"Wayland with XWayland", true, {"wayland-0", ":0", ""}, "xcb", true},
            {"Wayland alone", true, {"wayland-0", "", ""}, "", true},
            {"the user chose a platform", true, {"wayland-0", ":0", "wayland"}, "", false},
        };
        for (const Case& c : cases) {
            const PlatformChoice choice = ChooseSeamlessPlatform(c.seamless, c.environment);
            QVERIFY2(choice.platform == c.platform, c.name);
            QVERIFY2(choice.note.empty() != c.note, c.name);
        }
        QVERIFY(!SeamlessPlatformWarning(true, "wayland").empty());
        QVERIFY(SeamlessPlatformWarning(true, "xcb").empty());
        QVERIFY(SeamlessPlatformWarning(false, "wayland").empty());
    }
};

QTEST_MAIN(SeamlessPlatformTest)
#include "seamless_platform_test.moc"
