// The clipboard's settings, read the same way from the site file's [Viewer] section and from
// a connection file, the connection overriding the site:
//
//   ClipboardCharset UTF-8          the character set of clipboard text on the wire:
//                                   Windows-1252 (the default) or UTF-8
//   ClipboardPrimary 1              the primary selection is exchanged too (0, the default:
//                                   only the clipboard)
//
// Any thread; one file read per key.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/client_settings.h"

namespace corvane {

// Reads both keys from `section` of `path`. A key that is absent sets its default when
// `absentIsDefault` (the site file, the first layer), and leaves the setting alone otherwise.
// A character set with an unknown name is logged and leaves the setting alone.
void ReadClipboardSettings(const std::string& path, std::string_view section, bool absentIsDefault,
                           ClientSettings& settings);

// The character set named by a value: 1 for "UTF-8" (or "UTF8"), 0 for "Windows-1252" (or
// "1252", "CP1252"), in any case; nothing for any other name.
[[nodiscard]] std::optional<int> ClipboardCharsetNamed(std::string_view name);

}  // namespace corvane
