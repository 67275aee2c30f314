// One attached session: the desktop goes out (colour table first at depth 8, then the full
// screen, then the moving box's changed tiles every frame interval), the scenario's steps
// run when they are due, and a reader thread logs everything the client sends.
//
// The session ends when the client closes the connection, the scenario drops it, a write
// fails, or the run is stopped. RunSession returns only after its reader thread has ended.
// It is called on the thread that serves the connection.
//
// With an X11 display (`x11` not null) the session shows it instead of the generated desktop:
// the full screen first, then every frame interval the tiles that changed on it (a write
// blocked by a slow client delays the next look, so changes pile up into one update rather
// than queue); the client's keys and pointer are played into it, its clipboard text becomes
// the display's CLIPBOARD selection and its clipboard requests are answered from that.
//
// With a recording to replay (`replay` not null) the session sends the recorded bytes, as fast
// as the client takes them, instead of a desktop of its own, and then waits for the client to
// go; the scenario does not run. With a writer (`record` not null) every byte the session
// writes is also appended to the recording.
#pragma once

#include <vector>

#include "protocol/stream_connection.h"
#include "tools/testserver/event_log.h"
#include "tools/testserver/options.h"
#include "tools/testserver/recording.h"
#include "tools/testserver/run_control.h"
#include "tools/testserver/session_list.h"
#include "tools/testserver/x11_desktop.h"

namespace corvane::testserver {

enum class SessionEnd {
    Disconnected,  // the session lives on and is offered at the next login
    Ended,         // a session-control exit (5002) from either side ended it
};

// `fired` holds one flag per scenario step: the steps that have run in this server run.
[[nodiscard]] SessionEnd RunSession(StreamConnection& stream, int socket, const ServerOptions& options,
                                    const ServerSession& session, std::vector<bool>& fired, EventLog& log,
                                    RunControl& control, X11Desktop* x11 = nullptr,
                                    const Recording* replay = nullptr, RecordingWriter* record = nullptr);

}  // namespace corvane::testserver
