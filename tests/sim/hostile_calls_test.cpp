// Arbitrary calls from a hostile caller: any code, any lengths, any bytes, with the faults
// armed. The buffer is sized exactly as the lengths claim, so a sanitiser sees any stray
// access; every answer must stay inside what the caller allowed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/event_log.h"
#include "core_fixture.h"
#include "scenario/scenario_loader.h"
#include "support/sandbox.h"

namespace {

TEST(HostileCalls, AnswersStayInsideTheCallersBuffer) {
  auto core = simtest::NewCore();
  std::string error;
  ASSERT_TRUE(hwsim::LoadScenarioFile(vigil::test::SourcePath("fixtures/scenarios/kelvo-c850.json").c_str(),
                                      core.get(), &error)) << error;
  std::mt19937 random(20240311);
  const uint32_t codes[] = {vigil::kIoctlReadSmbiosTable, vigil::kIoctlReadEventLog, vigil::kIoctlDeviceCommand,
                            0x80002008, 0};
  const uint32_t lengths[] = {0, 1, 3, 4, 7, 8, 75, 76, 77, 259, 260, 261, 8191, 8192, 9000};
  for (int i = 0; i < 3000; ++i) {
    uint32_t code = codes[random() % 5];
    uint32_t in = lengths[random() % 15], out = lengths[random() % 15];
    std::vector<uint8_t> buffer(std::max(in, out));
    for (uint8_t& b : buffer) b = uint8_t(random());
    if (random() % 4 == 0 && buffer.size() >= 4) buffer[0] = 0x51, buffer[1] = 0;
    if (random() % 50 == 0) hwsim::FailNext(*core, random() % 3);
    if (random() % 20 == 0) hwsim::SetMalformed(*core, random() % 2 ? hwsim::Malformed::kOverrun : hwsim::Malformed::kZeroLength);
    uint32_t returned = 0xFFFFFFFF;
    bool ok = hwsim::Serve(*core, code, buffer.data(), in, out, &returned);
    ASSERT_LE(returned, out);
    if (!ok) {
      ASSERT_EQ(returned, 0u);
    }
  }
  // The model is still whole: the log and the sensors answer as before.
  EXPECT_EQ(hwsim::CountLogRecords(*core), 14u);
  EXPECT_EQ(core->sensorCount, 17u);
}

TEST(HostileCalls, LogWalkOverEveryPositionAndRoomEndsOnABoundary) {
  auto core = simtest::NewCore();
  std::string error;
  ASSERT_TRUE(hwsim::LoadScenarioFile(vigil::test::SourcePath("fixtures/scenarios/kelvo-b720.json").c_str(),
                                      core.get(), &error)) << error;
  std::vector<uint32_t> boundaries;
  for (uint32_t at = 0; at < core->logLength; at += core->log[at + 1] & 0x7F) boundaries.push_back(at);
  boundaries.push_back(core->logLength);
  for (uint32_t position = 0; position <= 0xFFFF; position += (position < 400 ? 1 : 997)) {
    for (uint32_t room : {0u, 8u, 12u, 16u, 67u, 68u, 255u}) {
      uint8_t record[76] = {};
      std::memcpy(record, &core->firstRecordTime, 4);  // a request for the log as it stands
      record[4] = uint8_t(position);
      record[5] = uint8_t(position >> 8);
      record[6] = uint8_t(room);
      uint32_t returned;
      ASSERT_TRUE(hwsim::Serve(*core, vigil::kIoctlReadEventLog, record, 8, 76, &returned));
      uint32_t answered = record[4] | record[5] << 8;
      ASSERT_NE(std::find(boundaries.begin(), boundaries.end(), answered), boundaries.end()) << position;
      ASSERT_GE(answered, std::min(position, core->logLength));
      ASSERT_LE(record[6], std::min(room, 68u));
      ASSERT_LE(answered + record[6], core->logLength);
    }
  }
}

}  // namespace
