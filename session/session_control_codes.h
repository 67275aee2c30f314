// Session-control codes (record type 1014, word 0).
#pragma once

#include <cstdint>

namespace corvane {

enum SessionControlCode : int32_t {
    kSessionControlDisconnect = 5001,
    kSessionControlExit = 5002,
    kSessionControlEnableCollaborationInput = 5007,
    kSessionControlDisableCollaborationInput = 5008,
    kSessionControlEnableCollaboration = 5009,
    kSessionControlDisableCollaboration = 5010,
    kSessionControlFormatKeysReleased = 5014,
    kSessionControlRequestFormat = 5015,
    kSessionControlServerFormat = 5016,
    kSessionControlEnableReconnect = 5019,
    kSessionControlDisableReconnect = 5020,
    kSessionControlEnableDelayedExit = 5021,
    kSessionControlDisableDelayedExit = 5022,
};

}  // namespace corvane
