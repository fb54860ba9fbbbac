// JSON string literals for every writer of JSON text: the POSIX event log's lines and
// vigilctl's --json output. Portable, no OS calls, no library beyond the standard one.
#pragma once

#include <string>
#include <string_view>

namespace vigil::text {

// `text` as a quoted JSON string that is valid JSON and valid UTF-8 whatever the bytes:
// quotes and backslashes escaped, \n \r \t \b \f by name, other control characters and DEL as
// \u00XX; valid UTF-8 passes through; a byte that is not part of valid UTF-8 (texts may come
// from Windows-1252 event tables or a hostile block) becomes \u00XX, its Latin-1 reading.
std::string JsonString(std::string_view text);
// The same literal appended to `out`.
void AppendJsonString(std::string* out, std::string_view text);

}  // namespace vigil::text
