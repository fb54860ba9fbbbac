#include "reg_text.h"

#include <cstdint>

#include "contract/le_bytes.h"

namespace vigilctl {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

void AppendUtf8(uint32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | c >> 6));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | c >> 12));
    out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | c >> 18));
    out->push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

bool FromUtf16Le(std::string_view bytes, std::string* text, std::string* error) {
  if (bytes.size() % 2 != 0) {
    *error = "UTF-16 text of an odd number of bytes";
    return false;
  }
  auto unit = [&](std::size_t i) {
    return uint32_t{vigil::le::Load16(reinterpret_cast<const uint8_t*>(bytes.data() + i))};
  };
  text->clear();
  text->reserve(bytes.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    uint32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      *error = "unpaired UTF-16 surrogate at byte " + std::to_string(i);
      return false;
    }
    AppendUtf8(c, text);
  }
  return true;
}

}  // namespace

bool DecodeRegBytes(std::string_view bytes, std::string* text, std::string* error) {
  if (bytes.substr(0, kUtf16LeMark.size()) == kUtf16LeMark) {
    return FromUtf16Le(bytes.substr(kUtf16LeMark.size()), text, error);
  }
  if (bytes.substr(0, kUtf16BeMark.size()) == kUtf16BeMark) {
    *error = "UTF-16 big-endian text; save the file as Unicode (UTF-16LE) or UTF-8";
    return false;
  }
  if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark) bytes.remove_prefix(kUtf8Mark.size());
  text->assign(bytes);
  return true;
}

}  // namespace vigilctl
