#include "dmi_event_log.h"

#include <cerrno>
#include <cstring>
#include <iostream>

#include "contract/driver_protocol.h"

namespace hwlinux {

namespace {

constexpr uint8_t kEndOfLog = 0xFF;
constexpr uint32_t kRecordHeader = 8;        // type, length, six BCD time bytes
// Access methods 0-2 (8- and 16-bit index/data ports) and 3 (memory-mapped) are what the
// kernel's dmi-sysfs reads; 4 and above it refuses.
constexpr int64_t kLastKernelMethod = 3;
constexpr int64_t kStatusValid = 0x01;
constexpr uint32_t kMaxServedLog = 0xFFFF;   // log positions are 16-bit on the wire
// Firmware log areas are a few kilobytes; the area length is the firmware's word, and a
// larger one would only make every refresh read (and hold) that much.
constexpr int64_t kMaxAreaLength = 1 << 20;
constexpr char kEntryPrefix[] = "15-";

}  // namespace

void CollectLogRecords(const uint8_t* data, size_t length, std::vector<uint8_t>* records,
                       uint32_t* skipped) {
  records->clear();
  *skipped = 0;
  size_t at = 0;
  while (at + 2 <= length && data[at] != kEndOfLog) {
    uint32_t recordLength = vigil::LogRecordLength(data + at);
    if (recordLength < kRecordHeader || recordLength > length - at) break;
    if (recordLength > vigil::kLogDataCapacity) {
      ++*skipped;
    } else if (records->size() + recordLength <= kMaxServedLog) {
      records->insert(records->end(), data + at, data + at + recordLength);
    }
    at += recordLength;
  }
}

uint32_t LogIdentity(const std::vector<uint8_t>& records) {
  if (records.size() < kRecordHeader) return 0;
  uint32_t hash = 2166136261u;  // FNV-1a over type and time of the first record
  for (size_t i = 0; i < kRecordHeader; ++i) {
    if (i == 1) continue;  // the read flag changes without the log changing
    hash = (hash ^ records[i]) * 16777619u;
  }
  return hash == 0 ? 1 : hash;
}

std::unique_ptr<DmiEventLog> DmiEventLog::Open(FileReader& files, const std::string& sysfsRoot,
                                               std::string* diagnosis) {
  std::string entries = sysfsRoot + "/firmware/dmi/entries";
  std::vector<std::string> names;
  if (files.List(entries, &names) != 0) {
    *diagnosis = entries + " absent: the kernel has no dmi-sysfs (modprobe dmi-sysfs) or this is not root";
    return nullptr;
  }
  std::string dir;
  for (const std::string& name : names) {
    if (name.compare(0, sizeof(kEntryPrefix) - 1, kEntryPrefix) == 0) {
      dir = entries + "/" + name + "/system_event_log";
      break;
    }
  }
  if (dir.empty()) {
    *diagnosis = "the firmware's SMBIOS table has no event log (type 15) structure";
    return nullptr;
  }
  int64_t method = 0, status = 0, areaLength = 0, dataStart = 0;
  if (ReadNumber(files, dir + "/access_method", &method) != 0 || ReadNumber(files, dir + "/status", &status) != 0 ||
      ReadNumber(files, dir + "/area_length", &areaLength) != 0 ||
      ReadNumber(files, dir + "/data_start_offset", &dataStart) != 0) {
    *diagnosis = "cannot read the firmware event log's description in " + dir +
                 " (a type-15 structure too short for it?)";
    return nullptr;
  }
  if (method < 0 || method > kLastKernelMethod) {
    *diagnosis = "the firmware event log uses access method " + std::to_string(method) +
                 "; the kernel reads only indexed I/O (0-2) and memory-mapped (3) logs";
    return nullptr;
  }
  if ((status & kStatusValid) == 0) {
    *diagnosis = "the firmware event log is marked not valid (status " + std::to_string(status) + ")";
    return nullptr;
  }
  if (areaLength > kMaxAreaLength) {
    *diagnosis = "the firmware event log's area length " + std::to_string(areaLength) +
                 " is beyond any firmware log (at most " + std::to_string(kMaxAreaLength) + " bytes are read)";
    return nullptr;
  }
  if (areaLength <= 0 || dataStart < 0 || dataStart >= areaLength) {
    *diagnosis = "the firmware event log's area (length " + std::to_string(areaLength) +
                 ", data at " + std::to_string(dataStart) + ") holds no records";
    return nullptr;
  }
  std::unique_ptr<DmiEventLog> log(new DmiEventLog(files, dir, static_cast<uint32_t>(dataStart),
                                                   static_cast<uint32_t>(areaLength)));
  LogSnapshot probe;
  int error = 0;
  if (log->ReadArea(&probe, &error) != 0) {
    *diagnosis = "cannot read " + dir + "/raw_event_log: " + std::strerror(error);
    return nullptr;
  }
  return log;
}

int DmiEventLog::ReadArea(LogSnapshot* snapshot, int* error) {
  std::vector<uint8_t> area;
  *error = files_.ReadAll(dir_ + "/raw_event_log", areaLength_ + 1, &area);
  if (*error != 0) return -1;
  LogSnapshot fresh;
  if (area.size() > dataStart_) {
    CollectLogRecords(area.data() + dataStart_, area.size() - dataStart_, &fresh.records, &fresh.skipped);
  }
  fresh.identity = LogIdentity(fresh.records);
  uint32_t dataLength = areaLength_ - dataStart_;
  fresh.areaLength = dataLength < kMaxServedLog ? dataLength : kMaxServedLog;
  *snapshot = std::move(fresh);
  return 0;
}

int DmiEventLog::Refresh(const HandleLookup&, LogSnapshot* snapshot) {
  int error = 0;
  if (ReadArea(snapshot, &error) == 0) {
    failureSaid_ = false;
    return 0;
  }
  if (!failureSaid_) {
    std::cerr << "hwgate-linux: cannot read " << dir_ << "/raw_event_log: " << std::strerror(error)
              << "; serving the log as last read\n";
    failureSaid_ = true;
  }
  return -1;
}

}  // namespace hwlinux
