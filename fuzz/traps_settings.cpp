// libFuzzer: arbitrary bytes as the trap follower's state file, its destination list and a v3
// engine ID. A cursor, or a whole state file with its pending informs, that it accepts must be
// the one it writes back byte for byte; every
// destination it accepts must have a host and a port in range, and no more than the limit; an
// engine ID is 5 to 32 bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "traps_config.h"
#include "traps_cursor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  vigilctl::TrapCursor cursor;
  if (vigilctl::ParseTrapCursor(text, &cursor)) {
    if (vigilctl::FormatTrapCursor(cursor) != text || cursor.nextSlot > 600) __builtin_trap();
  }
  vigilctl::TrapState state;
  if (vigilctl::ParseTrapState(text, &state)) {
    if (vigilctl::FormatTrapState(state) != text) __builtin_trap();
    for (const vigilctl::PendingInform& p : state.informs) {
      if (p.destination.empty() || p.message.petVarbind.empty() ||
          p.message.petVarbind.size() > vigilctl::kMaxPetVarbind) {
        __builtin_trap();
      }
    }
  }
  std::vector<vigilctl::TrapDestination> destinations;
  std::string error;
  if (vigilctl::ParseTrapDestinations(text, &destinations, &error)) {
    if (destinations.size() > vigilctl::kMaxTrapDestinations) __builtin_trap();
    for (const vigilctl::TrapDestination& d : destinations) {
      if (d.host.empty() || d.port == 0 || d.host.find_first_of(", \t[]") != std::string::npos) __builtin_trap();
    }
  } else if (error.empty()) {
    __builtin_trap();
  }
  std::vector<uint8_t> engineId;
  if (vigilctl::ParseEngineId(text, &engineId) && (engineId.size() < 5 || engineId.size() > 32)) __builtin_trap();
  return 0;
}
