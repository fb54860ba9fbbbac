// A BMC that is busy for a while (after a power cycle, under load) and SEL records whose time
// field is not a date: the provider must ride over the first and never date events with the
// second.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include "ipmi/bmc_exchange.h"
#include "ipmi/ipmi_codes.h"
#include "ipmi/sdr_sensor_source.h"
#include "ipmi/sel_log_source.h"
#include "ipmi_builders.h"

namespace hwlinux::ipmi {
namespace {

using testing::SelEvent;
using Fault = ScriptedBmc::Fault;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kT0 = 1700000000;  // 2023-11-14 22:13:20 UTC
constexpr int kSdrRecords = 40;

struct NoHandles : HandleLookup {
  int ProbeHandle(const std::string&, uint32_t) const override { return -1; }
  int MemoryDeviceHandle(uint32_t) const override { return -1; }
};

ScriptedBmc::SelRecord Boot(uint32_t t) { return SelEvent(t, 0x1D, 2, 0x6F, 0x00); }

enum class Op { kSelRefresh, kSdrList, kReading };

// Runs `op` once; true when it gave everything the BMC holds.
bool RunOp(Op op, ScriptedBmc& bmc, SelLogSource& sel, SdrSensorSource& sdr) {
  if (op == Op::kSelRefresh) {
    LogSnapshot snapshot;
    return sel.Refresh(NoHandles(), &snapshot) == 0 && snapshot.records.size() == 8u * 3;
  }
  std::vector<LiveSensor> sensors;
  if (sdr.ListSensors(&sensors) != 0 || sensors.size() != size_t(kSdrRecords)) return false;
  if (op == Op::kSdrList) return true;
  bmc.perCommand.clear();
  LiveReading reading;
  return sdr.ReadSensor(sensors[0], &reading) == 0 && reading.valid && reading.value == 500;
}

TEST(BusyBmc, TemporaryAnswersAreAskedAgainWithinABound) {
  struct Case {
    const char* what;
    Op op;
    uint8_t cmd;
    uint8_t code;
    int times, skip;
    bool ok;
    uint32_t pausedMs;  // 50, then 100, then 200 ms
  };
  const Case cases[] = {
      {"node busy on Get SEL Info", Op::kSelRefresh, kCmdGetSelInfo, 0xC0, 1, 0, true, 50},
      {"initializing three times", Op::kSelRefresh, kCmdGetSelInfo, 0xD2, 3, 0, true, 350},
      {"initializing beyond the bound", Op::kSelRefresh, kCmdGetSelInfo, 0xD2, 4, 0, false, 350},
      {"timeout on an SEL entry", Op::kSelRefresh, kCmdGetSelEntry, 0xC3, 2, 1, true, 150},
      {"timeout on record 30 of the SDR walk", Op::kSdrList, kCmdGetSdr, 0xC3, 1, 29, true, 50},
      {"busy on Get SDR Repository Info", Op::kSdrList, kCmdGetSdrRepositoryInfo, 0xC0, 1, 0, true, 50},
      {"busy on Get Sensor Reading", Op::kReading, kCmdGetSensorReading, 0xC0, 2, 0, true, 150},
      {"invalid command is final", Op::kReading, kCmdGetSensorReading, 0xC1, 1, 0, false, 0},
  };
  for (const Case& c : cases) {
    ScriptedBmc bmc;
    for (uint32_t i = 0; i < 3; ++i) bmc.AddSel(Boot(kT0 + i), kT0 + i);
    for (int n = 1; n <= kSdrRecords; ++n) {
      testing::SdrFields fields;
      fields.number = uint8_t(n);
      fields.name = "T" + std::to_string(n);
      bmc.AddSdr(testing::Sdr(fields), kT0);
    }
    bmc.readings[1] = {50, 0x40, 0x00};
    SelLogSource sel(bmc);
    SdrSensorSource sdr(bmc);
    if (c.op == Op::kReading) {
      ASSERT_TRUE(RunOp(Op::kSdrList, bmc, sel, sdr)) << c.what;
    }
    bmc.Inject(c.cmd, Fault::kCompletion, c.code, c.times, c.skip);
    EXPECT_EQ(RunOp(c.op, bmc, sel, sdr), c.ok) << c.what;
    EXPECT_EQ(bmc.pausedMs, c.pausedMs) << c.what;
    // Whatever failed is asked again later and then served.
    EXPECT_TRUE(RunOp(c.op, bmc, sel, sdr)) << c.what;
  }
}

// The six BCD time bytes of the last translated record.
Bytes LastTime(const LogSnapshot& snapshot) {
  return Bytes(snapshot.records.end() - 6, snapshot.records.end());
}

TEST(SelTimes, OnlyRealDatesDateLaterPreInitEvents) {
  setenv("TZ", "UTC0", 1);
  tzset();
  ScriptedBmc::SelRecord panic{};
  panic[2] = 0xF0;  // the kernel's panic record: OEM bytes where a time would be
  for (int i = 3; i < 16; ++i) panic[size_t(i)] = uint8_t("Kernel panic!"[i - 3]);
  ScriptedBmc::SelRecord oemTimed = Boot(kT0);
  oemTimed[2] = 0xC1;  // OEM, timestamped
  const Bytes unknown = {0x80, 0x01, 0x02, 0x00, 0x00, 0x00};  // the stamp of "no date known"
  const Bytes t0 = {0x23, 0x11, 0x14, 0x22, 0x13, 0x20};
  struct Case {
    const char* what;
    std::vector<ScriptedBmc::SelRecord> records;
    Bytes expected;
  };
  const Case cases[] = {
      {"after a panic record", {panic, Boot(0x100)}, unknown},
      {"after an unspecified time", {Boot(0xFFFFFFFF), Boot(0x100)}, unknown},
      {"an unspecified time itself", {Boot(kT0), Boot(0xFFFFFFFF)}, t0},
      {"after a timestamped OEM record", {oemTimed, Boot(0x100)}, t0},
  };
  for (const Case& c : cases) {
    ScriptedBmc bmc;
    for (const auto& record : c.records) bmc.AddSel(record, kT0);
    SelLogSource source(bmc);
    LogSnapshot snapshot;
    ASSERT_EQ(source.Refresh(NoHandles(), &snapshot), 0) << c.what;
    ASSERT_GE(snapshot.records.size(), 8u) << c.what;
    EXPECT_EQ(LastTime(snapshot), c.expected) << c.what;
  }
}

}  // namespace
}  // namespace hwlinux::ipmi
