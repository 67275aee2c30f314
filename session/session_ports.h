// The ports a session is wired to at start-up: one per capability, each implemented by the
// windowed client's Qt side and by the headless host.
#pragma once

#include "clipboard/clipboard_port.h"
#include "input/pointer_port.h"
#include "seamless/seamless_port.h"
#include "session/cursor_port.h"
#include "session/dialog_port.h"
#include "session/hot_key_port.h"
#include "session/notice_port.h"
#include "session/window_port.h"

namespace corvane {

struct SessionPorts {
    NoticePort& notices;
    DialogPort& dialogs;
    CursorPort& cursor;
    WindowPort& windows;
    PointerPort& pointer;
    HotKeyPort& hotKeys;
    ClipboardPort& clipboard;
    SeamlessPort& seamless;
};

}  // namespace corvane
