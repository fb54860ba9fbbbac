// libFuzzer: arbitrary file bytes through the .reg reader (encoding, lines, names, data).
// Whatever it accepts must be within the registry's bounds, and every value it returns must
// write back out as a line that reads in again to the same value.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "os/os.h"
#include "reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using vigilctl::RegOperation;
  const vigilctl::RegParseResult parsed =
      vigilctl::ParseRegFile(std::string_view(reinterpret_cast<const char*>(data), size));
  if (parsed.errorLine != 0 && !parsed.operations.empty()) __builtin_trap();
  for (const RegOperation& op : parsed.operations) {
    if (op.key.empty() || op.key.find('\0') != std::string::npos || op.name.find('\0') != std::string::npos ||
        op.name.size() > os::kRegMaxValueName || op.data.size() > os::kRegMaxValueData) {
      __builtin_trap();
    }
    if (op.kind != RegOperation::Kind::kSetValue) continue;
    const std::string file = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\K]\n" +
                             vigilctl::FormatRegValue(op.name, op.type, op.data.data(), op.data.size()) + "\n";
    const vigilctl::RegParseResult again = vigilctl::ParseRegFile(file);
    if (again.errorLine != 0 || again.operations.size() != 2 || again.operations[1].name != op.name ||
        again.operations[1].type != op.type || again.operations[1].data != op.data) {
      __builtin_trap();
    }
  }
  return 0;
}
