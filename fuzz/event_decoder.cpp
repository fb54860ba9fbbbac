// libFuzzer: arbitrary records through DecodeEventRecord, with any model index, any memory
// locators and an event table of every record type. The table is loaded once (from a sandbox
// registry) with texts of every length up to the registry's 259 characters and PET values of
// every shape, general entries for all 256 types and specific ones for the POST error and
// system limit codes; the input picks the model, the generic set, the clock, two locators (and a
// probe and a fan by that handle) and the record.
// The record is an exact-size heap copy: any read past it is an ASan failure.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "contract/registry_paths.h"
#include "agent/eventlog/decoded_event.h"
#include "agent/eventlog/event_decoder.h"
#include "agent/eventtables/event_table.h"
#include "os/os.h"
#include "agent/platform/model_identification.h"
#include "agent/platform/smbios_parser.h"

namespace {

constexpr const char* kModel = "Fuzz Model";
std::time_t gClock = 0;
std::time_t Clock() { return gClock; }

void Put(const std::string& table, const char* key, const std::string& value) {
  const std::string path = std::string(vigil::kParametersBasePath) + table + kModel;
  os::RegHandle handle = nullptr;
  if (os::RegCreateKey(path.c_str(), os::kKeyAllAccess, &handle) != os::kErrorSuccess) return;
  os::RegSetValue(handle, key, os::kRegSz, value.c_str(), uint32_t(value.size() + 1));
  os::RegCloseKey(handle);
}

void AddEntry(uint32_t type, uint32_t code, unsigned seed) {
  char key[24];
  std::snprintf(key, sizeof key, "%02X_%08X", type, code);
  Put(vigil::kEventStringTableName, key, std::string((seed * 37) % 260, char('A' + seed % 26)));
  if (seed % 3 != 0) {
    char pet[64];
    std::snprintf(pet, sizeof pet, "%x,%x,%x,%x,%x,%x,%x,%x", seed % 3 == 1 ? 1 : seed & 0xFF,
                  seed * 7, seed * 11, seed % 5 == 0 ? 3 : seed, seed * 13, seed * 17, seed * 19,
                  seed * 23);
    Put(vigil::kEventPetTableName, key, pet);
  }
}

void SetUpOnce() {
  char dir[] = "/tmp/vigil-fuzz-decoder-XXXXXX";
  setenv("VIGIL_ROOT", mkdtemp(dir), 1);
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  unsigned seed = 1;
  for (uint32_t type = 0; type < 256; ++type) AddEntry(type, vigil::kGeneralEventCode, seed++);
  for (uint32_t code = 0; code < 32; ++code) AddEntry(8, code, seed++);
  for (uint32_t code = 256; code < 288; ++code) AddEntry(8, code, seed++);
  for (uint32_t code = 0; code < 64; ++code) AddEntry(16, code, seed++);
  vigil::gEventTable.Load(vigil::kParametersBasePath, kModel);
  vigil::gNow = Clock;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const bool once = (SetUpOnce(), true);
  (void)once;
  constexpr std::size_t kHeader = 9;
  if (size < kHeader) return 0;
  vigil::gModelIndex = vigil::ModelIndex(data[0] % 6);
  // With the generic set a limit event may name the probe or fan of `key` (a full-length name).
  vigil::gGenericSetInUse = (data[0] & 0x80) != 0;
  std::memcpy(&gClock, data + 1, 4);  // any 32-bit time as now
  const uint16_t key = uint16_t(data[5] | data[6] << 8);
  vigil::gMemoryDeviceMap[key] = std::string(data[7], 'L');
  // And under the key a C850 memory error record carrying `key` is looked up by (16-bit, wrapping).
  vigil::gMemoryDeviceMap[vigil::MemoryLocatorKey(vigil::kModelKelvoC850, key)] = std::string(data[8], 'M');
  vigil::ProbeRecord& probe = (data[0] & 0x40) ? vigil::gInventory.temperatureProbes[0] : vigil::gInventory.voltageProbes[0];
  probe.handle = key;
  std::memset(probe.description, 'P', sizeof probe.description);
  vigil::gInventory.temperatureProbeCount = vigil::gInventory.voltageProbeCount = 1;
  vigil::gInventory.coolingDevices[0] = vigil::CoolingDeviceRecord{uint16_t(key + 1), 0};
  vigil::gInventory.coolingDeviceCount = 1;

  const std::size_t length = size - kHeader;
  std::unique_ptr<uint8_t[]> record(new uint8_t[length ? length : 1]);
  std::memcpy(record.get(), data + kHeader, length);
  vigil::DecodedEvent event;
  vigil::DecodeEventRecord(record.get(), uint32_t(length), &event);
  if (strnlen(event.entry.text, sizeof event.entry.text) >= sizeof event.entry.text) __builtin_trap();
  vigil::gMemoryDeviceMap.clear();
  return 0;
}
