// Costs of following the BIOS event log:
//   BM_DecodeAndAppend   decode + ring append of one record, event table of 500 entries
//   BM_RecordFields      the structured fields of one record's report
//   BM_ReportRecord      one record's report through an open event source: the journal entry
//                        (or syslog line) and its events.log line, written with the poll's
//   BM_BareSystemLog     the journal entry (or, without a journal, the syslog line) alone
//   BM_BareEventsWrite   one write() of a poll's 600 events.log lines on an open descriptor
//   BM_FirstPoll600      the first poll after a start over a 600-record log (in-process
//                        scripted driver; every record reported to the system event log);
//                        vs_bare: its time over the sum of the bare costs it cannot avoid
//                        (600 x (decode + append + bare system log), one events.log write,
//                        one position save)
//   BM_TableLoad/0|1     the start-up's event table load: a model's tables (Kelvo B720) or the
//                        generic set, both imported from fixtures/eventtables
//   BM_FirstPollTable/0|1  the first poll of 600 records of every type with those tables (the
//                        generic set with its switch on, limit events naming a probe by handle)
//   BM_IdlePoll          a poll that finds nothing new, against the real hwgate-sim daemon
//   BM_IdleExchange      its device exchange alone
//   BM_IdleSavePosition  its two registry writes alone
// Everything runs in a throw-away VIGIL_ROOT.
#include <stdlib.h>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <syslog.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "contract/registry_paths.h"
#include "agent/eventlog/event_decoder.h"
#include "agent/eventlog/event_fields.h"
#include "agent/eventlog/event_reporting.h"
#include "agent/eventlog/event_log_reader.h"
#include "agent/eventlog/history_ring.h"
#include "contract/driver_protocol.h"
#include "agent/eventtables/event_table.h"
#include "os/os.h"
#include "os/posix/journal_sink.h"
#include "os/posix/syslog_sink.h"
#include "agent/platform/driver_channel.h"
#include "agent/platform/model_identification.h"
#include "agent/platform/smbios_parser.h"
#include "contract/block_layout.h"
#include "agent/shared/shared_block.h"
#include "reg_file.h"
#include "reg_registry.h"
#include "support/agent_rig.h"

namespace {

std::vector<uint8_t> gBlockBytes(vigil::block::kSize);

void LoadTable500() {
  const std::string path = std::string(vigil::kParametersBasePath) + vigil::kEventStringTableName + "Bench";
  const std::string petPath = std::string(vigil::kParametersBasePath) + vigil::kEventPetTableName + "Bench";
  os::RegHandle text = nullptr;
  os::RegHandle pet = nullptr;
  os::RegCreateKey(path.c_str(), os::kKeyAllAccess, &text);
  os::RegCreateKey(petPath.c_str(), os::kKeyAllAccess, &pet);
  for (int i = 0; i < 500; ++i) {
    // General entries of all types, then POST error and system limit codes.
    const uint32_t type = i < 256 ? uint32_t(i) : (i < 380 ? 8u : 16u);
    const uint32_t code = i < 256 ? vigil::kGeneralEventCode : uint32_t(i < 380 ? i - 256 : i - 380);
    char key[24];
    std::snprintf(key, sizeof key, "%02X_%08X", type, code);
    const std::string value = "Event text of entry " + std::to_string(i) + " with some length to it";
    os::RegSetValue(text, key, os::kRegSz, value.c_str(), uint32_t(value.size() + 1));
    const char petValue[] = "12,6F,1,22,0,0,0,0";
    os::RegSetValue(pet, key, os::kRegSz, petValue, sizeof petValue);
  }
  os::RegCloseKey(text);
  os::RegCloseKey(pet);
  vigil::gEventTable.Load(vigil::kParametersBasePath, "Bench");
}

std::vector<uint8_t> Record(int i) {
  static const uint8_t kTypes[] = {1, 2, 8, 9, 16, 7, 0x17};
  std::vector<uint8_t> r(16, 0);
  r[0] = kTypes[i % 7];
  r[1] = 16;
  const uint8_t time[6] = {0x24, 0x03, 0x11, 0x01, 0x05, 0x00};
  std::memcpy(&r[2], time, 6);
  const uint32_t word = r[0] == 8 ? (1u << (i % 24)) : 0x00024B01u + uint32_t(i);
  std::memcpy(&r[8], &word, 4);
  return r;
}

void BM_DecodeAndAppend(benchmark::State& state) {
  vigil::gBlock = gBlockBytes.data();
  std::vector<std::vector<uint8_t>> records;
  for (int i = 0; i < 600; ++i) records.push_back(Record(i));
  vigil::DecodedEvent event;
  std::size_t i = 0;
  for (auto _ : state) {
    const auto& r = records[i++ % records.size()];
    vigil::DecodeEventRecord(r.data(), uint32_t(r.size()), &event);
    benchmark::DoNotOptimize(vigil::AppendHistoryEntry(event.entry));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeAndAppend);

// A decoded record with its fields, as the poll reports it.
struct ReportedRecord {
  vigil::DecodedEvent event;
  vigil::EventFields fields;
};

void DecodeForReport(int i, ReportedRecord* out) {
  const auto r = Record(i);
  vigil::DecodeEventRecord(r.data(), uint32_t(r.size()), &out->event);
  vigil::BuildBiosEventFields(out->event, std::size_t(i), &out->fields);
}

void BM_RecordFields(benchmark::State& state) {
  ReportedRecord record;
  DecodeForReport(1, &record);
  for (auto _ : state) {
    vigil::EventFields fields;
    vigil::BuildBiosEventFields(record.event, 17, &fields);
    benchmark::DoNotOptimize(fields.size());
  }
}
BENCHMARK(BM_RecordFields);

void BM_ReportRecord(benchmark::State& state) {
  ReportedRecord record;
  DecodeForReport(1, &record);
  vigil::SystemEventReports reports(vigil::kEventSourceName);
  int pending = 0;
  for (auto _ : state) {
    reports.Report(record.event.entry.text, os::kEventTypeWarning, vigil::kBiosEventCategory, &record.fields);
    // A poll's worth of lines, then their write, as a first poll does.
    if (++pending == 600) {
      reports.Close();
      pending = 0;
    }
  }
}
BENCHMARK(BM_ReportRecord);

// What the system log itself is handed for one record, the message and its fields.
std::vector<os::posix::JournalField> JournalEntry(const ReportedRecord& record) {
  std::vector<os::posix::JournalField> entry = {
      {"MESSAGE", std::string(record.event.entry.text) + "."}, {"PRIORITY", "4"}, {"SYSLOG_IDENTIFIER", vigil::kEventSourceName}};
  for (std::size_t i = 0; i < record.fields.size(); ++i) {
    entry.push_back({record.fields.data()[i].name, record.fields.data()[i].value});
  }
  return entry;
}

void BareSystemLog(const std::vector<os::posix::JournalField>& entry) {
  if (!os::posix::SendToJournal(entry)) os::posix::WriteSyslog(vigil::kEventSourceName, LOG_WARNING, entry[0].value);
}

void BM_BareSystemLog(benchmark::State& state) {
  ReportedRecord record;
  DecodeForReport(1, &record);
  const auto entry = JournalEntry(record);
  for (auto _ : state) BareSystemLog(entry);
}
BENCHMARK(BM_BareSystemLog);

// A poll's events.log lines, about the length the port writes for these records.
std::string PollLines() {
  std::string lines;
  for (int i = 0; i < 600; ++i) lines += std::string(380, 'x') + "\n";
  return lines;
}

void BareEventsWrite(int fd, const std::string& lines) {
  benchmark::DoNotOptimize(write(fd, lines.data(), lines.size()));
}

void BM_BareEventsWrite(benchmark::State& state) {
  const std::string path = std::string(getenv("VIGIL_ROOT")) + "/bare-events.log";
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const std::string lines = PollLines();
  for (auto _ : state) BareEventsWrite(fd, lines);
  close(fd);
  unlink(path.c_str());
}
BENCHMARK(BM_BareEventsWrite)->Unit(benchmark::kMicrosecond);

template <class F>
double MeanNs(int repeats, F&& f) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < repeats; ++i) f(i);
  return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / repeats;
}

// The sum of the bare costs of a first poll over 600 records, measured here and now.
double BareFirstPollNs() {
  std::vector<std::vector<uint8_t>> records;
  for (int i = 0; i < 600; ++i) records.push_back(Record(i));
  ReportedRecord record;
  DecodeForReport(1, &record);
  const auto entry = JournalEntry(record);
  const double decodeAppend = MeanNs(6000, [&](int i) {
    const auto& r = records[std::size_t(i) % records.size()];
    vigil::DecodeEventRecord(r.data(), uint32_t(r.size()), &record.event);
    benchmark::DoNotOptimize(vigil::AppendHistoryEntry(record.event.entry));
  });
  const double systemLog = MeanNs(6000, [&](int) { BareSystemLog(entry); });
  const std::string path = std::string(getenv("VIGIL_ROOT")) + "/bare-events.log";
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const std::string lines = PollLines();
  const double eventsWrite = MeanNs(20, [&](int) { BareEventsWrite(fd, lines); });
  close(fd);
  unlink(path.c_str());
  const double save = MeanNs(20, [](int) { benchmark::DoNotOptimize(vigil::SaveLogPosition()); });
  return 600 * (decodeAppend + systemLog) + eventsWrite + save;
}

// A driver answering LogReadRecord requests from a fixed log of whole 16-byte records.
struct ScriptedLog {
  std::vector<uint8_t> bytes;
  uint32_t firstRecordTime = 0x65A10000;
};
ScriptedLog gLog;

bool ServeScripted(void*, uint32_t code, const void* in, uint32_t, void* out, uint32_t, uint32_t* returned) {
  if (code != vigil::kIoctlReadEventLog) return true;
  vigil::LogReadRecord r;
  std::memcpy(&r, in, 8);
  uint32_t at = (r.position + 15u) / 16u * 16u;
  if (at > gLog.bytes.size()) at = uint32_t(gLog.bytes.size());
  uint32_t n = uint32_t(gLog.bytes.size()) - at;
  if (n > 64) n = 64;
  std::memset(r.data, 0, sizeof r.data);
  std::memcpy(r.data, gLog.bytes.data() + at, n);
  r.firstRecordTime = gLog.firstRecordTime;
  r.position = uint16_t(at);
  r.dataLength = uint8_t(n);
  r.moreRecords = at + n < gLog.bytes.size() ? 1 : 0;
  std::memcpy(out, &r, sizeof r);
  if (returned) *returned = sizeof r;
  return true;
}

// First runs over a 600-record log of record(i): nothing stored, every record new and reported.
void RunFirstPolls(benchmark::State& state, std::vector<uint8_t> (*record)(int)) {
  vigil::gBlock = gBlockBytes.data();
  gLog.bytes.clear();
  for (int i = 0; i < 600; ++i) {
    auto r = record(i);
    gLog.bytes.insert(gLog.bytes.end(), r.begin(), r.end());
  }
  os::RegisterLocalDevice(vigil::kDriverPath, ServeScripted, nullptr);
  vigil::gDriverRetryDelayMs = 0;
  vigil::OpenDriverChannel();
  double pollNs = 0;
  for (auto _ : state) {
    vigil::gEventLogReader = vigil::EventLogReaderState{};
    vigil::gEventLogReader.logDataSize = 0xFFFF;
    vigil::ResetHistoryRing();
    const auto start = std::chrono::steady_clock::now();
    vigil::PollEventLog();
    pollNs += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    if (vigil::gEventLogReader.storedPosition != 9600) state.SkipWithError("log not read whole");
  }
  vigil::CloseDriverChannel();
  os::RegisterLocalDevice(vigil::kDriverPath, nullptr, nullptr);
  state.SetItemsProcessed(state.iterations() * 600);
  state.counters["vs_bare"] = pollNs / double(state.iterations()) / BareFirstPollNs();
}

void BM_FirstPoll600(benchmark::State& state) { RunFirstPolls(state, Record); }
BENCHMARK(BM_FirstPoll600)->Unit(benchmark::kMillisecond)->Iterations(20);

// The shipped tables, imported as vigilctl reg import does.
bool ImportShippedTable(const char* name) {
  std::ifstream in(vigil::test::SourcePath(std::string("fixtures/eventtables/") + name + ".reg"), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const vigilctl::RegParseResult parsed = vigilctl::ParseRegFile(text.str());
  std::string error;
  return parsed.errorLine == 0 && vigilctl::ApplyRegOperations(parsed.operations, &error) == 0;
}

// The two table sets compared: a known model's, and the generic one with its switch on.
constexpr const char* kComparedTables[] = {"Kelvo B720", vigil::kGenericEventTableName};

void BM_TableLoad(benchmark::State& state) {
  const char* name = kComparedTables[state.range(0)];
  if (!ImportShippedTable(name)) return state.SkipWithError("table not imported");
  std::size_t entries = 0;
  for (auto _ : state) {
    vigil::EventTable table;
    table.Load(vigil::kParametersBasePath, name);
    entries = table.entries().size();
  }
  state.counters["entries"] = double(entries);
}
BENCHMARK(BM_TableLoad)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Puts `name`'s tables in the process's one event table, in place of what it held.
void UseTable(const char* name) {
  vigil::gEventTable.Clear();
  vigil::gEventTable.Load(vigil::kParametersBasePath, name);
  vigil::gGenericSetInUse = name == std::string(vigil::kGenericEventTableName);
}

// A record of each kind the tables describe, in turn: memory errors on a module, POST errors
// of both words, PCI errors, limit events by standard code and by probe handle, boots.
std::vector<uint8_t> MixedRecord(int i) {
  static const uint8_t kTypes[] = {1, 2, 8, 8, 9, 16, 16, 0x17, 0x15, 0x16};
  std::vector<uint8_t> r(16, 0);
  const int kind = i % 10;
  r[0] = kTypes[kind];
  r[1] = 16;
  const uint8_t time[6] = {0x24, 0x03, 0x11, 0x01, 0x05, 0x00};
  std::memcpy(&r[2], time, 6);
  uint32_t first = 0x11;
  uint32_t second = 0;
  if (kind == 2) first = 1u << (i % 20);
  if (kind == 3) {
    first = 0x01000000u;  // the second word holds the bits
    second = 1u << (7 + i % 20);
  }
  if (kind == 4) first = 0x00024B01u;
  if (kind == 5) first = 0x02;
  if (kind == 6) first = 0x00010050u;
  std::memcpy(&r[8], &first, 4);
  std::memcpy(&r[12], &second, 4);
  return r;
}

void BM_FirstPollTable(benchmark::State& state) {
  const char* name = kComparedTables[state.range(0)];
  if (!ImportShippedTable(name)) return state.SkipWithError("table not imported");
  UseTable(name);
  vigil::gInventory = vigil::Inventory{};
  vigil::gInventory.temperatureProbes[0] = vigil::ProbeRecord{0x50, 0x63, "CPU1 Temp"};
  vigil::gInventory.temperatureProbeCount = 1;
  vigil::gMemoryDeviceMap[0x11] = "DIMM_A1";
  RunFirstPolls(state, MixedRecord);
  UseTable("Bench");
}
BENCHMARK(BM_FirstPollTable)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);

// The real simulator daemon behind its socket, with the C850 scenario's log.
constexpr const char* kIdleScenario = "kelvo-c850.json";

// Opens the channel to the daemon and completes a first poll, so later polls are idle.
bool StartFollowing() {
  vigil::gBlock = gBlockBytes.data();
  vigil::gDriverRetryDelayMs = 10;
  if (vigil::OpenDriverChannel() != 0) return false;
  vigil::gEventLogReader = vigil::EventLogReaderState{};
  vigil::gEventLogReader.logDataSize = 4096;
  vigil::PollEventLog();
  vigil::PollEventLog();
  return vigil::gEventLogReader.recordsSeen != 0 || vigil::gEventLogReader.storedPosition != 0;
}

void BM_IdlePoll(benchmark::State& state) {
  vigil::test::Simulator simulator(kIdleScenario);
  if (!simulator.ready() || !StartFollowing()) return state.SkipWithError("no simulator");
  for (auto _ : state) vigil::PollEventLog();
  vigil::CloseDriverChannel();
}
BENCHMARK(BM_IdlePoll)->Unit(benchmark::kMicrosecond);

void BM_IdleExchange(benchmark::State& state) {
  vigil::test::Simulator simulator(kIdleScenario);
  if (!simulator.ready() || !StartFollowing()) return state.SkipWithError("no simulator");
  vigil::LogReadRecord record;
  for (auto _ : state) {
    std::memset(&record, 0, sizeof record);
    record.firstRecordTime = vigil::gEventLogReader.storedFirstRecordTime;
    record.position = vigil::gEventLogReader.storedPosition;
    record.dataLength = vigil::kLogDataCapacity;
    benchmark::DoNotOptimize(vigil::ExchangeLogRecords(&record));
  }
  vigil::CloseDriverChannel();
}
BENCHMARK(BM_IdleExchange)->Unit(benchmark::kMicrosecond);

void BM_IdleSavePosition(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(vigil::SaveLogPosition());
}
BENCHMARK(BM_IdleSavePosition)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  const vigil::test::Sandbox root("vigil-bench-eventlog-");
  setenv("TZ", "UTC0", 1);
  LoadTable500();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
