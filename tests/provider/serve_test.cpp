// The provider's Serve over a scripted PlatformSource: what each control code answers, and a
// source whose log breaks off in a bad record.
#include <gtest/gtest.h>

#include <vector>

#include "contract/driver_protocol.h"
#include "provider/log_answer.h"
#include "provider/serve.h"

namespace {

using Bytes = std::vector<uint8_t>;

class ScriptedSource final : public hwgate::PlatformSource {
 public:
  Bytes table = Bytes(vigil::kSmbiosTableSize, 0xAB);
  Bytes log;
  Bytes structure;
  bool tableReadable = true;
  int alerts = 0;
  int logsOpen = 0;

  const uint8_t* Table() override { return tableReadable ? table.data() : nullptr; }
  bool Log(hwgate::LogView* out) override {
    ++logsOpen;
    *out = {log.data(), uint32_t(log.size()), 0x01020304};
    return true;
  }
  void LogDone() override { --logsOpen; }
  bool Sensor(uint16_t handle, hwgate::SensorView* out) override {
    if (handle != 0x0040) return false;
    *out = {structure.data(), uint32_t(structure.size()), 28, 0x63, 0x01F4};
    return true;
  }
  void Alert() override { ++alerts; }
};

bool Call(ScriptedSource& source, uint32_t code, Bytes* buffer, uint32_t inLength, uint32_t* returned) {
  return hwgate::Serve(source, code, buffer->data(), inLength, uint32_t(buffer->size()), returned);
}

TEST(Serve, AnswersEachCodeFromTheSource) {
  ScriptedSource source;
  source.structure = {28, 22, 0x40, 0x00, 1, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  uint32_t returned = 0;

  Bytes table(8192);
  ASSERT_TRUE(Call(source, vigil::kIoctlReadSmbiosTable, &table, 0, &returned));
  EXPECT_EQ(returned, 8192u);
  EXPECT_EQ(table, source.table);

  // Command 0x51 for handle 0x0040: the structure, its status byte at 5 and raw word at 20.
  Bytes block(260);
  block[0] = 0x51;
  block[2] = 0x40;
  ASSERT_TRUE(Call(source, vigil::kIoctlDeviceCommand, &block, 4, &returned));
  EXPECT_EQ(returned, 260u);
  EXPECT_EQ(Bytes(block.begin() + 4, block.begin() + 26),
            (Bytes{28, 22, 0x40, 0x00, 1, 0x63, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF4, 0x01}));

  Bytes alert(260);
  alert[0] = 0x54;
  ASSERT_TRUE(Call(source, vigil::kIoctlDeviceCommand, &alert, 4, &returned));
  EXPECT_EQ(source.alerts, 1);
}

TEST(Serve, RefusesWhatTheSourceOrTheBuffersCannotTake) {
  ScriptedSource source;
  uint32_t returned = 7;
  Bytes shortTable(8191);
  EXPECT_FALSE(Call(source, vigil::kIoctlReadSmbiosTable, &shortTable, 0, &returned));
  EXPECT_EQ(returned, 0u);
  source.tableReadable = false;
  Bytes table(8192);
  EXPECT_FALSE(Call(source, vigil::kIoctlReadSmbiosTable, &table, 0, &returned));
  Bytes unknownHandle = {0x51, 0, 0x41, 0};
  unknownHandle.resize(260);
  EXPECT_FALSE(Call(source, vigil::kIoctlDeviceCommand, &unknownHandle, 4, &returned));
  Bytes unknownCommand = {0x52, 0, 0x40, 0};
  unknownCommand.resize(260);
  EXPECT_FALSE(Call(source, vigil::kIoctlDeviceCommand, &unknownCommand, 4, &returned));
  Bytes shortLogBuffer(75);
  EXPECT_FALSE(Call(source, vigil::kIoctlReadEventLog, &shortLogBuffer, 8, &returned));
  EXPECT_FALSE(Call(source, 0x80002008, &table, 0, &returned));
}

// A record of 8 bytes, then one whose length byte says 0: only the first is ever served, and
// the answer ends there instead of looping on the bad record.
TEST(Serve, LogAnswerStopsBeforeABadRecord) {
  ScriptedSource source;
  source.log = {0x10, 0x08, 1, 2, 3, 4, 5, 6, 0x17, 0x00, 0xEE, 0xEE};
  EXPECT_EQ(hwgate::ServableLogLength(source.log.data(), uint32_t(source.log.size())), 8u);
  Bytes record(76);
  record[6] = 68;  // room; position 0 of another log (time 0)
  uint32_t returned = 0;
  ASSERT_TRUE(Call(source, vigil::kIoctlReadEventLog, &record, 8, &returned));
  EXPECT_EQ(returned, 76u);
  EXPECT_EQ(Bytes(record.begin(), record.begin() + 16),
            (Bytes{0x04, 0x03, 0x02, 0x01, 0x00, 0x00, 8, 0, 0x10, 0x08, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(source.logsOpen, 0);
  // Asked from the bad record's position: nothing more, and no more to come.
  record.assign(76, 0);
  record[0] = 0x04, record[1] = 0x03, record[2] = 0x02, record[3] = 0x01, record[4] = 8, record[6] = 68;
  ASSERT_TRUE(Call(source, vigil::kIoctlReadEventLog, &record, 8, &returned));
  EXPECT_EQ(Bytes(record.begin() + 4, record.begin() + 8), (Bytes{8, 0, 0, 0}));
}

}  // namespace
