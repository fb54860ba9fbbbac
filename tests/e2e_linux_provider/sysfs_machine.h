// A machine as hwgate-linux finds it under a sysfs root in a sandbox: a firmware SMBIOS table
// with its entry point, and the firmware event log as dmi-sysfs shows it.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/sandbox.h"

namespace vigil::test {

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// An SMBIOS 2.x entry point (`_SM_`, `_DMI_`) for a table of `tableLength` bytes.
inline std::string EntryPoint32(size_t tableLength, char major = 2, char minor = 7) {
  std::string e(0x1F, '\0');
  e.replace(0, 4, "_SM_");
  e[5] = 0x1F;
  e[6] = major;
  e[7] = minor;
  e.replace(0x10, 5, "_DMI_");
  e[0x16] = static_cast<char>(tableLength & 0xFF);
  e[0x17] = static_cast<char>(tableLength >> 8);
  return e;
}

inline void WriteFirmwareTable(const Sandbox& sandbox, const std::string& fixture) {
  std::string table = ReadAll(SourcePath(fixture));
  sandbox.WriteFile("sys/firmware/dmi/tables/DMI", table);
  sandbox.WriteFile("sys/firmware/dmi/tables/smbios_entry_point", EntryPoint32(table.size()));
}

// The log area: a 16-byte header, the records, the rest erased (FFh), as dmi-sysfs reads it
// for a log of access method 3.
inline void WriteFirmwareLog(const Sandbox& sandbox, const std::string& records, size_t areaLength) {
  std::string area(16, '\0');
  area += records;
  area += std::string(areaLength - area.size(), '\xFF');
  const std::string log = "sys/firmware/dmi/entries/15-0/system_event_log/";
  sandbox.WriteFile(log + "raw_event_log", area);
  sandbox.WriteFile(log + "access_method", "3\n");
  sandbox.WriteFile(log + "status", "1\n");
  sandbox.WriteFile(log + "area_length", std::to_string(areaLength) + "\n");
  sandbox.WriteFile(log + "data_start_offset", "16\n");
  sandbox.WriteFile(log + "change_token", "0\n");
}

// hwgate-linux on the sandbox's sysfs and dev trees, and the wait for it to serve.
inline std::vector<std::string> ProviderArgs(const Sandbox& sandbox) {
  return {"--sysfs-root", sandbox.Path("sys"), "--dev-root", sandbox.Path("dev")};
}
inline bool Serving(const Process& provider) {
  return WaitUntil([&] { return provider.Stdout().find("serving") != std::string::npos; }, std::chrono::seconds(10));
}

}  // namespace vigil::test
