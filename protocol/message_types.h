// The message types of the zRP protocol: the `type` field of every record header.
#pragma once

#include <cstdint>

namespace corvane {

enum MessageType : int32_t {
    ZRPPROTOCOL_MH_MESSINIT = 1001,  // init record, login
    ZRPPROTOCOL_MH_MESSBELL = 1002,
    ZRPPROTOCOL_MH_MESSCOLT = 1003,  // colour table
    ZRPPROTOCOL_MH_MESSCLPT = 1004,  // clipboard
    ZRPPROTOCOL_MH_MESSCRSH = 1005,  // cursor shape
    ZRPPROTOCOL_MH_MESSCRMV = 1006,  // cursor movement
    ZRPPROTOCOL_MH_MESSIMFB = 1007,  // image update
    ZRPPROTOCOL_MH_MESSDRFB = 1008,  // drawing commands
    ZRPPROTOCOL_MH_MESSIMCD = 1009,  // image cache data
    ZRPPROTOCOL_MH_MESSIMCR = 1010,  // image cache restore
    ZRPPROTOCOL_MH_MESSKEYE = 1011,  // key event
    ZRPPROTOCOL_MH_MESSMSEE = 1012,  // pointer event
    ZRPPROTOCOL_MH_MESSSCTL = 1014,  // session control
    ZRPPROTOCOL_MH_MESSSTAT = 1015,  // status information
    ZRPPROTOCOL_MH_MESSWIND = 1017,  // windowing
    ZRPPROTOCOL_MH_MESSDRRQ = 2001,  // drawing request
};

}  // namespace corvane
