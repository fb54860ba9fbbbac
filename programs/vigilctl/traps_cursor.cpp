#include "traps_cursor.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <utility>

namespace vigilctl {
namespace {

namespace b = vigil::block;
constexpr const char* kMagic = "vigilctl-traps-cursor 1";
constexpr const char* kInformTag = "inform ";

// Lower-case hex as FormatTrapCursor writes it: `digits` exactly when fixed, otherwise without
// leading zeros and at most `-digits` long.
bool ParseHex(const std::string& text, uint64_t max, int digits, uint64_t* out) {
  if (text.empty()) return false;
  if (digits > 0 ? int(text.size()) != digits : (int(text.size()) > -digits || (text.size() > 1 && text[0] == '0'))) {
    return false;
  }
  uint64_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else {
      return false;
    }
    value = value << 4 | uint64_t(digit);
  }
  if (value > max) return false;
  *out = value;
  return true;
}

// A destination as the sender names it: printable, no blanks, bounded.
bool IsDestinationName(const std::string& text) {
  if (text.empty() || text.size() > 300) return false;
  for (char c : text) {
    if (c <= ' ' || c > '~') return false;
  }
  return true;
}

bool ParseBytes(const std::string& hex, std::vector<uint8_t>* out) {
  if (hex.empty() || hex.size() % 2 != 0 || hex.size() > 2 * kMaxPetVarbind) return false;
  out->clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    uint64_t byte = 0;
    if (!ParseHex(hex.substr(i, 2), 0xFF, 2, &byte)) return false;
    out->push_back(uint8_t(byte));
  }
  return true;
}

// "inform <destination> <specific trap> <varbind>" without its newline.
bool ParseInformLine(const std::string& line, PendingInform* inform) {
  if (line.compare(0, std::strlen(kInformTag), kInformTag) != 0) return false;
  const std::size_t a = std::strlen(kInformTag);
  const std::size_t b = line.find(' ', a);
  const std::size_t c = b == std::string::npos ? b : line.find(' ', b + 1);
  if (c == std::string::npos || line.find(' ', c + 1) != std::string::npos) return false;
  uint64_t specific = 0;
  inform->destination = line.substr(a, b - a);
  if (!IsDestinationName(inform->destination) || !ParseHex(line.substr(b + 1, c - b - 1), UINT32_MAX, -8, &specific) ||
      !ParseBytes(line.substr(c + 1), &inform->message.petVarbind)) {
    return false;
  }
  inform->message.specificTrap = uint32_t(specific);
  return true;
}

}  // namespace

uint64_t EntryDigest(const vigil::HistoryEntry& entry) {
  uint8_t bytes[sizeof entry];
  std::memcpy(bytes, &entry, sizeof entry);
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint8_t c : bytes) h = (h ^ c) * 0x100000001b3ull;
  return h;
}

std::string FormatTrapCursor(const TrapCursor& c) {
  char line[128];
  std::snprintf(line, sizeof line, "%s %x %x %x %016" PRIx64 "\n", kMagic, unsigned(c.appendCount),
                unsigned(c.nextSlot), unsigned(c.lastSlot), c.lastDigest);
  return line;
}

bool ParseTrapCursor(const std::string& text, TrapCursor* cursor) {
  const std::string magic = std::string(kMagic) + " ";
  if (text.compare(0, magic.size(), magic) != 0 || text.empty() || text.back() != '\n') return false;
  std::string fields[4];
  std::size_t at = magic.size();
  for (int i = 0; i < 4; ++i) {
    const std::size_t end = text.find(i == 3 ? '\n' : ' ', at);
    if (end == std::string::npos) return false;
    fields[i] = text.substr(at, end - at);
    at = end + 1;
  }
  if (at != text.size()) return false;
  uint64_t count, next, last, digest;
  if (!ParseHex(fields[0], 0xFFFF, -4, &count) || !ParseHex(fields[1], b::kRingSlots, -4, &next) ||
      !ParseHex(fields[2], 0xFFFF, -4, &last) || !ParseHex(fields[3], UINT64_MAX, 16, &digest) ||
      (last != kNoSlot && last >= b::kRingSlots)) {
    return false;
  }
  *cursor = TrapCursor{uint16_t(count), uint16_t(next), uint16_t(last), digest};
  return true;
}

std::string FormatTrapState(const TrapState& state) {
  std::string text = FormatTrapCursor(state.cursor);
  char hex[16];
  for (const PendingInform& p : state.informs) {
    std::snprintf(hex, sizeof hex, " %x ", unsigned(p.message.specificTrap));
    text += kInformTag + p.destination + hex;
    for (uint8_t byte : p.message.petVarbind) {
      std::snprintf(hex, sizeof hex, "%02x", byte);
      text += hex;
    }
    text += '\n';
  }
  return text;
}

bool ParseTrapState(const std::string& text, TrapState* state) {
  if (text.size() > kMaxStateFile) return false;
  std::size_t end = text.find('\n');
  if (end == std::string::npos || !ParseTrapCursor(text.substr(0, end + 1), &state->cursor)) return false;
  state->informs.clear();
  for (std::size_t at = end + 1; at < text.size(); at = end + 1) {
    end = text.find('\n', at);
    PendingInform inform;
    if (end == std::string::npos || !ParseInformLine(text.substr(at, end - at), &inform)) return false;
    state->informs.push_back(std::move(inform));
  }
  return true;
}

RingPlan PlanRing(const TrapCursor& cursor, const RingCounters& target, bool lastIntact) {
  RingPlan plan;
  plan.restarted = !lastIntact;
  const uint16_t added = uint16_t(target.appendCount - cursor.appendCount);
  std::vector<std::size_t> slots;
  if (added <= b::kRingSlots) {
    // Also after an agent restart whose count ran past the cursor: the new run's first slots
    // replay the BIOS log the agent already knew, the rest follow on from the cursor.
    slots = NewSlots(RingCounters{cursor.nextSlot, cursor.appendCount}, target);
  } else {
    // A count that went back (a new run) or ran more than a ring ahead (an overrun): this
    // run's entries are all that can be read. Moving forward tells how many were lost.
    slots = RingOrder(target, false);
    if (added < 0x8000) plan.overwritten = added - uint32_t(slots.size());
  }
  const uint16_t first = uint16_t(target.appendCount - slots.size() + 1);
  for (std::size_t i = 0; i < slots.size(); ++i) plan.items.push_back({slots[i], uint16_t(first + i)});
  return plan;
}

bool LoadTrapState(const std::string& path, TrapState* state) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string text(kMaxStateFile + 1, '\0');
  in.read(&text[0], std::streamsize(text.size()));
  text.resize(std::size_t(in.gcount()));
  return ParseTrapState(text, state);
}

int SaveTrapState(const std::string& path, const TrapState& state) {
  const std::string temp = path + ".tmp";
  const std::string text = FormatTrapState(state);
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) return -1;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !written || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return -1;
  }
  return 0;
}

}  // namespace vigilctl
