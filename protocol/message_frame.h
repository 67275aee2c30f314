// One message as the channel hands it on: the record header (host order) and the record
// behind it (wire order until the router converts it for the handler), and how the body came.
//
// The bytes live in the channel's buffers and stay valid until the next read; a handler that
// keeps anything past its return copies it first.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

struct MessageFrame {
    uint16_t type = 0;
    uint8_t* header = nullptr;  // the 32-byte record header, host order
    uint8_t* record = nullptr;  // what follows the header
    size_t recordBytes = 0;           // how many bytes follow the header
    // A COMPEXT image update whose payload is a JPEG image: `record` holds the image record
    // up to the end of the first rectangle header, then the JPEG stream as it came.
    bool jpegImage = false;
    // What the read expected of the body (the selector it was given, raised to the JPEG
    // class for a JPEG image).
    int decodeClass = 0;
};

}  // namespace corvane
