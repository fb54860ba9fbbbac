// JSON string literals for the event log sink.
#pragma once

#include <string>
#include <string_view>

namespace os::posix {

// `text` as a quoted JSON string. Quotes, backslashes and control characters are escaped;
// valid UTF-8 passes through; a byte that is not part of valid UTF-8 (event texts may come
// from Windows-1252 tables) becomes \u00XX, its Latin-1 reading, so every line stays valid JSON.
std::string JsonString(std::string_view text);

}  // namespace os::posix
