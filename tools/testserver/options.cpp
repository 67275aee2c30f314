#include "tools/testserver/options.h"

#include <charconv>
#include <functional>
#include <string_view>

#include "tools/testserver/desktop.h"
#include "tools/testserver/drawing_stream.h"

namespace corvane::testserver {

namespace {

bool ReadInt(std::string_view text, int64_t min, int64_t max, int64_t& value) {
    const char* end = text.data() + text.size();
    auto [rest, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && rest == end && value >= min && value <= max;
}

struct Option {
    std::string_view name;
    bool takesValue;
    // Applies the value; an error text when it is not acceptable.
    std::function<std::string(ServerOptions&, const std::string&)> apply;
};

template <typename T>
Option Number(std::string_view name, int64_t min, int64_t max, T ServerOptions::*field) {
    return {name, true, [name, min, max, field](ServerOptions& o, const std::string& value) -> std::string {
                int64_t number = 0;
                if (!ReadInt(value, min, max, number)) {
                    return std::string(name) + " takes a number from " + std::to_string(min) + " to " +
                           std::to_string(max);
                }
                o.*field = static_cast<T>(number);
                return {};
            }};
}

Option Flag(std::string_view name, bool ServerOptions::*field) {
    return {name, false, [field](ServerOptions& o, const std::string&) -> std::string {
                o.*field = true;
                return {};
            }};
}

std::string ApplyUser(ServerOptions& o, const std::string& value, bool& usersGiven) {
    const size_t colon = value.find(':');
    if (colon == std::string::npos || colon == 0) return "--user takes NAME:PASSWORD";
    if (!usersGiven) o.users.clear();
    usersGiven = true;
    o.users.push_back({value.substr(0, colon), value.substr(colon + 1)});
    return {};
}

std::string ApplyGeometry(ServerOptions& o, const std::string& value) {
    const size_t x = value.find('x');
    int64_t width = 0;
    int64_t height = 0;
    if (x == std::string::npos || !ReadInt(std::string_view(value).substr(0, x), 1, kMaxDesktopWidth, width) ||
        !ReadInt(std::string_view(value).substr(x + 1), 1, kMaxDesktopHeight, height)) {
        return "--geometry takes WIDTHxHEIGHT, at most " + std::to_string(kMaxDesktopWidth) + "x" +
               std::to_string(kMaxDesktopHeight);
    }
    o.geometry = std::pair<int, int>(static_cast<int>(width), static_cast<int>(height));
    return {};
}

std::string ApplyEnvelope(ServerOptions& o, const std::string& value) {
    if (value == "plain") {
        o.envelope = kEnvelopePlain;
    } else if (value == "compstd") {
        o.envelope = COMPSTD;
    } else if (value == "compext") {
        o.envelope = COMPEXT;
    } else if (value == "compaes") {
        o.envelope = COMPAES;
    } else {
        return "--envelope takes plain, compstd, compext or compaes";
    }
    return {};
}

std::string ApplyDropAt(ServerOptions& o, const std::string& value) {
    if (value == "answer") {
        o.dropAt = LoginDrop::Answer;
    } else if (value == "session-list") {
        o.dropAt = LoginDrop::SessionList;
    } else if (value == "session-list-half") {
        o.dropAt = LoginDrop::SessionListHalf;
    } else if (value == "final-block") {
        o.dropAt = LoginDrop::FinalBlock;
    } else if (value == "init-reply") {
        o.dropAt = LoginDrop::InitReply;
    } else if (value == "init-reply-half") {
        o.dropAt = LoginDrop::InitReplyHalf;
    } else {
        return "--drop-at takes answer, session-list, session-list-half, final-block, init-reply or "
               "init-reply-half";
    }
    return {};
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine result;
    bool usersGiven = false;
    constexpr int64_t kStatusMax = INT32_MAX;
    const Option options[] = {
        Number("--port", 0, 65535, &ServerOptions::port),
        Flag("--tls", &ServerOptions::tls),
        Flag("--once", &ServerOptions::once),
        Number("--exit-after", 0, 86400, &ServerOptions::exitAfterSeconds),
        Number("--silent-after", 0, 1'000'000, &ServerOptions::silentAfter),
        {"--user", true, [&usersGiven](ServerOptions& o, const std::string& v) { return ApplyUser(o, v, usersGiven); }},
        {"--server-code", true, [](ServerOptions& o, const std::string& v) -> std::string {
             o.serverCode = v;
             return {};
         }},
        Flag("--redirect-once", &ServerOptions::redirectOnce),
        Number("--login-status", 0, kStatusMax, &ServerOptions::loginStatus),
        Flag("--bad-magic", &ServerOptions::badMagic),
        {"--drop-at", true, ApplyDropAt},
        Flag("--tls-garbage", &ServerOptions::tlsGarbage),
        Number("--final-status", 0, kStatusMax, &ServerOptions::finalStatus),
        Number("--init-status", 0, kStatusMax, &ServerOptions::initStatus),
        Number("--session-count", 0, kMaxAnnouncedSessions, &ServerOptions::sessionCount),
        Number("--entry-size", 1, kMaxEntrySize, &ServerOptions::entrySize),
        Number("--protocol-version", 0, 65535, &ServerOptions::protocolVersion),
        Number("--server-version", 0, 65535, &ServerOptions::serverVersion),
        {"--geometry", true, ApplyGeometry},
        {"--envelope", true, ApplyEnvelope},
        Number("--compform", 1, 201, &ServerOptions::compform),
        Number("--frame-interval", 1, 60'000, &ServerOptions::frameIntervalMs),
        Number("--faults", 10, 3'600'000, &ServerOptions::faultsMs),
        Number("--frames", 0, 1'000'000, &ServerOptions::frames),
        Flag("--static", &ServerOptions::still),
        Flag("--seamless", &ServerOptions::seamless),
        {"--x11", true, [](ServerOptions& o, const std::string& v) -> std::string {
             if (v.empty()) return "--x11 takes an X display name such as :1";
             o.x11Display = v;
             return {};
         }},
        {"--key-codes", true, [](ServerOptions& o, const std::string& v) -> std::string {
             if (v == "map") {
                 o.keyCodes = KeyCodes::BuiltinMap;
             } else if (v == "table") {
                 o.keyCodes = KeyCodes::KeysymTable;
             } else {
                 return "--key-codes takes map or table";
             }
             return {};
         }},
        Number("--seed", 0, UINT32_MAX, &ServerOptions::seed),
        {"--scenario", true, [](ServerOptions& o, const std::string& v) -> std::string {
             o.scenarioPath = v;
             return {};
         }},
        {"--record", true, [](ServerOptions& o, const std::string& v) -> std::string {
             if (v.empty()) return "--record takes a file name";
             o.recordPath = v;
             return {};
         }},
        {"--replay", true, [](ServerOptions& o, const std::string& v) -> std::string {
             if (v.empty()) return "--replay takes a file name";
             o.replayPath = v;
             return {};
         }},
        Number("--replay-for", 1, 86'400, &ServerOptions::replayForSeconds),
        {"--log", true, [](ServerOptions& o, const std::string& v) -> std::string {
             o.logPath = v;
             return {};
         }},
        Number("--trace-level", 0, 100, &ServerOptions::traceLevel),
        Flag("--help", &ServerOptions::help),
    };

    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        const Option* option = nullptr;
        for (const Option& candidate : options) {
            if (candidate.name == name) option = &candidate;
        }
        if (option == nullptr) {
            result.error = "unknown option \"" + name + "\"";
            return result;
        }
        std::string value;
        if (option->takesValue) {
            if (i + 1 >= arguments.size()) {
                result.error = name + " needs a value";
                return result;
            }
            value = arguments[++i];
        }
        std::string error = option->apply(result.options, value);
        if (!error.empty()) {
            result.error = std::move(error);
            return result;
        }
    }
    // Under COMPEXT a client keeps planar payloads as they arrive, while this server deflates
    // every COMPEXT body; the client could not read them.
    const uint32_t compform = result.options.compform;
    if (compform > 12 && !IsDrawingCompform(compform)) {
        result.error = "--compform takes 1 to 12, 101, 102 or 201";
        return result;
    }
    if ((compform == 6 || compform == 9) && result.options.envelope == COMPEXT) {
        result.error = "--compform 6 and 9 (planar run-length) need an envelope other than compext";
    }
    // A replayed session sends nothing of its own, so there would be nothing to record, and
    // it has no screen to take from a display.
    if (!result.options.replayPath.empty() && (!result.options.recordPath.empty() || !result.options.x11Display.empty())) {
        result.error = "--replay takes neither --record nor --x11";
    }
    return result;
}

std::string HelpText() {
    return R"(corvane-testserver: a Corvane server for tests, benchmarks and demonstrations.
It listens on 127.0.0.1 only and serves one client connection at a time.

Usage: corvane-testserver [options]

Connection
  --port N               TCP port (default 27500; 0: the system chooses one). The first
                         line on standard output is always "listening on PORT".
  --tls                  TLS on the connection (a self-signed identity made at start-up).
  --once                 end when the first session ends (logins that are refused or
                         redirected do not count).
  --exit-after SECONDS   end after this long whatever happens (default 600; 0: no limit).
  --silent-after N       answer the first N connections only (refused and redirected
                         logins count). Every later one is accepted and then held open
                         without a byte in reply (what the client sends is read and
                         dropped) until the client closes it or the run ends: a server
                         that stops answering, e.g. for a reconnection that must hang.

Login
  --user NAME:PASSWORD   an account (repeatable; default demo:demo). The client's password
                         arrives in its scrambled form and is compared in clear text.
  --server-code TEXT     the server code (clear text) that modifies the payload key.
  --redirect-once        answer the first login of the run with server-variant flag 2 and
                         a geometry; the client's next attempt (flag 1) is accepted.
  --login-status N       answer every first block with status N (not 0) whatever the
                         credentials; without it a wrong password gets status 1.
  --bad-magic            answer the first block with a block magic other than 143.
  --drop-at STEP         close every connection, unanswered, where the login would send
                         STEP: answer (the answer to the first block), session-list,
                         final-block or init-reply (after the client's init message);
                         session-list-half and init-reply-half send the first half of
                         it before closing.
  --tls-garbage          with --tls, send bytes that are no TLS record right after the
                         login's handshake, then only read until the client closes.
  --session-count N      announce N disconnected sessions (0 to 60; the client refuses
                         more than 50), ids 11, 12, ...; sessions whose client goes away
                         without ending them are listed as well.
  --entry-size N         the session-list entry size announced and sent (default 384).
  --final-status N       status of the final block (default 0; 3 when the chosen session
                         does not exist).
  --protocol-version N   protocol version times 100 in the final block (default 200).
  --server-version N     server version times 100 in the final block (default 950).
  --init-status N        status word of the init reply (default 0).
  --geometry WxH         session size (default: what the client asks for; at most
                         4096x3072). Depths 8 and 16 are granted as asked, anything
                         else as 24.

Session
  --envelope E           plain, compstd (default), compext or compaes.
  --compform N           encoding of image updates (default 4), sent in the record
                         header with format tag 257: 1, 2, 3 palette chunks; 4, 5 raw;
                         7, 8 16-bit pixels (24-bit colours cut to 5 bits a channel);
                         6, 9 planar run-length, one rectangle per update covering the
                         changed tiles (24-bit sessions; 8-bit ones get raw updates; not
                         with --envelope compext); 10, 11, 12 JPEG images (baseline
                         4:2:0 q80, baseline 4:4:4 q90, progressive 4:2:0 q80), one
                         rectangle per update, always in the compext envelope (24-bit
                         sessions; 8-bit ones get raw updates); 101, 102 drawing
                         requests of JFIF frames (baseline 4:2:0, 16x16 units, q85) and
                         201 drawing requests of VP8 video frames (two token partitions),
                         each covering the whole screen (24-bit sessions; 8-bit ones get
                         raw updates). 8-bit sessions send one
                         colour-table index per pixel in every encoding.
  --frame-interval MS    time between moving updates (default 40).
  --frames N             moving updates after the full screen (default 0: until the
                         session ends).
  --static               only the full screen; nothing moves.
  --seed N               desktop seed (default 1).
  --x11 DISPLAY          serve this X display (e.g. :1) instead of the generated
                         desktop: the session has its size, gets what changes on it
                         every frame interval (at most), in the compform asked for
                         (1 to 12), and the client's keys and pointer are played into
                         it. The display's keymap is replaced by the server's keyboard;
                         its CLIPBOARD goes both ways and its cursor is sent as it
                         changes.
  --key-codes map|table  the key codes that keyboard takes: those of the client's
                         built-in key maps 1 and 2 (map, the default: the client uses
                         map 2 unless KeyMapNumber says otherwise) or those of its
                         built-in translation's keysym table (table: a client with
                         KeyMapNumber 0, or with key-map mode toggled off).
  --seamless             after the full screen, announce the desktop's windows as
                         seamless windows (ids 1, 2, ...; title "window-ID"; the
                         odd ids linked to id + 100, the even ones to nothing); with
                         --x11, the display's mapped top-level windows with their
                         places and titles, each linked to its X window id, and
                         then what happens to them (moved, unmapped, mapped,
                         opened, gone); the client's close asks the X window to
                         close (WM_DELETE_WINDOW) and its restore maps it.
  --faults MS            for long runs: every session allows reconnection (session
                         control 5019), then meets a random fault every MS/2 to 3MS/2:
                         drop, half-frame then drop, bad-frame-size-12, corrupt-compext,
                         bell, colour-table, a clipboard text or a pointer warp (chosen
                         from --seed and the session's number; logged as "fault ...");
                         the sessions it breaks are not offered as disconnected ones.
  --scenario FILE        scripted actions, one per line ('#' starts a comment); each
                         runs once per server run, in the first session that reaches it:
                           after-frames N ACTION   after the session's N-th image update
                                                   (0: before the first one)
                           after-ms N ACTION       N ms after the login ended
                         ACTION is one of:
                           sctl CODE [ARG]    session-control message (e.g. 5019, 5002)
                           drop               close the connection abruptly
                           bad-frame-size-12  a frame header announcing 12 bytes
                           bell               a bell message
                           corrupt-compext    a COMPEXT frame that does not inflate
                           colour-table       the colour table again
                           stop-updates       no further moving updates
                           clipboard-text TEXT  the session's clipboard becomes TEXT (the
                                              rest of the line; escapes \n \r \t \\ \xHH,
                                              '#' as \x23) and is sent to the client
                           clipboard-set TEXT the same, sent only when the client asks
                           clipboard-file PATH, clipboard-set-file PATH
                                              the same with the file's bytes
                           clipboard-metafile PATH
                                              the file's bytes sent as a metafile
                           window-create ID X Y W H [LINKED [TITLE]]
                           window-move ID X Y W H
                           window-map ID, window-unmap ID, window-destroy ID
                                              seamless window requests
                           update X Y W H     an image update of that part of the screen
                           half-frame         a frame header announcing 4096 bytes and
                                              the first 2048 of them, nothing more

Recording
  --record FILE          write what the first session sends after its login (the frames
                         as they went out, before TLS) to FILE, with the session's size,
                         depth and update count; the file is complete once the session
                         has ended.
  --replay FILE          every session sends the recording in FILE instead of a desktop,
                         as fast as the client reads, then waits for the client to close.
                         The session gets the recording's size (--geometry is replaced);
                         a login granted another depth is closed after the login
                         ("replay refused"), and the server code must be the recording's.
                         Logs "replay sent bytes=N of=T updates=U ms=M" once all is
                         written and "replay end ms=M" when the client has closed, both
                         counted from the first byte. Not with --record or --x11.
  --replay-for SECONDS   send the recording again and again, as fast as the client
                         reads, until SECONDS have passed (for long runs of a recording
                         whose frames stand alone, such as raw or COMPSTD ones).

Output
  --log FILE             event log, one line per event (default: standard error):
                           connection n=N
                           connection held silent          (--silent-after)
                           login user=NAME session=ID width=W height=H depth=D bpp=B
                             visual=V flag=F version=V
                           login-reply status=S flag=F width=W height=H
                           sessions count=N entry-size=S
                           choice session=ID
                           final status=S session=ID width=W height=H depth=D
                           init width=W height=H depth=D bpp=B visual=V banner="..."
                           init-reply status=S session=ID width=W height=H depth=D
                           session start id=ID width=W height=H depth=D
                           frame sent n=N desktop=F rects=R bytes=B
                           colour-table sent
                           action NAME ...
                           login drop before=STEP|inside=STEP   (--drop-at)
                           tls garbage sent bytes=N        (--tls-garbage)
                           key code=C flags=F kind=press|release
                           pointer x=X y=Y screen-x=X screen-y=Y button=B action=A
                           sctl code=C arg=A arg2=B
                           clipboard len=N text="..." [crc32=H]   clipboard request
                           clipboard sent len=N      (the session's clipboard, when it
                                                      changes or the client asks)
                           window code=C id=I linked=L x=X y=Y width=W height=H
                           message type=T len=N            (anything else)
                           connection closed
                           session end id=ID state=disconnected|ended|left
                           server end reason=once|deadline|stopped
  --trace-level N        debug level of the protocol library's records (standard error).
  --help                 this text.

The n-th image update of a session (n = 1 is the full screen) leaves the client's screen
showing desktop frame n - 1.
)";
}

}  // namespace corvane::testserver
