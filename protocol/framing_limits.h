// Size limits of framed messages.
#pragma once

#include <cstddef>

namespace corvane {

// The largest frame, and the largest message buffer, the protocol allows.
inline constexpr size_t kMaxFrameSize = 67'108'864;

// The message and compressed-data buffers for a session: room for one whole screen at the
// session's depth with 2000 bytes to spare, half as much again, capped at kMaxFrameSize.
[[nodiscard]] size_t MessageBufferSize(int width, int height, int depth);

// The init reply buffer holds at most this many bytes of body.
inline constexpr size_t kInitReplyBufferSize = 1000;
// An init reply frame of this size or more does not fit.
inline constexpr size_t kInitReplyTooBig = 989;

}  // namespace corvane
