#include "traps_cursor.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace vigilctl {
namespace {

namespace b = vigil::block;
constexpr const char* kMagic = "vigilctl-traps-cursor 1";

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

bool LoadTrapCursor(const std::string& path, TrapCursor* cursor) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  char buffer[256];
  in.read(buffer, sizeof buffer);
  return ParseTrapCursor(std::string(buffer, std::size_t(in.gcount())), cursor);
}

int SaveTrapCursor(const std::string& path, const TrapCursor& cursor) {
  const std::string temp = path + ".tmp";
  const std::string text = FormatTrapCursor(cursor);
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
