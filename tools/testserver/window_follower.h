// Follows the top-level windows of a display from one look to the next and says what changed
// as seamless window requests: a window seen mapped for the first time is created (with a new
// id, linked to its X window), one that is unmapped is minimised and mapped again restored,
// one that moved or changed size is moved, and one that has gone is destroyed. Windows never
// seen mapped are not announced.
//
// A window's title is sent once, when it is created: the requests have no way to change it.
//
// Plain class: one thread.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "tools/testserver/server_messages.h"
#include "tools/testserver/x11_windows.h"

namespace corvane::testserver {

class WindowFollower {
  public:
    // What changed since the last look (`now`: the display's windows, bottom first), in that
    // order; creations carry the title.
    [[nodiscard]] std::vector<WindowAnnouncement> Follow(const std::vector<TopWindow>& now);

    // Whether this X window was announced and is still there: the client may ask for it to be
    // closed or mapped only then.
    [[nodiscard]] bool Announced(uint32_t xid) const { return m_known.contains(xid); }

  private:
    struct Known {
        uint32_t id = 0;
        PixelRect place;
        bool mapped = false;
    };
    std::map<uint32_t, Known> m_known;  // by X window
    uint32_t m_lastId = 0;
};

}  // namespace corvane::testserver
