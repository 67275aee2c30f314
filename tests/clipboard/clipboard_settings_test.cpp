// The clipboard's settings from the site file and a connection file: the character set by
// name, the primary selection, the defaults of the site layer and the connection's override.
#include "config/clipboard_settings.h"

#include <gtest/gtest.h>

#include "config/log.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

TEST(ClipboardSettingsTest, CharsetNames) {
    struct Case {
        const char* name;
        std::optional<int> charset;
    };
    const Case cases[] = {{"UTF-8", 1},        {"utf8", 1},   {"Windows-1252", 0}, {"cp1252", 0},
                          {"1252", 0},         {"UTF-16", {}}, {"", {}},            {"latin1", {}}};
    for (const Case& c : cases) EXPECT_EQ(ClipboardCharsetNamed(c.name), c.charset) << c.name;
}

TEST(ClipboardSettingsTest, TheConnectionOverridesTheSite) {
    ResetLogForTesting();
    test::TempDir dir;
    const std::string site = dir.write("qel.ini", "[Viewer]\nClipboardCharset UTF-8\nClipboardPrimary 1\n");
    const std::string silent = dir.write("empty.ini", "[Viewer]\nPrintDebug 1\n");
    const std::string zrp = dir.write("a.zrp", "[ZRP Client]\r\nClipboardCharset Windows-1252\r\n");
    const std::string unknown = dir.write("b.zrp", "[ZRP Client]\r\nClipboardCharset EBCDIC\r\nClipboardPrimary 0\r\n");

    ClientSettings settings;
    ReadClipboardSettings(site, "[Viewer]", true, settings);
    EXPECT_EQ(settings.clipboardCharset, 1);
    EXPECT_EQ(settings.clipboardPrimary, 1);
    // The connection file says only what it names; an unknown name changes nothing.
    ReadClipboardSettings(unknown, "[ZRP Client]", false, settings);
    EXPECT_EQ(settings.clipboardCharset, 1);
    EXPECT_EQ(settings.clipboardPrimary, 0);
    ReadClipboardSettings(zrp, "[ZRP Client]", false, settings);
    EXPECT_EQ(settings.clipboardCharset, 0);
    // A site file without the keys sets the defaults.
    settings.clipboardCharset = 1;
    settings.clipboardPrimary = 1;
    ReadClipboardSettings(silent, "[Viewer]", true, settings);
    EXPECT_EQ(settings.clipboardCharset, 0);
    EXPECT_EQ(settings.clipboardPrimary, 0);
}

}  // namespace
}  // namespace corvane
