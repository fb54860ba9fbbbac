// libFuzzer: arbitrary text through the simulator's scenario loader (JSON, structures, log
// records, sensors), and the same bytes through its raw structure table reader. A scenario
// that names a table file is skipped: the target must not open whatever path the fuzzer
// spells (a device such as /dev/zero would hang it), and escapes could spell the key.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/core.h"
#include "scenario/scenario_loader.h"
#include "scenario/structure_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const auto core = std::make_unique<hwsim::Core>();
  const std::vector<uint8_t> bytes(data, data + size);
  std::vector<hwsim::OwnedStructure> list;
  std::string error;
  hwsim::ParseRawTable(bytes, &list, &error);

  const std::string text(bytes.begin(), bytes.end());
  if (text.find("file") != std::string::npos || text.find('\\') != std::string::npos) return 0;
  error.clear();
  if (!hwsim::LoadScenarioText(text, "fuzz.json", "/nonexistent", core.get(), &error) && error.empty()) {
    __builtin_trap();  // a refused scenario always says why
  }
  return 0;
}
