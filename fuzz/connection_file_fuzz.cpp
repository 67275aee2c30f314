// Arbitrary bytes as a connection file (.zrp): every key, the password or the ticket's sixteen
// Authentication lines, and the [RDP] section, which is copied to the .rdp file beside it.
// The number of monitors present comes from the input's length.
#include "config/connection_file.h"
#include "config/scrambled_text.h"
#include "fuzz_io.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::QuietLog();
    const std::string path = corvane::fuzz::ScratchFile("connection.zrp", data, size);
    corvane::ClientSettings settings;
    corvane::StatusMailbox mailbox;
    (void)corvane::ReadConnectionFile(path, settings, mailbox, static_cast<int>(size % 4) + 1);
    // What the reader keeps of a password is its scrambled form, never anything else.
    std::string clear;
    if (!settings.password.empty() && corvane::UnscrambleText(settings.password, clear) != 0) {
        __builtin_trap();
    }
    return 0;
}
