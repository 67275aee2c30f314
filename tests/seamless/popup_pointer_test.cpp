// Pointer events of seamless pop-ups: the server's screen is the local screen.
#include <gtest/gtest.h>

#include "input/pointer_translator.h"

namespace corvane {
namespace {

PointerInput InPopup(PointerKind kind, int clientX, int clientY, int popupX, int popupY) {
    PointerInput input;
    input.kind = kind;
    input.button = kind == PointerKind::Move ? 0 : 1;
    input.clientX = clientX;
    input.clientY = clientY;
    input.screenX = popupX + clientX;
    input.screenY = popupY + clientY;
    input.scrollX = 7;  // a pop-up never scrolls; a stray offset must not count
    input.scrollY = 9;
    input.frameIsScreen = true;
    return input;
}

TEST(PopupPointer, FrameBufferPlaceIsTheScreenPlace) {
    PointerTranslator translator;
    const PointerRecords click = translator.Translate(InPopup(PointerKind::Press, 10, 20, 300, 200));
    ASSERT_EQ(click.count, 1);
    EXPECT_EQ(click.items[0].x, 310);
    EXPECT_EQ(click.items[0].y, 220);
    EXPECT_EQ(click.items[0].screenX, 310);
    EXPECT_EQ(click.items[0].screenY, 220);
}

TEST(PopupPointer, MovesCompareOnTheScreenSoTheSameSpotOfAnotherPopupCounts) {
    PointerTranslator translator;
    EXPECT_EQ(translator.Translate(InPopup(PointerKind::Move, 5, 5, 100, 100)).count, 1);
    EXPECT_EQ(translator.Translate(InPopup(PointerKind::Move, 5, 5, 100, 100)).count, 0);
    // The same place inside a second pop-up is another place on the screen.
    const PointerRecords other = translator.Translate(InPopup(PointerKind::Move, 5, 5, 400, 100));
    ASSERT_EQ(other.count, 1);
    EXPECT_EQ(other.items[0].x, 405);
}

TEST(PopupPointer, AWarpToAScreenPlaceIsNotSentBack) {
    PointerTranslator translator;
    translator.SetWarp(310, 220);
    EXPECT_EQ(translator.Translate(InPopup(PointerKind::Move, 10, 20, 300, 200)).count, 0);
    EXPECT_EQ(translator.Translate(InPopup(PointerKind::Move, 11, 20, 300, 200)).count, 1);
}

}  // namespace
}  // namespace corvane
