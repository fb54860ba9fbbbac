#include "firmware_table.h"

#include <cerrno>
#include <cstring>

namespace hwlinux {

namespace {

constexpr size_t kEntryPointLimit = 64;
constexpr size_t kTableLimit = 1 << 20;  // far beyond any firmware table

}  // namespace

int ReadFirmwareTable(FileReader& files, const std::string& sysfsRoot, FirmwareTable* out,
                      std::string* diagnosis) {
  *out = FirmwareTable();
  diagnosis->clear();
  std::string dir = sysfsRoot + "/firmware/dmi/tables";
  std::vector<uint8_t> entry;
  int error = files.ReadAll(dir + "/smbios_entry_point", kEntryPointLimit, &entry);
  if (error == ENOENT) {
    *diagnosis = dir + " absent: not root, or the kernel is too old to export the SMBIOS tables";
    return -1;
  }
  if (error == 0) error = files.ReadAll(dir + "/DMI", kTableLimit, &out->bytes);
  if (error != 0) {
    *diagnosis = "cannot read " + dir + ": " + std::strerror(error) +
                 (error == EACCES ? " (not root?)" : "");
    return -1;
  }
  std::string problem;
  if (ParseEntryPoint(entry.data(), entry.size(), &out->entry, &problem) != 0) {
    *diagnosis = dir + "/smbios_entry_point: " + problem;
    return -1;
  }
  SplitStructures(out->bytes.data(), out->bytes.size(), &out->structures, &problem);
  if (!problem.empty()) *diagnosis = dir + "/DMI: " + problem + "; served up to the structure before";
  if (out->structures.empty()) {
    if (diagnosis->empty()) *diagnosis = dir + "/DMI holds no structure";
    return -1;
  }
  return 0;
}

}  // namespace hwlinux
