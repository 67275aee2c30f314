// What the clipboard capability asks of the user interface: the server's clipboard goes onto
// the local one. Called on the receive thread; the implementation posts and returns, so the
// session never waits for the desktop's clipboard.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

class ClipboardPort {
public:
    virtual ~ClipboardPort() = default;

    // The server's clipboard text, in UTF-8 with the desktop's line ends.
    virtual void PutServerText(std::string text) = 0;
    // An enhanced metafile from the server (its inflated bits): offered as a picture.
    virtual void PutServerMetafile(std::vector<uint8_t> bits) = 0;
};

}  // namespace corvane
