// The driver's dispatch of one call: the agent's codes answered exactly as the core answers
// them, the private codes checked for every length and value a user-mode caller can send.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "contract/driver_protocol.h"
#include "contract/le_bytes.h"
#include "control/control_codes.h"
#include "core/event_log.h"
#include "driver_test_support.h"

namespace {

using drivertest::Call;
using drivertest::LogRequest;
using drivertest::SensorCommand;
using hwsim::Core;
using hwsim::control::Outcome;
namespace control = hwsim::control;

constexpr uint32_t kMethodNeither = 3;

std::vector<uint8_t> U32(uint32_t value) {
  std::vector<uint8_t> bytes(4);
  vigil::le::Store32(bytes.data(), value);
  return bytes;
}

std::vector<uint8_t> Fail(uint32_t count, uint32_t onlyCode) {
  std::vector<uint8_t> bytes = U32(count);
  std::vector<uint8_t> code = U32(onlyCode);
  bytes.insert(bytes.end(), code.begin(), code.end());
  return bytes;
}

std::vector<uint8_t> Image(const control::TableImage& image) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&image);
  return std::vector<uint8_t>(bytes, bytes + sizeof(image));
}

std::unique_ptr<control::TableImage> ImageOf(const Core& core) {
  auto image = std::make_unique<control::TableImage>();
  image->sensorCount = core.sensorCount;
  image->logCapacity = core.logCapacity;
  image->smbiosFails = core.smbiosFails;
  std::memcpy(image->sensors, core.sensors, sizeof(image->sensors));
  std::memcpy(image->smbios, core.smbios, sizeof(image->smbios));
  return image;
}

// The core answer to one call, with the zero-filled buffer the core's contract asks for.
drivertest::Answer CoreAnswer(Core& core, uint32_t code, const std::vector<uint8_t>& input,
                              uint32_t outLength) {
  std::vector<uint8_t> buffer(std::max<size_t>(input.size(), outLength), 0);
  std::copy(input.begin(), input.end(), buffer.begin());
  uint32_t returned = 0;
  bool ok = hwsim::Serve(core, code, buffer.data(), static_cast<uint32_t>(input.size()), outLength, &returned);
  return {ok ? Outcome::kOk : Outcome::kRefused, returned,
          std::vector<uint8_t>(buffer.begin(), buffer.begin() + returned)};
}

TEST(DeviceControl, AgentCodesAnswerByteForByteAsTheCoreDespitePoolJunk) {
  auto driver = drivertest::ScenarioCore("kelvo-b720.json");
  auto reference = drivertest::ScenarioCore("kelvo-b720.json");
  ASSERT_TRUE(driver && reference);
  struct Case { uint32_t code; std::vector<uint8_t> input; uint32_t outLength; };
  std::vector<Case> cases = {{vigil::kIoctlReadSmbiosTable, {}, vigil::kSmbiosTableSize},
                             {vigil::kIoctlReadSmbiosTable, {}, vigil::kSmbiosTableSize - 1}};
  for (uint32_t position = 0; position <= driver->logLength + 1; ++position) {
    cases.push_back({vigil::kIoctlReadEventLog, LogRequest(static_cast<uint16_t>(position), 68, driver->firstRecordTime), 76});
  }
  cases.push_back({vigil::kIoctlReadEventLog, LogRequest(0, 68), 75});
  for (uint32_t i = 0; i < driver->sensorCount; ++i) {
    cases.push_back({vigil::kIoctlDeviceCommand, SensorCommand(driver->sensors[i].handle), 260});
  }
  cases.push_back({vigil::kIoctlDeviceCommand, SensorCommand(0x7777), 260});
  // A 4-byte command header with a 260-byte answer: the core reads zeros where the pool had junk.
  cases.push_back({vigil::kIoctlDeviceCommand, {0x51, 0, 0x40, 0}, 260});
  // The alert writes no answer: without the zero fill the caller would read back pool memory.
  cases.push_back({vigil::kIoctlDeviceCommand, {0x54, 0, 0, 0}, 260});
  cases.push_back({0x80002008, {}, 16});  // a buffered code of the device that nobody defined

  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.code << " out " << std::dec << c.outLength);
    drivertest::Answer got = Call(*driver, c.code, c.input, c.outLength);
    drivertest::Answer want = CoreAnswer(*reference, c.code, c.input, c.outLength);
    EXPECT_EQ(got.outcome, want.outcome);
    EXPECT_EQ(got.returned, want.returned);
    EXPECT_EQ(got.output, want.output);
  }
  EXPECT_EQ(std::memcmp(&driver->stats, &reference->stats, sizeof(hwsim::Stats)), 0);
}

TEST(DeviceControl, OnlyBufferedCodesReachTheBuffer) {
  auto core = drivertest::ScenarioCore("kelvo-b720.json");
  ASSERT_TRUE(core);
  // METHOD_NEITHER would hand the driver user addresses; it must not look at them at all.
  for (uint32_t method = 1; method <= kMethodNeither; ++method) {
    std::vector<uint8_t> guard(64, 0xAB);
    uint32_t returned = 7;
    EXPECT_EQ(control::HandleDeviceControl(*core, vigil::kIoctlReadSmbiosTable | method, guard.data(), 8,
                                           64, &returned),
              Outcome::kUnknownCode);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(guard, std::vector<uint8_t>(64, 0xAB));
  }
  EXPECT_EQ(core->stats.rejectedCalls, 0u);
}

TEST(DeviceControl, NullBufferOnlyWithNoLengths) {
  auto core = drivertest::EmptyCore();
  uint32_t returned = 1;
  EXPECT_EQ(control::HandleDeviceControl(*core, vigil::kIoctlReadSmbiosTable, nullptr, 0, 8192, &returned),
            Outcome::kBadLength);
  EXPECT_EQ(control::HandleDeviceControl(*core, control::kIoctlSnapshot, nullptr, 0, 0, &returned),
            Outcome::kBadLength);
  EXPECT_EQ(control::HandleDeviceControl(*core, control::kIoctlReset, nullptr, 0, 0, &returned), Outcome::kOk);
  EXPECT_EQ(control::HandleDeviceControl(*core, vigil::kIoctlReadSmbiosTable, nullptr, 0, 0, &returned),
            Outcome::kRefused);
  EXPECT_EQ(returned, 0u);
}

TEST(DeviceControl, PrivateCodesRefuseEveryOtherLengthAndChangeNothing) {
  struct Code { uint32_t code; uint32_t in; uint32_t out; };
  const std::vector<Code> codes = {
      {control::kIoctlReset, 0, 0},        {control::kIoctlLoadTable, sizeof(control::TableImage), 0},
      {control::kIoctlClearLog, 4, 0},     {control::kIoctlSetSensor, sizeof(control::SensorUpdate), 0},
      {control::kIoctlFailNext, sizeof(control::FailRequest), 0}, {control::kIoctlMalformed, 4, 0},
      {control::kIoctlSnapshot, 0, sizeof(Core)}};
  auto core = drivertest::ScenarioCore("kelvo-c850.json");
  auto untouched = drivertest::ScenarioCore("kelvo-c850.json");
  ASSERT_TRUE(core && untouched);
  for (const Code& c : codes) {
    for (uint32_t in : {c.in + 1, c.in == 0 ? 1u : c.in - 1, 0u, 4096u}) {
      for (uint32_t out : {c.out == 0 ? 4u : c.out - 1, 0u}) {
        if (in == c.in && (out == c.out || (c.out != 0 && out > c.out))) continue;
        SCOPED_TRACE(testing::Message() << std::hex << c.code << std::dec << " in " << in << " out " << out);
        drivertest::Answer answer = Call(*core, c.code, std::vector<uint8_t>(in, 0), out);
        EXPECT_EQ(answer.outcome, Outcome::kBadLength);
        EXPECT_EQ(answer.returned, 0u);
      }
    }
  }
  EXPECT_TRUE(drivertest::SameState(*core, *untouched));
}

TEST(DeviceControl, LoadTableRefusesSlotsThatWouldReadOutsideTheTable) {
  auto source = drivertest::ScenarioCore("kelvo-b720.json");
  ASSERT_TRUE(source);
  auto core = drivertest::ScenarioCore("kelvo-a140.json");
  auto untouched = drivertest::ScenarioCore("kelvo-a140.json");
  using Spoil = void (*)(control::TableImage&);
  const std::vector<std::pair<const char*, Spoil>> spoils = {
      {"too many slots", [](control::TableImage& i) { i.sensorCount = hwsim::kMaxSensors + 1; }},
      {"count beyond the slots", [](control::TableImage& i) { i.sensorCount = 0xFFFFFFFF; }},
      {"offset past the end", [](control::TableImage& i) { i.sensors[0].offset = 8190; }},
      {"length past the end", [](control::TableImage& i) { i.sensors[1].offset = 8192 - 200; i.sensors[1].length = 201; }},
      {"offset in the header", [](control::TableImage& i) { i.sensors[2].offset = 4; }},
      {"not a sensor type", [](control::TableImage& i) { i.sensors[3].structureType = 17; }},
      {"fail flag not 0 or 1", [](control::TableImage& i) { i.smbiosFails = 2; }},
      {"capacity beyond 16-bit positions", [](control::TableImage& i) { i.logCapacity = 0x10000; }},
      {"capacity below the log it holds", [](control::TableImage& i) { i.logCapacity = 10; }},
  };
  for (const auto& [what, spoil] : spoils) {
    SCOPED_TRACE(what);
    auto image = ImageOf(*source);
    spoil(*image);
    EXPECT_EQ(Call(*core, control::kIoctlLoadTable, Image(*image), 0).outcome, Outcome::kBadInput);
    EXPECT_TRUE(drivertest::SameState(*core, *untouched));
  }
  // The last slot may end exactly at the buffer's end.
  auto image = ImageOf(*source);
  image->sensors[0].offset = 8192 - image->sensors[0].length;
  EXPECT_EQ(Call(*core, control::kIoctlLoadTable, Image(*image), 0).outcome, Outcome::kOk);
  drivertest::Answer read = Call(*core, vigil::kIoctlDeviceCommand, SensorCommand(image->sensors[0].handle), 260);
  EXPECT_EQ(read.outcome, Outcome::kOk);
}

TEST(DeviceControl, AppendRecordTakesOnlyWholeRecordsThatFit) {
  auto core = drivertest::ScenarioCore("kelvo-b720.json");
  ASSERT_TRUE(core);
  const uint32_t length = core->logLength;
  drivertest::Answer ok = Call(*core, control::kIoctlAppendRecord, {0x10, 0x04, 0x00, 0x00}, 4);
  ASSERT_EQ(ok.outcome, Outcome::kOk);
  EXPECT_EQ(ok.returned, 4u);
  EXPECT_EQ(vigil::le::Load32(ok.output.data()), length);
  EXPECT_EQ(Call(*core, control::kIoctlAppendRecord, {0x10, 0x04, 0x00, 0x00}, 0).outcome, Outcome::kOk);
  EXPECT_EQ(core->logLength, length + 8);

  EXPECT_EQ(Call(*core, control::kIoctlAppendRecord, {0x10}, 4).outcome, Outcome::kBadLength);
  // A record longer than one log exchange carries could never be read back.
  std::vector<uint8_t> tooLong(hwsim::kMaxRecordLength + 1, 0x00);
  tooLong[1] = static_cast<uint8_t>(tooLong.size());
  EXPECT_EQ(Call(*core, control::kIoctlAppendRecord, tooLong, 4).outcome, Outcome::kBadLength);
  EXPECT_EQ(Call(*core, control::kIoctlAppendRecord, {0x10, 0x05, 0x00, 0x00}, 4).outcome, Outcome::kBadInput);
  EXPECT_EQ(Call(*core, control::kIoctlAppendRecord, {0x10, 0x00}, 4).outcome, Outcome::kBadInput);
  EXPECT_EQ(Call(*core, control::kIoctlAppendRecord, {0x10, 0x04, 0x00, 0x00}, 3).outcome, Outcome::kBadLength);
  EXPECT_EQ(core->logLength, length + 8);

  // Fill the 4080-byte area; the record that no longer fits is refused whole.
  std::vector<uint8_t> big(hwsim::kMaxRecordLength, 0);
  big[1] = static_cast<uint8_t>(big.size());
  while (core->logCapacity - core->logLength >= big.size()) {
    ASSERT_EQ(Call(*core, control::kIoctlAppendRecord, big, 0).outcome, Outcome::kOk);
  }
  const uint32_t full = core->logLength;
  EXPECT_EQ(Call(*core, control::kIoctlAppendRecord, big, 0).outcome, Outcome::kBadInput);
  EXPECT_EQ(core->logLength, full);
}

TEST(DeviceControl, SensorAndFaultControls) {
  auto core = drivertest::ScenarioCore("kelvo-b720.json");
  ASSERT_TRUE(core);
  control::SensorUpdate update = {0x40, 1234, 0xA3};
  const auto* bytes = reinterpret_cast<const uint8_t*>(&update);
  std::vector<uint8_t> input(bytes, bytes + sizeof(update));
  ASSERT_EQ(Call(*core, control::kIoctlSetSensor, input, 0).outcome, Outcome::kOk);
  drivertest::Answer read = Call(*core, vigil::kIoctlDeviceCommand, SensorCommand(0x40), 260);
  ASSERT_EQ(read.outcome, Outcome::kOk);
  EXPECT_EQ(vigil::le::Load16(read.output.data() + 4 + vigil::kProbeRawWord), 1234);
  EXPECT_EQ(read.output[4 + vigil::kProbeStatusByte], 0xA3);
  update.handle = 0x7777;
  input.assign(bytes, bytes + sizeof(update));
  EXPECT_EQ(Call(*core, control::kIoctlSetSensor, input, 0).outcome, Outcome::kBadInput);

  EXPECT_EQ(Call(*core, control::kIoctlMalformed, U32(3), 0).outcome, Outcome::kBadInput);
  EXPECT_EQ(Call(*core, control::kIoctlMalformed, U32(0xFFFFFFFF), 0).outcome, Outcome::kBadInput);
  EXPECT_EQ(Call(*core, control::kIoctlMalformed, U32(2), 0).outcome, Outcome::kOk);
  EXPECT_EQ(core->malformed, hwsim::Malformed::kOverrun);

  // Injected failures hit the agent's calls only: the controls keep working meanwhile.
  ASSERT_EQ(Call(*core, control::kIoctlFailNext, Fail(2, 0), 0).outcome, Outcome::kOk);
  EXPECT_EQ(Call(*core, control::kIoctlSnapshot, {}, sizeof(Core)).outcome, Outcome::kOk);
  EXPECT_EQ(Call(*core, vigil::kIoctlReadSmbiosTable, {}, 8192).outcome, Outcome::kRefused);
  EXPECT_EQ(Call(*core, control::kIoctlClearLog, U32(99), 0).outcome, Outcome::kOk);
  EXPECT_EQ(Call(*core, vigil::kIoctlReadSmbiosTable, {}, 8192).outcome, Outcome::kRefused);
  EXPECT_EQ(Call(*core, vigil::kIoctlReadSmbiosTable, {}, 8192).outcome, Outcome::kOk);
  EXPECT_EQ(core->stats.injectedFailures, 2u);
  EXPECT_EQ(core->firstRecordTime, 99u);
  EXPECT_EQ(core->logLength, 0u);

  // Aimed at sensor commands, the failures leave the table reads alone.
  ASSERT_EQ(Call(*core, control::kIoctlFailNext, Fail(1, vigil::kIoctlDeviceCommand), 0).outcome, Outcome::kOk);
  EXPECT_EQ(Call(*core, vigil::kIoctlReadSmbiosTable, {}, 8192).outcome, Outcome::kOk);
  EXPECT_EQ(Call(*core, vigil::kIoctlDeviceCommand, SensorCommand(0x40), 260).outcome, Outcome::kRefused);
  EXPECT_EQ(Call(*core, vigil::kIoctlDeviceCommand, SensorCommand(0x40), 260).outcome, Outcome::kOk);
}

TEST(DeviceControl, SnapshotIsTheWholeCoreAndResetEmptiesIt) {
  auto core = drivertest::ScenarioCore("kelvo-c850.json");
  ASSERT_TRUE(core);
  drivertest::Answer snapshot = Call(*core, control::kIoctlSnapshot, {}, sizeof(Core) + 100);
  ASSERT_EQ(snapshot.outcome, Outcome::kOk);
  ASSERT_EQ(snapshot.returned, sizeof(Core));
  EXPECT_EQ(std::memcmp(snapshot.output.data(), core.get(), sizeof(Core)), 0);

  EXPECT_EQ(Call(*core, control::kIoctlReset, {}, 0).outcome, Outcome::kOk);
  EXPECT_TRUE(drivertest::SameState(*core, *drivertest::EmptyCore()));
}

// Whatever a user-mode caller sends, the core stays one that the agent's codes can walk.
TEST(DeviceControl, RandomCallsKeepTheCoreWhole) {
  auto core = drivertest::ScenarioCore("kelvo-b720.json");
  ASSERT_TRUE(core);
  std::mt19937 random(20240607);
  const uint32_t codes[] = {control::kIoctlReset,         control::kIoctlLoadTable, control::kIoctlClearLog,
                            control::kIoctlAppendRecord,  control::kIoctlSetSensor, control::kIoctlFailNext,
                            control::kIoctlMalformed,     control::kIoctlSnapshot,  vigil::kIoctlReadSmbiosTable,
                            vigil::kIoctlReadEventLog,    vigil::kIoctlDeviceCommand, control::PrivateCode(0x908)};
  auto image = ImageOf(*core);
  for (int round = 0; round < 20000; ++round) {
    uint32_t code = codes[random() % std::size(codes)];
    uint32_t in = random() % 300, out = random() % 300;
    if (random() % 8 == 0) in = sizeof(control::TableImage);
    if (random() % 8 == 0) out = static_cast<uint32_t>(random() % 2 ? sizeof(Core) : 8192);
    std::vector<uint8_t> input(in);
    for (uint8_t& b : input) b = static_cast<uint8_t>(random());
    if (in == sizeof(control::TableImage) && random() % 2) {
      // A mostly valid image with a few bytes changed reaches the slot checks.
      input = Image(*image);
      for (int k = 0; k < 3; ++k) input[random() % 2000] = static_cast<uint8_t>(random());
    }
    if (code == control::kIoctlAppendRecord && in >= 2 && random() % 2) input[1] = static_cast<uint8_t>(in);
    drivertest::Answer answer = Call(*core, code, input, out, static_cast<uint8_t>(random()));
    ASSERT_LE(answer.returned, out);
    ASSERT_LE(core->sensorCount, hwsim::kMaxSensors);
    ASSERT_LE(core->logLength, core->logCapacity);
    ASSERT_LE(core->logCapacity, hwsim::kMaxLogBytes);
    for (uint32_t i = 0; i < core->sensorCount; ++i) {
      ASSERT_LE(core->sensors[i].offset + core->sensors[i].length, vigil::kSmbiosTableSize);
    }
  }
  // Every record still has a length the log walk can step by.
  uint32_t at = 0;
  while (at < core->logLength) {
    uint32_t length = core->log[at + 1] & 0x7F;
    ASSERT_GE(length, hwsim::kMinRecordLength);
    at += length;
  }
  EXPECT_EQ(at, core->logLength);
}

}  // namespace
