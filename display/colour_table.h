// The colour-table message: the server keeps the client's 256-entry colour table in step
// with its own colour map. A run of entries (red, green, blue bytes) is written into the
// frame buffer's colour entries, which the painter shows 8-bit buffers through, and into
// the lookup words the multimode (124) decoders read; in a multimode session every pixel
// that carries a colour index is re-coloured from the new table.
//
// Receive thread only. Takes the frame-buffer lock for the writes; shows the error box (and
// asks for the repaint) outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "display/frame_buffer.h"

namespace corvane {

// Applies a colour-table record (`record`: its three words in host order, `size` bytes of
// it in the message). An entry size other than 3 changes nothing and shows "Unknown table
// entry size!!!"; entries past index 255 or past the message are left out with a log
// record. The whole screen is repainted in every case. Returns the number of entries
// written.
// `caption`: the title of the box that reports an unknown entry size (posted, never waited on).
int UpdateColourTable(FrameBuffer& frameBuffer, const std::string& caption, const uint8_t* record,
                      size_t size);

}  // namespace corvane
