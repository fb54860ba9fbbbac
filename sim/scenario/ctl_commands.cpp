#include "scenario/ctl_commands.h"

#include <sstream>
#include <vector>

#include "core/event_log.h"
#include "scenario/hex.h"

namespace hwsim {

namespace {

using Words = std::vector<std::string>;

bool Number(const std::string& text, uint64_t max, const char* what, uint64_t* value,
            std::string* reply) {
  std::string why;
  if (ParseUnsigned(text, max, value, &why)) return true;
  *reply = std::string("bad ") + what + ": " + why;
  return false;
}

bool AppendRecord(Core& core, const Words& w, std::string* reply) {
  if (w.size() < 2) return (*reply = "usage: append-record HEX"), false;
  std::string hex;  // blanks between bytes are allowed, so the record may span words
  for (size_t i = 1; i < w.size(); ++i) hex += w[i] + " ";
  std::vector<uint8_t> bytes;
  std::string why;
  if (!ParseHexBytes(hex, &bytes, &why)) return (*reply = "bad record: " + why), false;
  if (bytes.size() < kMinRecordLength) {
    return (*reply = std::string("bad record: ") + DescribeAppendResult(AppendResult::kBadLength)), false;
  }
  AppendResult result = AppendLogRecord(core, bytes.data(), static_cast<uint32_t>(bytes.size()));
  if (result != AppendResult::kOk) return (*reply = std::string("bad record: ") + DescribeAppendResult(result)), false;
  *reply = "position=" + std::to_string(core.logLength - bytes.size()) + "\n";
  return true;
}

bool ClearLogCommand(Core& core, const Words& w, uint32_t now, std::string* reply) {
  if (w.size() > 2) return (*reply = "usage: clear-log [FIRST_RECORD_TIME]"), false;
  uint64_t time = now;
  if (w.size() == 2) {
    if (!Number(w[1], 0xFFFFFFFF, "first record time", &time, reply)) return false;
  } else if (time == core.firstRecordTime) {
    ++time;  // a cleared log must look different to the agent
  }
  ClearLog(core, static_cast<uint32_t>(time));
  *reply = "firstRecordTime=" + std::to_string(time) + "\n";
  return true;
}

bool SetSensorCommand(Core& core, const Words& w, std::string* reply) {
  if (w.size() != 4) return (*reply = "usage: set-sensor HANDLE RAW STATUS"), false;
  uint64_t handle, raw, status;
  if (!Number(w[1], 0xFFFF, "handle", &handle, reply) || !Number(w[2], 0xFFFF, "raw value", &raw, reply) ||
      !Number(w[3], 0xFF, "status", &status, reply)) {
    return false;
  }
  if (!SetSensor(core, static_cast<uint16_t>(handle), static_cast<uint16_t>(raw),
                 static_cast<uint8_t>(status))) {
    *reply = "no probe or cooling device has handle " + w[1];
    return false;
  }
  return true;
}

// Which calls a fail-next counts: all of them, or one control code.
bool FailScope(const std::string& word, uint32_t* code) {
  if (word == "any") *code = 0;
  else if (word == "smbios") *code = vigil::kIoctlReadSmbiosTable;
  else if (word == "log") *code = vigil::kIoctlReadEventLog;
  else if (word == "command") *code = vigil::kIoctlDeviceCommand;
  else return false;
  return true;
}

bool FailNextCommand(Core& core, const Words& w, std::string* reply) {
  uint64_t count;
  uint32_t code = 0;
  if (w.size() < 2 || w.size() > 3 || (w.size() == 3 && !FailScope(w[2], &code))) {
    return (*reply = "usage: fail-next N [any|smbios|log|command]"), false;
  }
  if (!Number(w[1], 0xFFFFFFFF, "count", &count, reply)) return false;
  FailNext(core, static_cast<uint32_t>(count), code);
  return true;
}

bool MalformedCommand(Core& core, const Words& w, std::string* reply) {
  if (w.size() == 2 && w[1] == "zero-length") {
    SetMalformed(core, Malformed::kZeroLength);
  } else if (w.size() == 2 && w[1] == "overrun") {
    SetMalformed(core, Malformed::kOverrun);
  } else {
    *reply = "usage: malformed zero-length|overrun";
    return false;
  }
  return true;
}

std::string StatsText(const Core& core) {
  std::ostringstream out;
  out << "commands_0x51=" << core.stats.sensorReads << "\n"
      << "alerts_0x54=" << core.stats.alerts << "\n"
      << "log_exchanges=" << core.stats.logExchanges << "\n"
      << "smbios_reads=" << core.stats.smbiosReads << "\n"
      << "injected_failures=" << core.stats.injectedFailures << "\n"
      << "rejected_calls=" << core.stats.rejectedCalls << "\n"
      << "log_records=" << CountLogRecords(core) << "\n"
      << "log_bytes=" << core.logLength << "\n"
      << "log_capacity=" << core.logCapacity << "\n"
      << "first_record_time=" << core.firstRecordTime << "\n"
      << "fail_next=" << core.failNext << "\n"
      << "fail_code=0x" << std::hex << core.failCode << std::dec << "\n";
  return out.str();
}

}  // namespace

bool RunControlCommand(Core& core, const std::string& line, uint32_t now, std::string* reply) {
  std::istringstream in(line);
  Words w;
  for (std::string word; in >> word;) w.push_back(word);
  reply->clear();
  if (w.empty()) return (*reply = "empty command"), false;
  const std::string& verb = w[0];
  if (verb == "append-record") return AppendRecord(core, w, reply);
  if (verb == "clear-log") return ClearLogCommand(core, w, now, reply);
  if (verb == "set-sensor") return SetSensorCommand(core, w, reply);
  if (verb == "fail-next") return FailNextCommand(core, w, reply);
  if (verb == "malformed") return MalformedCommand(core, w, reply);
  if (verb == "stats" && w.size() == 1) return (*reply = StatsText(core)), true;
  *reply = "unknown command '" + verb + "' (append-record, clear-log, set-sensor, fail-next, malformed, stats)";
  return false;
}

}  // namespace hwsim
