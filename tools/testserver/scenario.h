// Scenario files: what the server does to a session besides sending its desktop, and when.
//
//   # comment (also behind a step)
//   after-frames N ACTION    once the session's N-th image update has been sent
//                            (0: right after the login, before the first update)
//   after-ms N ACTION        N milliseconds after the login ended
//
// Actions: sctl CODE [ARG] (a session-control message), warp X Y (move the client's pointer to
// that frame-buffer place), window-create ID X Y W H [LINKED [TITLE]], window-move ID X Y W H,
// window-map ID, window-unmap ID, window-destroy ID (seamless window requests; X and Y may be
// negative, TITLE is one word), update X Y W H (an image update of that part of the screen),
// drop (close the connection), half-frame (a frame header announcing 4096 bytes and only the
// first half of them: with a drop after it the connection ends inside a frame, without one
// the client waits for the rest), bad-frame-size-12 (a frame header announcing 12 bytes), bell, corrupt-compext (a COMPEXT
// frame that does not inflate), colour-table, stop-updates (no further moving updates),
// clipboard-text TEXT (the session's clipboard becomes TEXT, the rest of the line with the
// escapes \n \r \t \\ and \xHH, and is sent to the client), clipboard-set TEXT (the same,
// kept until the client asks for it), clipboard-file PATH and clipboard-set-file PATH (the
// same with a file's bytes), clipboard-metafile PATH (a file's bytes sent as a metafile).
//
// Each step runs at most once in a server run, in the first session that reaches it (the
// update count starts again with every session), so that a dropped connection is dropped
// once and the client's reconnection then runs undisturbed. Steps due at the same time run
// in the order of the file. Plain data and pure functions: any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::testserver {

enum class ScenarioTrigger { AfterFrames, AfterMs };

enum class ScenarioAction {
    SessionControl,
    Drop,
    BadFrameSize12,
    Bell,
    CorruptCompext,
    ColourTable,
    StopUpdates,
    Warp,
    ClipboardText,      // text set and sent
    ClipboardSet,       // text set, sent when asked for
    ClipboardFile,      // a file's bytes set and sent
    ClipboardSetFile,   // a file's bytes set, sent when asked for
    ClipboardMetafile,  // a file's bytes sent as a metafile
    WindowCreate,
    WindowMove,
    WindowMap,
    WindowUnmap,
    WindowDestroy,
    Update,
    HalfFrame,
};

struct ScenarioStep {
    ScenarioTrigger trigger = ScenarioTrigger::AfterFrames;
    int64_t when = 0;  // image updates or milliseconds
    ScenarioAction action = ScenarioAction::Bell;
    uint32_t code = 0;      // session control; warp: x
    uint32_t argument = 0;  // session control; warp: y
    std::string text{};     // clipboard: the text, or the file's path
    // Window requests: id, then x, y, width, height (create and move), then the linked id.
    std::vector<int64_t> numbers{};
    std::string title{};  // window-create

    friend bool operator==(const ScenarioStep&, const ScenarioStep&) = default;
};

struct ScenarioParse {
    std::vector<ScenarioStep> steps;
    std::string error;  // empty on success, else "line N: what is wrong"
};

[[nodiscard]] ScenarioParse ParseScenario(std::string_view text);

// The step as a scenario line would name it, for the event log ("sctl code=5019 arg=0").
[[nodiscard]] std::string DescribeAction(const ScenarioStep& step);

}  // namespace corvane::testserver
