// The server's clipboard text (type 1004).
//
// Receive thread only.
#pragma once

#include <cstddef>

#include "protocol/message_frame.h"
#include "protocol/message_router.h"

namespace corvane {

// Clipboard record: two words in front of the text.
struct ClipboardRecordLayout {
    static constexpr size_t kSize = 8;
};

class ClipboardMessages {
public:
    void Register(MessageRouter& router);

private:
    void ClipboardText(const MessageFrame& message);
};

}  // namespace corvane
