// Command blocks (0x51 sensor reads, 0x54 alerts), SMBIOS reads, injected failures and
// buffers that are too short.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/smbios_builder.h"
#include "core_fixture.h"
#include "scenario/structure_list.h"

namespace {

using hwsim::OwnedStructure;

constexpr uint16_t kVoltage = 0x40, kTemperature = 0x50, kFan = 0x60;

std::unique_ptr<hwsim::Core> SensorServer() {
  auto core = simtest::NewCore();
  std::vector<uint8_t> probe(18);
  for (size_t i = 0; i < probe.size(); ++i) probe[i] = uint8_t(0xB0 + i);  // recognisable bytes
  std::vector<uint8_t> fan(10);
  for (size_t i = 0; i < fan.size(); ++i) fan[i] = uint8_t(0xC0 + i);
  std::vector<OwnedStructure> list = {{26, kVoltage, probe, {"+12V"}, 1},
                                      {28, kTemperature, probe, {"CPU"}, 1},
                                      {27, kFan, fan, {}, 1},
                                      {17, 0x11, std::vector<uint8_t>(23, 0), {"DIMM1"}, 1}};
  uint32_t failed;
  EXPECT_EQ(hwsim::BuildTable(*core, hwsim::Layout::kStandard, list, &failed), hwsim::BuildResult::kOk);
  return core;
}

bool Command(hwsim::Core& core, uint16_t code, uint16_t argument, std::vector<uint8_t>* block) {
  block->assign(260, 0xEE);
  (*block)[0] = uint8_t(code);
  (*block)[1] = uint8_t(code >> 8);
  (*block)[2] = uint8_t(argument);
  (*block)[3] = uint8_t(argument >> 8);
  uint32_t returned = 1234;
  bool ok = hwsim::Serve(core, vigil::kIoctlDeviceCommand, block->data(), 260, 260, &returned);
  EXPECT_EQ(returned, ok ? 260u : 0u);
  return ok;
}

uint16_t Word(const std::vector<uint8_t>& block, size_t at) { return uint16_t(block[at] | block[at + 1] << 8); }

struct SensorCase {
  uint16_t handle;
  uint8_t type;
  size_t statusAt;   // in the response area
  size_t rawAt;
  uint8_t length;
};

TEST(SensorCommand, ResponseMirrorsTheStructureWithTheCurrentReading) {
  const SensorCase cases[] = {{kVoltage, 26, 5, 20, 22}, {kTemperature, 28, 5, 20, 22}, {kFan, 27, 6, 12, 14}};
  auto core = SensorServer();
  for (const SensorCase& c : cases) {
    SCOPED_TRACE(c.handle);
    ASSERT_TRUE(hwsim::SetSensor(*core, c.handle, 0xFC17, 0xA3));
    std::vector<uint8_t> block;
    ASSERT_TRUE(Command(*core, 0x51, c.handle, &block));
    const uint8_t* response = block.data() + 4;
    EXPECT_EQ(response[0], c.type);
    EXPECT_EQ(response[1], c.length);
    EXPECT_EQ(Word(block, 4 + 2), c.handle);
    EXPECT_EQ(response[c.statusAt], 0xA3);
    EXPECT_EQ(Word(block, 4 + c.rawAt), 0xFC17);
    // The other bytes of the formatted area are the structure's; the rest of the area is zero.
    uint8_t base = c.type == 27 ? 0xC0 : 0xB0;
    EXPECT_EQ(response[4], base);
    EXPECT_EQ(response[7], uint8_t(base + 3));
    for (size_t i = c.length; i < 256; ++i) ASSERT_EQ(response[i], 0) << i;
  }
  EXPECT_EQ(core->stats.sensorReads, 3u);
}

TEST(SensorCommand, UnknownOrNonSensorHandleFailsAndLeavesTheBlock) {
  auto core = SensorServer();
  for (uint16_t handle : {uint16_t(0x11), uint16_t(0x9999)}) {
    std::vector<uint8_t> block;
    EXPECT_FALSE(Command(*core, 0x51, handle, &block));
    EXPECT_EQ(block[10], 0xEE);
  }
  EXPECT_EQ(core->stats.rejectedCalls, 2u);
  EXPECT_FALSE(hwsim::SetSensor(*core, 0x11, 1, 1));
}

TEST(Commands, AlertIsCountedAndOtherCodesFail) {
  auto core = SensorServer();
  std::vector<uint8_t> block;
  EXPECT_TRUE(Command(*core, 0x54, 0, &block));
  EXPECT_TRUE(Command(*core, 0x54, 0, &block));
  EXPECT_EQ(block[4], 0xEE);  // nothing to answer
  EXPECT_FALSE(Command(*core, 0x52, kVoltage, &block));
  EXPECT_EQ(core->stats.alerts, 2u);
  EXPECT_EQ(core->stats.sensorReads, 0u);
}

TEST(Faults, FailNextCountsDownOverEveryCode) {
  auto core = SensorServer();
  hwsim::FailNext(*core, 3);
  std::vector<uint8_t> table(8192);
  uint32_t returned;
  std::vector<uint8_t> block;
  EXPECT_FALSE(hwsim::Serve(*core, vigil::kIoctlReadSmbiosTable, table.data(), 0, 8192, &returned));
  EXPECT_FALSE(Command(*core, 0x51, kFan, &block));
  uint8_t log[76] = {0, 0, 0, 0, 0, 0, 68, 0};
  EXPECT_FALSE(hwsim::Serve(*core, vigil::kIoctlReadEventLog, log, 8, 76, &returned));
  EXPECT_TRUE(Command(*core, 0x51, kFan, &block));
  EXPECT_EQ(core->stats.injectedFailures, 3u);
  EXPECT_EQ(core->stats.sensorReads, 1u);
}

TEST(Faults, FailNextForOneCodeLetsTheOthersThrough) {
  auto core = SensorServer();
  hwsim::FailNext(*core, 2, vigil::kIoctlDeviceCommand);
  std::vector<uint8_t> block;
  uint8_t log[76] = {0, 0, 0, 0, 0, 0, 68, 0};
  uint32_t returned;
  // A log poll between two sensor reads does not use up the count.
  EXPECT_FALSE(Command(*core, 0x51, kFan, &block));
  EXPECT_TRUE(hwsim::Serve(*core, vigil::kIoctlReadEventLog, log, 8, 76, &returned));
  EXPECT_FALSE(Command(*core, 0x51, kVoltage, &block));
  EXPECT_TRUE(Command(*core, 0x51, kFan, &block));
  EXPECT_EQ(core->stats.injectedFailures, 2u);
}

struct ShortCall {
  const char* name;
  uint32_t code;
  uint32_t inLength;
  uint32_t outLength;
};

TEST(Calls, ShortBuffersAndUnknownCodesAreRefusedWithoutTouchingThem) {
  const ShortCall cases[] = {
      {"table into 8191 bytes", vigil::kIoctlReadSmbiosTable, 0, 8191},
      {"log request of 7 bytes", vigil::kIoctlReadEventLog, 7, 76},
      {"log answer into 75 bytes", vigil::kIoctlReadEventLog, 8, 75},
      {"command of 3 bytes", vigil::kIoctlDeviceCommand, 3, 260},
      {"command answer into 259 bytes", vigil::kIoctlDeviceCommand, 260, 259},
      {"unknown code", 0x80002000, 260, 260},
  };
  auto core = SensorServer();
  for (const ShortCall& c : cases) {
    SCOPED_TRACE(c.name);
    // Sized exactly as the caller claims, so a sanitiser catches any access beyond it.
    std::vector<uint8_t> buffer(std::max(c.inLength, c.outLength), 0x5A);
    if (buffer.size() >= 4) buffer[0] = 0x51, buffer[1] = 0, buffer[2] = kFan, buffer[3] = 0;
    std::vector<uint8_t> before = buffer;
    uint32_t returned = 7;
    EXPECT_FALSE(hwsim::Serve(*core, c.code, buffer.data(), c.inLength, c.outLength, &returned));
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(buffer, before);
  }
}

TEST(Calls, SmbiosReadCopiesTheTableOrFailsWhenAskedTo) {
  auto core = SensorServer();
  std::vector<uint8_t> table(8192, 0);
  uint32_t returned;
  ASSERT_TRUE(hwsim::Serve(*core, vigil::kIoctlReadSmbiosTable, table.data(), 0, 8192, &returned));
  EXPECT_EQ(returned, 8192u);
  EXPECT_EQ(0, std::memcmp(table.data(), core->smbios, 8192));
  core->smbiosFails = true;
  EXPECT_FALSE(hwsim::Serve(*core, vigil::kIoctlReadSmbiosTable, table.data(), 0, 8192, &returned));
  EXPECT_EQ(core->stats.smbiosReads, 1u);
}

}  // namespace
