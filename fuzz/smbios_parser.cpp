// libFuzzer: the SMBIOS parser on arbitrary 8192-byte table buffers, in both layouts.
// The first input byte picks the layout kind (and how the header is taken); the rest fills the
// buffer from offset 4 on, so the header fields and the data area are all the fuzzer's. The buffer is an exact-size heap
// block: any read past it is an ASan failure.
// The parser makes no OS calls, so no sandbox root is needed.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "agent/platform/driver_channel.h"
#include "agent/platform/smbios_parser.h"
#include "log_utilization.h"
#include "platform_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[vigil::kSmbiosTableSize]());
  const uint32_t kinds[] = {1, vigil::kSmbiosLayoutStringsApart, vigil::kSmbiosLayoutNone, 0xFFFFFFFF};
  const uint32_t kind = kinds[data[0] % 4];
  std::memcpy(buffer.get(), &kind, sizeof kind);
  const std::size_t body = size - 1 < vigil::kSmbiosTableSize - 4 ? size - 1 : vigil::kSmbiosTableSize - 4;
  std::memcpy(buffer.get() + 4, data + 1, body);
  // Half the inputs get header offsets and lengths folded into the buffer, so the walk reaches
  // the data area often; the other half keep them raw (huge offsets, huge lengths).
  if (data[0] & 4) {
    for (std::size_t field : {vigil::kSmbiosFirstStructure, vigil::kSmbiosSecondStringTable, vigil::kSmbiosTableLength}) {
      uint32_t value = 0;
      std::memcpy(&value, buffer.get() + field, sizeof value);
      value %= field == vigil::kSmbiosFirstStructure ? 512 : vigil::kSmbiosTableSize;
      std::memcpy(buffer.get() + field, &value, sizeof value);
    }
  }
  // A buffer without a table leaves the inventory of an earlier input, whose places name
  // another buffer; a parsed one notes its own event log structures, all inside it.
  const bool parsed = vigil::ParseSmbiosTable(buffer.get());
  for (uint32_t i = 0; parsed && i < vigil::gInventory.eventLogCount; ++i) {
    const vigil::StructurePlace& place = vigil::gInventory.eventLogs[i];
    if (place.offset + place.length > vigil::kSmbiosTableSize || buffer[place.offset] != 15) __builtin_trap();
  }
  // vigilctl walks the same buffers for the model name and the log size.
  vigilctl::IdentityFromSmbiosTable(buffer.get());
  vigilctl::EventLogDataSizeFromTable(buffer.get());
  // The memory-device map only grows; keep the fuzzer's memory flat.
  vigil::gMemoryDeviceMap.clear();
  return 0;
}
