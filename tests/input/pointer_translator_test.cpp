#include "input/pointer_translator.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvane {
namespace {

PointerInput At(PointerKind kind, int x, int y, uint32_t button = 0) {
    PointerInput input;
    input.kind = kind;
    input.button = button;
    input.clientX = x;
    input.clientY = y;
    input.screenX = x + 1000;
    input.screenY = y + 500;
    return input;
}

std::vector<std::pair<uint32_t, uint16_t>> ButtonsOf(const PointerRecords& records) {
    std::vector<std::pair<uint32_t, uint16_t>> out;
    for (int i = 0; i < records.count; ++i) out.emplace_back(records.items[i].button, records.items[i].action);
    return out;
}

TEST(PointerTranslator, PositionsCarryTheScrollOffsetsAndTheScreenPlace) {
    PointerTranslator translator;
    PointerInput click = At(PointerKind::Press, 10, 10, 1);
    click.scrollX = 100;
    click.scrollY = 50;
    const PointerRecords records = translator.Translate(click);
    ASSERT_EQ(records.count, 1);
    EXPECT_EQ(records.items[0].x, 110);
    EXPECT_EQ(records.items[0].y, 60);
    EXPECT_EQ(records.items[0].screenX, 1010);
    EXPECT_EQ(records.items[0].screenY, 510);
    EXPECT_EQ(ButtonsOf(records), (std::vector<std::pair<uint32_t, uint16_t>>{{1, 1}}));
}

TEST(PointerTranslator, AMoveToTheSamePlaceSendsNothing) {
    PointerTranslator translator;
    EXPECT_EQ(translator.Translate(At(PointerKind::Move, 5, 7)).count, 1);
    EXPECT_EQ(translator.Translate(At(PointerKind::Move, 5, 7)).count, 0);
    EXPECT_EQ(translator.Translate(At(PointerKind::Move, 6, 7)).count, 1);
    // Buttons at the same place always count: a double click is two press and release pairs.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(translator.Translate(At(PointerKind::Press, 6, 7, 1)).count, 1);
        EXPECT_EQ(translator.Translate(At(PointerKind::Release, 6, 7, 1)).count, 1);
    }
}

TEST(PointerTranslator, WheelAnglesAddUpToWholeNotches) {
    using Pairs = std::vector<std::pair<uint32_t, uint16_t>>;
    struct Case {
        std::vector<int> deltas;
        Pairs sent;  // of the last event
        const char* what;
    };
    const Case cases[] = {
        {{120}, {{4, 1}, {4, 2}}, "a notch away from the user"},
        {{-120}, {{5, 1}, {5, 2}}, "a notch toward the user"},
        {{0}, {}, "no vertical turn (a sideways wheel): nothing"},
        {{60}, {}, "half a notch: nothing yet"},
        {{60, 60}, {{4, 1}, {4, 2}}, "two halves make a notch"},
        {{360}, {{4, 1}, {4, 2}, {4, 1}, {4, 2}, {4, 1}, {4, 2}}, "three notches at once"},
        {{90, -90}, {}, "a turn taken back"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PointerTranslator translator;
        PointerRecords last;
        for (int delta : c.deltas) {
            PointerInput wheel = At(PointerKind::Wheel, 3, 4);
            wheel.wheelDelta = delta;
            last = translator.Translate(wheel);
        }
        EXPECT_EQ(ButtonsOf(last), c.sent);
    }
}

TEST(PointerTranslator, TheServersOwnMoveIsNotSentBack) {
    PointerTranslator translator;
    (void)translator.Translate(At(PointerKind::Move, 1, 1));
    translator.SetWarp(40, 30);
    EXPECT_EQ(translator.Translate(At(PointerKind::Move, 40, 30)).count, 0) << "the echo of the warp";
    EXPECT_EQ(translator.Translate(At(PointerKind::Press, 40, 30, 1)).count, 0) << "still at the warped place";
    EXPECT_EQ(translator.Translate(At(PointerKind::Move, 41, 30)).count, 1);
    EXPECT_EQ(translator.Translate(At(PointerKind::Move, 40, 30)).count, 1) << "the warp is forgotten once moved";
}

TEST(PointerTranslator, RecordCarriesItsFieldsAtTheirOffsets) {
    PointerOutput output{-3, 70000, 12, -40, 3, 2};
    const auto record = PointerRecord(output);
    std::array<uint8_t, kPointerRecordSize> expected{};
    StoreField<int32_t>(expected.data(), 0, -3);
    StoreField<int32_t>(expected.data(), 4, 70000);
    StoreField<int32_t>(expected.data(), 8, 12);
    StoreField<int32_t>(expected.data(), 12, -40);
    StoreField<uint32_t>(expected.data(), 20, 3);
    StoreField<uint16_t>(expected.data(), 24, 2);
    EXPECT_EQ(record, expected);
}

}  // namespace
}  // namespace corvane
