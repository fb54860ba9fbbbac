#include "reg_file.h"

#include <cctype>
#include <cstdio>

#include "contract/le_bytes.h"
#include "os/os.h"
#include "reg_text.h"

namespace vigilctl {
namespace {

struct LogicalLine {
  std::string text;
  int line;
};

// Splits into lines (LF or CRLF), joining hex lines continued with a trailing backslash.
std::vector<LogicalLine> SplitLines(std::string_view text) {
  std::vector<LogicalLine> lines;
  int number = 0;
  bool continuing = false;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(pos, end - pos);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    ++number;
    std::string_view trimmed = raw;
    if (continuing) {
      while (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.front() == '\t')) trimmed.remove_prefix(1);
      lines.back().text.append(trimmed);
    } else {
      lines.push_back({std::string(raw), number});
    }
    std::string& last = lines.back().text;
    // Only hex data lines continue; a string value may well end in a backslash.
    // A string line ends with its closing quote, so this cannot cut a string value.
    continuing = !last.empty() && last.back() == '\\' && last.find("=hex") != std::string::npos;
    if (continuing) last.pop_back();
    if (end == text.size()) break;
    pos = end + 1;
  }
  return lines;
}

// Reads a quoted string at text[*pos] (on the opening quote) with \\ and \" escapes.
bool ReadQuoted(const std::string& text, std::size_t* pos, std::string* out, std::string* error) {
  std::size_t i = *pos + 1;
  out->clear();
  while (i < text.size()) {
    char c = text[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\') {
      if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) {
        *error = "bad escape in quoted text (only \\\\ and \\\" are allowed)";
        return false;
      }
      out->push_back(text[i + 1]);
      i += 2;
      continue;
    }
    out->push_back(c);
    ++i;
  }
  *error = "unterminated quoted text";
  return false;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool ParseDword(std::string_view digits, std::vector<uint8_t>* data) {
  if (digits.empty() || digits.size() > 8) return false;
  uint32_t value = 0;
  for (char c : digits) {
    int d = HexDigit(c);
    if (d < 0) return false;
    value = value << 4 | static_cast<uint32_t>(d);
  }
  *data = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
           static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return true;
}

// "aa,bb,cc" (spaces allowed around bytes); empty allowed.
bool ParseHexBytes(std::string_view text, std::vector<uint8_t>* data) {
  data->clear();
  std::size_t i = 0;
  auto skipSpace = [&] { while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i; };
  skipSpace();
  if (i == text.size()) return true;
  while (true) {
    skipSpace();
    if (i + 2 > text.size()) return false;
    int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    data->push_back(static_cast<uint8_t>(hi << 4 | lo));
    i += 2;
    skipSpace();
    if (i == text.size()) return true;
    if (text[i] != ',') return false;
    ++i;
  }
}

// The value part after '=': "text", dword:XXXXXXXX, hex:.., hex(N):.., or - (delete).
bool ParseData(const std::string& text, std::size_t pos, RegOperation* op, std::string* error) {
  std::string_view rest(text);
  rest.remove_prefix(pos);
  if (rest == "-") {
    op->kind = RegOperation::Kind::kDeleteValue;
    return true;
  }
  op->kind = RegOperation::Kind::kSetValue;
  if (!rest.empty() && rest.front() == '"') {
    std::string value;
    std::size_t at = pos;
    if (!ReadQuoted(text, &at, &value, error)) return false;
    if (at != text.size()) {
      *error = "text after the closing quote";
      return false;
    }
    op->type = os::kRegSz;
    op->data.assign(value.begin(), value.end());
    op->data.push_back(0);
    return true;
  }
  if (rest.substr(0, 6) == "dword:") {
    op->type = os::kRegDword;
    if (!ParseDword(rest.substr(6), &op->data)) {
      *error = "dword needs 1 to 8 hexadecimal digits";
      return false;
    }
    return true;
  }
  if (rest.substr(0, 3) == "hex") {
    std::string_view typeTag = rest.substr(3);  // "(N):..." or ":..."
    uint32_t type = os::kRegBinary;
    if (!typeTag.empty() && typeTag.front() == '(') {
      std::size_t close = typeTag.find(')');
      if (close == std::string_view::npos || close == 1 || close > 9) {
        *error = "bad hex(type)";
        return false;
      }
      type = 0;
      for (char c : typeTag.substr(1, close - 1)) {
        int d = HexDigit(c);
        if (d < 0) {
          *error = "bad hex(type)";
          return false;
        }
        type = type << 4 | static_cast<uint32_t>(d);
      }
      typeTag.remove_prefix(close + 1);
    }
    if (typeTag.empty() || typeTag.front() != ':' || !ParseHexBytes(typeTag.substr(1), &op->data)) {
      *error = "bad hex data (expected hex:aa,bb,...)";
      return false;
    }
    op->type = type;
    return true;
  }
  *error = "unknown value data (expected \"text\", dword:, hex: or -)";
  return false;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// "[HKEY_LOCAL_MACHINE\path]" or "[-HKEY_LOCAL_MACHINE\path]".
bool ParseKeyLine(const std::string& text, RegOperation* op, std::string* error) {
  std::size_t close = text.rfind(']');
  if (close == std::string::npos || close + 1 != text.find_last_not_of(" \t") + 1) {
    *error = "key line must end with ]";
    return false;
  }
  std::string_view inner(text.data() + 1, close - 1);
  op->kind = RegOperation::Kind::kCreateKey;
  if (!inner.empty() && inner.front() == '-') {
    op->kind = RegOperation::Kind::kDeleteKey;
    inner.remove_prefix(1);
  }
  std::string_view root = kRegRoot;
  if (inner.size() <= root.size() + 1 || !SameIgnoringCase(inner.substr(0, root.size()), root) ||
      inner[root.size()] != '\\') {
    *error = "only keys under HKEY_LOCAL_MACHINE\\ are supported";
    return false;
  }
  inner.remove_prefix(root.size() + 1);
  if (inner.empty() || inner.back() == '\\' || inner.find("\\\\") != std::string_view::npos) {
    *error = "empty key name";
    return false;
  }
  std::size_t depth = 0;
  for (std::size_t start = 0; start <= inner.size(); ++depth) {
    std::size_t end = inner.find('\\', start);
    if (end == std::string_view::npos) end = inner.size();
    if (end - start > os::kRegMaxKeyName) {
      *error = "a key name longer than " + std::to_string(os::kRegMaxKeyName) + " characters";
      return false;
    }
    start = end + 1;
  }
  // Deeper keys could be written but never exported again.
  if (depth > os::kRegMaxKeyDepth) {
    *error = "a key nested deeper than " + std::to_string(os::kRegMaxKeyDepth) + " levels";
    return false;
  }
  op->key.assign(inner);
  return true;
}

// What the registry would refuse only when the operation is applied, refused beforehand so
// that an import is never cut short part-way.
bool WithinRegistryBounds(const RegOperation& op, std::string* error) {
  if (op.name.size() > os::kRegMaxValueName) {
    *error = "a value name longer than " + std::to_string(os::kRegMaxValueName) + " characters";
    return false;
  }
  if (op.data.size() > os::kRegMaxValueData) {
    *error = "value data larger than " + std::to_string(os::kRegMaxValueData) + " bytes";
    return false;
  }
  return true;
}

}  // namespace

RegParseResult ParseRegFile(std::string_view bytes) {
  RegParseResult result;
  auto fail = [&](int line, std::string message) {
    result.operations.clear();
    result.errorLine = line;
    result.error = std::move(message);
    return result;
  };
  std::string text;
  std::string decodeError;
  if (!DecodeRegBytes(bytes, &text, &decodeError)) return fail(1, decodeError);

  bool sawHeader = false;
  bool inKey = false;
  std::string currentKey;
  for (const LogicalLine& logical : SplitLines(text)) {
    const std::string& line = logical.text;
    std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == ';') continue;
    // Names and texts reach the registry as C strings: a NUL would silently cut them.
    if (line.find('\0') != std::string::npos) return fail(logical.line, "a NUL character in the line");
    if (!sawHeader) {
      if (line.substr(first) != kRegHeader) return fail(logical.line, "expected \"" + std::string(kRegHeader) + "\"");
      sawHeader = true;
      continue;
    }
    RegOperation op;
    op.line = logical.line;
    std::string error;
    if (line[first] == '[') {
      if (!ParseKeyLine(line.substr(first), &op, &error)) return fail(logical.line, error);
      inKey = op.kind == RegOperation::Kind::kCreateKey;
      currentKey = op.key;
      result.operations.push_back(std::move(op));
      continue;
    }
    if (!inKey) return fail(logical.line, "value outside a key");
    std::size_t pos = first;
    if (line[pos] == '@') {
      ++pos;
    } else if (line[pos] == '"') {
      if (!ReadQuoted(line, &pos, &op.name, &error)) return fail(logical.line, error);
    } else {
      return fail(logical.line, "expected \"name\"=, @= or [key]");
    }
    if (pos >= line.size() || line[pos] != '=') return fail(logical.line, "expected = after the value name");
    op.key = currentKey;
    if (!ParseData(line, pos + 1, &op, &error) || !WithinRegistryBounds(op, &error)) {
      return fail(logical.line, error);
    }
    result.operations.push_back(std::move(op));
  }
  if (!sawHeader) return fail(1, "empty file: expected \"" + std::string(kRegHeader) + "\"");
  return result;
}

namespace {

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// A string that reads back byte for byte from "..." form: NUL-terminated, one line, no NUL inside.
bool PlainString(const uint8_t* data, std::size_t size) {
  if (size == 0 || data[size - 1] != 0) return false;
  for (std::size_t i = 0; i + 1 < size; ++i) {
    if (data[i] < 0x20 || data[i] == 0x7F) return false;
  }
  return true;
}

}  // namespace

std::string FormatRegValue(std::string_view name, uint32_t type, const uint8_t* data, std::size_t size) {
  std::string out = name.empty() ? "@" : Quote(name);
  out += "=";
  if (type == os::kRegSz && PlainString(data, size)) {
    return out + Quote(std::string_view(reinterpret_cast<const char*>(data), size - 1));
  }
  char buffer[16];
  if (type == os::kRegDword && size == 4) {
    const uint32_t v = vigil::le::Load32(data);
    std::snprintf(buffer, sizeof buffer, "dword:%08x", v);
    return out + buffer;
  }
  if (type == os::kRegBinary) {
    out += "hex:";
  } else {
    std::snprintf(buffer, sizeof buffer, "hex(%x):", type);
    out += buffer;
  }
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(buffer, sizeof buffer, i == 0 ? "%02x" : ",%02x", data[i]);
    out += buffer;
  }
  return out;
}

}  // namespace vigilctl
