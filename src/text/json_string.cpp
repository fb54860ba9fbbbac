#include "text/json_string.h"

#include <cstdio>

#include "text/utf8_text.h"

namespace vigil::text {
namespace {

void AppendEscape(std::string* out, unsigned code) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04x", code);
  out->append(escape);
}

// Bytes that stand for themselves inside a JSON string: printable ASCII but '"' and '\\'.
bool IsPlain(unsigned char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; }

}  // namespace

void AppendJsonString(std::string* out, std::string_view text) {
  out->push_back('"');
  for (std::size_t i = 0; i < text.size();) {
    // Runs of plain bytes, most of any text, are copied whole.
    std::size_t run = i;
    while (run < text.size() && IsPlain(static_cast<unsigned char>(text[run]))) ++run;
    if (run != i) {
      out->append(text.substr(i, run - i));
      i = run;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      std::size_t length = Utf8SequenceLength(text, i);
      if (length == 0) {
        AppendEscape(out, c);
        ++i;
      } else {
        out->append(text.substr(i, length));
        i += length;
      }
      continue;
    }
    switch (c) {
      case '"': *out += "\\\""; break;
      case '\\': *out += "\\\\"; break;
      case '\n': *out += "\\n"; break;
      case '\r': *out += "\\r"; break;
      case '\t': *out += "\\t"; break;
      case '\b': *out += "\\b"; break;
      case '\f': *out += "\\f"; break;
      default: AppendEscape(out, c);  // other control characters and DEL
    }
    ++i;
  }
  out->push_back('"');
}

std::string JsonString(std::string_view text) {
  std::string out;
  AppendJsonString(&out, text);
  return out;
}

}  // namespace vigil::text
