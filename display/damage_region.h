// The changed part of the frame buffer that no view has taken yet: a short list of
// rectangles that becomes its bounding box when it grows past a few pieces (a region of many
// small pieces paints slower than its bounding box).
//
// Not thread-safe on its own: the frame buffer keeps it under its damage lock.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace corvane {

struct DamageRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    [[nodiscard]] bool Empty() const { return width <= 0 || height <= 0; }
    [[nodiscard]] int Right() const { return x + width; }
    [[nodiscard]] int Bottom() const { return y + height; }
    bool operator==(const DamageRect&) const = default;
};

// The common part of two rectangles (empty when they do not meet).
[[nodiscard]] inline DamageRect Intersect(const DamageRect& a, const DamageRect& b) {
    const int left = std::max(a.x, b.x);
    const int top = std::max(a.y, b.y);
    const int right = std::min(a.Right(), b.Right());
    const int bottom = std::min(a.Bottom(), b.Bottom());
    if (right <= left || bottom <= top) return {};
    return {left, top, right - left, bottom - top};
}

// The smallest rectangle covering both; an empty one adds nothing.
[[nodiscard]] inline DamageRect Unite(const DamageRect& a, const DamageRect& b) {
    if (a.Empty()) return b;
    if (b.Empty()) return a;
    const int left = std::min(a.x, b.x);
    const int top = std::min(a.y, b.y);
    return {left, top, std::max(a.Right(), b.Right()) - left, std::max(a.Bottom(), b.Bottom()) - top};
}

class DamageRegion {
public:
    static constexpr size_t kMostPieces = 16;

    DamageRegion() { m_rects.reserve(kMostPieces + 1); }

    [[nodiscard]] bool Empty() const { return m_rects.empty(); }

    // Adds a rectangle; an empty one changes nothing. Allocates nothing once constructed.
    void Add(const DamageRect& rect) {
        if (rect.Empty()) return;
        for (const DamageRect& r : m_rects) {
            if (Intersect(r, rect) == rect) return;  // already covered
        }
        m_rects.push_back(rect);
        if (m_rects.size() > kMostPieces) {
            DamageRect box;
            for (const DamageRect& r : m_rects) box = Unite(box, r);
            m_rects.clear();
            m_rects.push_back(box);
        }
    }

    // Hands the rectangles to `out` (which is cleared first) and leaves this region empty;
    // the two vectors swap storage, so a caller that keeps `out` allocates nothing.
    void TakeInto(std::vector<DamageRect>& out) {
        out.clear();
        out.swap(m_rects);
        if (m_rects.capacity() < kMostPieces + 1) m_rects.reserve(kMostPieces + 1);
    }

private:
    std::vector<DamageRect> m_rects;
};

}  // namespace corvane
