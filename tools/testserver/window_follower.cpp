#include "tools/testserver/window_follower.h"

#include <algorithm>
#include <set>

#include "seamless/window_requests.h"

namespace corvane::testserver {

namespace {

bool SamePlace(const PixelRect& a, const PixelRect& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

WindowAnnouncement Request(uint32_t code, uint32_t id, uint32_t xid, const PixelRect& place) {
    return {code, id, place.x, place.y, place.width, place.height, xid, {}};
}

}  // namespace

std::vector<WindowAnnouncement> WindowFollower::Follow(const std::vector<TopWindow>& now) {
    std::vector<WindowAnnouncement> changes;
    std::set<uint32_t> present;
    for (const TopWindow& w : now) {
        present.insert(w.xid);
        auto known = m_known.find(w.xid);
        if (known == m_known.end()) {
            if (!w.mapped) continue;
            const uint32_t id = ++m_lastId;
            m_known[w.xid] = {id, w.place, true};
            WindowAnnouncement create = Request(kWindowCreate, id, w.xid, w.place);
            create.title = w.title;
            changes.push_back(std::move(create));
            continue;
        }
        Known& k = known->second;
        if (k.mapped && !w.mapped) changes.push_back(Request(kWindowUnmap, k.id, w.xid, w.place));
        if (!SamePlace(k.place, w.place)) changes.push_back(Request(kWindowMove, k.id, w.xid, w.place));
        if (!k.mapped && w.mapped) changes.push_back(Request(kWindowMap, k.id, w.xid, w.place));
        k.place = w.place;
        k.mapped = w.mapped;
    }
    std::vector<WindowAnnouncement> gone;
    for (auto it = m_known.begin(); it != m_known.end();) {
        if (present.contains(it->first)) {
            ++it;
            continue;
        }
        gone.push_back(Request(kWindowDestroy, it->second.id, it->first, it->second.place));
        it = m_known.erase(it);
    }
    // In the order they were created, whatever their X windows' numbers.
    std::sort(gone.begin(), gone.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    changes.insert(changes.end(), gone.begin(), gone.end());
    return changes;
}

}  // namespace corvane::testserver
