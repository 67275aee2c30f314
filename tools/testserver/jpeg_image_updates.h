// JPEG image updates (compforms 10, 11 and 12): the test server's side of the general JPEG
// path. Each update is one rectangle covering every tile asked for, its data one JPEG image
// of the desktop there, with image type 2 in the record so that the client's reader decodes
// it before dispatching. Such bodies go out in the COMPEXT envelope, not deflated: the
// client's reader decodes JPEG images only there.
//
// The three compforms exercise different decoder paths:
//   10  baseline, 4:2:0, quality 80
//   11  baseline, 4:4:4, quality 90
//   12  progressive, 4:2:0, quality 80
// JPEG draws only at depth 24; an 8-bit desktop is sent raw instead (CompformForDesktop).
//
// Pure functions: any thread.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/testserver/desktop.h"
#include "tools/testserver/jpeg_encoder.h"

namespace corvane::testserver {

inline constexpr uint32_t kJpegImageType = 2;

[[nodiscard]] bool IsJpegCompform(uint32_t compform);

struct JpegSettings {
    JpegSampling sampling = JpegSampling::S420;
    int quality = 80;
    bool progressive = false;
};
[[nodiscard]] JpegSettings JpegSettingsForCompform(uint32_t compform);

// The desktop's pixels in `box` of frame `frame`: red, green, blue, rows of box.width * 3.
[[nodiscard]] std::vector<uint8_t> DesktopRgb(const PixelSource& desktop, int frame, const PixelRect& box);

// The smallest rectangle covering all of `rects` (not empty).
[[nodiscard]] PixelRect BoundingBox(const std::vector<PixelRect>& rects);

// The body (wire order) of a JPEG image update of `frame` covering `rects`, in `compform`
// (10 to 12). Empty when the image cannot be encoded.
[[nodiscard]] std::vector<uint8_t> JpegImageUpdateBody(const PixelSource& desktop, int frame,
                                                       const std::vector<PixelRect>& rects, uint32_t compform);

}  // namespace corvane::testserver
