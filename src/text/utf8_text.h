// UTF-8 validity, for every writer that must pass on untrusted text as valid UTF-8 (the event
// log's JSON lines, vigilctl's JSON and metric labels). Header-only and portable: no OS calls.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vigil::text {

// Length of the valid UTF-8 sequence starting at text[i] (1 for an ASCII byte), or 0 when the
// bytes there are not one: a stray continuation byte, a sequence cut short, an overlong form,
// a UTF-16 surrogate or a code point past U+10FFFF. `i` must be below text.size().
inline std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    min = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  unsigned code = lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < min || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return length;
}

// `text` as valid UTF-8 for a writer whose format escapes a few characters: a byte that starts
// no valid sequence becomes U+FFFD, and each valid sequence goes to `escape(sequence, &out)`,
// which appends its escaped form and returns true, or returns false to keep it as it is.
template <class Escape>
std::string ValidUtf8With(std::string_view text, Escape escape) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD
      ++i;
      continue;
    }
    const std::string_view sequence = text.substr(i, length);
    if (!escape(sequence, &out)) out.append(sequence);
    i += length;
  }
  return out;
}

}  // namespace vigil::text
