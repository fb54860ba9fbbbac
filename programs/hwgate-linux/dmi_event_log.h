// The `smbios` log source: the firmware's own type-15 event log, read through the kernel's
// dmi-sysfs driver (<sysfs>/firmware/dmi/entries/15-*/system_event_log/). The kernel reads
// logs on indexed I/O (access methods 0, 1 and 2) and memory-mapped ones (3) whose valid bit
// is set; a general-purpose non-volatile log (4) answers EIO.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "file_reader.h"
#include "live_sources.h"

namespace hwlinux {

// Event log records of a log area's data (from the Log Data Start Offset), back to back, as
// the firmware wrote them (read flag included): whole records in order until a type 0xFF
// record, a length below the 8-byte record header, or a record running past the area. A
// record longer than one log read exchange can carry could never be delivered; it is left
// out and counted in *skipped. Pure, bounded by `length`.
void CollectLogRecords(const uint8_t* data, size_t length, std::vector<uint8_t>* records,
                       uint32_t* skipped);

// The log's identity: a digest of the first record's type and time, which a cleared log
// replaces with its "log area reset" record (or with nothing: 0 for an empty log). Not the
// firmware's change token: that one is reassigned whenever the log changes, so every new
// record would look like a cleared log and restart the agent's history.
uint32_t LogIdentity(const std::vector<uint8_t>& records);

class DmiEventLog : public LogSource {
 public:
  // Finds the type-15 entry and checks that the kernel can read it: access method 0-3, valid
  // status, a first read that succeeds. Returns the source, or null with a one-line
  // *diagnosis. Called once at start.
  static std::unique_ptr<DmiEventLog> Open(FileReader& files, const std::string& sysfsRoot,
                                           std::string* diagnosis);

  const char* Name() const override { return "smbios"; }
  // Rereads the area (a few kilobytes). A failing read is said once on stderr.
  int Refresh(const HandleLookup& handles, LogSnapshot* snapshot) override;

 private:
  DmiEventLog(FileReader& files, std::string dir, uint32_t dataStart, uint32_t areaLength)
      : files_(files), dir_(std::move(dir)), dataStart_(dataStart), areaLength_(areaLength) {}
  int ReadArea(LogSnapshot* snapshot, int* error);

  FileReader& files_;
  std::string dir_;
  uint32_t dataStart_;
  uint32_t areaLength_;
  bool failureSaid_ = false;
};

}  // namespace hwlinux
