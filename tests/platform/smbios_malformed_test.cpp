// Malformed tables: the parser must stay inside the 8192-byte buffer and come to an end.
// The buffers are exact-size heap blocks, so under ASan any read past them fails the test.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "inventory_snapshot.h"
#include "agent/platform/smbios_parser.h"
#include "smbios_builder.h"

namespace vigil::test {
namespace {

constexpr std::size_t kBuffer = 8192;
constexpr std::size_t kData = 20;

void PutU32(std::vector<uint8_t>* b, std::size_t at, uint32_t v) { std::memcpy(b->data() + at, &v, 4); }

std::vector<uint8_t> Header(uint32_t kind, uint32_t first, uint32_t second, uint32_t length) {
  std::vector<uint8_t> b(kBuffer, 0);
  PutU32(&b, 0, kind);
  PutU32(&b, 8, first);
  PutU32(&b, 12, second);
  PutU32(&b, 16, length);
  return b;
}

// A structure header at data offset `at`.
void PutStructure(std::vector<uint8_t>* b, std::size_t at, uint8_t type, uint8_t length, uint16_t handle) {
  (*b)[kData + at] = type;
  (*b)[kData + at + 1] = length;
  (*b)[kData + at + 2] = static_cast<uint8_t>(handle);
  (*b)[kData + at + 3] = static_cast<uint8_t>(handle >> 8);
}

class Malformed : public ::testing::TestWithParam<uint32_t> {  // the layout kind
 protected:
  void SetUp() override { ResetAgentState(); }
};

INSTANTIATE_TEST_SUITE_P(BothLayouts, Malformed, ::testing::Values(1u, 2u),
                         [](const auto& info) { return info.param == 2 ? "StringsApart" : "Standard"; });

TEST_P(Malformed, LengthsBelowTheHeaderEndTheWalk) {
  for (uint8_t length : {0, 1, 3}) {
    SCOPED_TRACE(static_cast<int>(length));
    auto b = Header(GetParam(), 0, 0, 0xFFFFFFFF);
    PutStructure(&b, 0, 28, length, 1);
    PutStructure(&b, 4, 28, 0x16, 2);  // would be a probe if the walk stepped on by the header
    auto s = ParseAndSnapshot(b);
    EXPECT_TRUE(s.temperatureProbes.empty());
  }
}

TEST_P(Malformed, HugeOffsetsAndLengthsReadNothingOutside) {
  // Every data byte is 0x1C, so whatever the walk meets is a type 28 structure of length 28
  // with handle 0x1C1C: a temperature probe and nothing else. In the strings-apart layout they
  // lie back to back (291 fit in the data area); in the standard layout the first one's
  // string-set never ends, so the walk cannot get past it.
  for (uint32_t first : {0u, 8171u, 8172u, 0x7FFFFFFFu, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
    for (uint32_t length : {0u, 1u, 8172u, 0xFFFFFFFFu}) {
      SCOPED_TRACE("first " + std::to_string(first) + " length " + std::to_string(length));
      auto b = Header(GetParam(), first, 0xFFFFFFFF, length);
      std::memset(b.data() + kData, 0x1C, kBuffer - kData);
      auto s = ParseAndSnapshot(b);
      EXPECT_TRUE(s.productName.empty());
      EXPECT_TRUE(s.voltageProbes.empty());
      EXPECT_TRUE(s.coolingDevices.empty());
      for (const ProbeValue& probe : s.temperatureProbes) {
        EXPECT_EQ(probe.handle, 0x1C1C);
        EXPECT_EQ(probe.locationAndStatus, 0x1C);
      }
      // A structure header needs 4 bytes inside the data area and a table at least 1 long.
      const bool headerInside = first <= kBuffer - kData - 4 && length > 0;
      std::size_t expected = 0;
      if (headerInside) expected = GetParam() == 2 && length > 28 ? 32 : 1;  // the list holds 32
      EXPECT_EQ(s.temperatureProbes.size(), expected);
    }
  }
}

TEST_P(Malformed, FormattedAreaRunningOffTheEnd) {
  // The last structure claims 0xFF bytes but only 6 remain: fields beyond the buffer are absent.
  const std::size_t at = kBuffer - kData - 6;
  auto b = Header(GetParam(), static_cast<uint32_t>(at), 0, 0xFFFFFFFF);
  PutStructure(&b, at, 27, 0xFF, 0x77);
  auto s = ParseAndSnapshot(b);
  EXPECT_EQ(s.coolingDevices, (std::vector<std::pair<uint16_t, uint32_t>>{{0x77, 0}}));
}

TEST_P(Malformed, HeaderCutByTheBufferEnd) {
  const std::size_t at = kBuffer - kData - 3;
  auto b = Header(GetParam(), static_cast<uint32_t>(at), 0, 0xFFFFFFFF);
  b[kData + at] = 26;
  b[kData + at + 1] = 0x16;
  auto s = ParseAndSnapshot(b);
  EXPECT_TRUE(s.voltageProbes.empty());
}

TEST(MalformedStandard, StringRunningOffTheEndIsCutThere) {
  ResetAgentState();
  const std::size_t structureLength = 0x19;
  const std::size_t at = kBuffer - kData - structureLength - 10;
  auto b = Header(1, static_cast<uint32_t>(at), 0, 0xFFFFFFFF);
  PutStructure(&b, at, 1, structureLength, 1);
  b[kData + at + 5] = 1;  // product name: string 1
  std::memset(b.data() + kData + at + structureLength, 'K', 10);  // no NUL before the end
  auto s = ParseAndSnapshot(b);
  EXPECT_EQ(s.productName, std::string(10, 'K'));
}

TEST(MalformedStandard, SetWithoutTerminatorAndManyStrings) {
  ResetAgentState();
  // One string after another until the buffer ends, never an empty one.
  auto b = Header(1, 0, 0, 0xFFFFFFFF);
  PutStructure(&b, 0, 26, 0x16, 1);
  b[kData + 4] = 200;  // description beyond the 32 strings that are read
  for (std::size_t i = kData + 0x16; i < kBuffer; ++i) b[i] = (i % 3 == 0) ? 0 : 'a';
  auto s = ParseAndSnapshot(b);
  ASSERT_EQ(s.voltageProbes.size(), 1u);
  EXPECT_EQ(s.voltageProbes[0].description, "** Error ** Bad string number");
}

TEST(MalformedStringsApart, TablesWithoutEndAndKeysRunningOff) {
  ResetAgentState();
  // The first string table fills the data area with keys that never end; the second lies
  // beyond the buffer.
  auto b = Header(2, 40, 0xFFFFFF00, 0x16);
  std::memset(b.data() + kData, '0', kBuffer - kData);
  PutStructure(&b, 40, 26, 0x16, 0x0030);
  b[kData + 44] = 1;
  auto s = ParseAndSnapshot(b);
  ASSERT_EQ(s.voltageProbes.size(), 1u);
  EXPECT_EQ(s.voltageProbes[0].description, "** Error ** No string for this ");
}

TEST(MalformedStringsApart, MatchingEntryCutByTheBufferEnd) {
  ResetAgentState();
  auto b = Header(2, 0, 0x20, 0x16);
  PutStructure(&b, 0, 28, 0x16, 0x0030);
  b[kData + 4] = 3;
  const char entry[] = "0030\0one\0two";  // string 3 would lie past the buffer end
  std::memcpy(b.data() + kBuffer - (sizeof entry - 1), entry, sizeof entry - 1);
  PutU32(&b, 12, static_cast<uint32_t>(kBuffer - kData - (sizeof entry - 1)));
  auto s = ParseAndSnapshot(b);
  ASSERT_EQ(s.temperatureProbes.size(), 1u);
  EXPECT_EQ(s.temperatureProbes[0].description, "** Error ** Bad string number");
}

// Random buffers, some with plausible structure headers: every parse ends and stays inside.
TEST(MalformedRandom, RandomTablesParseWithinTheBuffer) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 1000; ++round) {
    std::vector<uint8_t> b(kBuffer);
    for (auto& byte : b) byte = static_cast<uint8_t>(random());
    const uint32_t kinds[] = {1, 2};
    PutU32(&b, 0, kinds[round % 2]);
    PutU32(&b, 8, random() % 64);
    PutU32(&b, 12, random() % 9000);
    PutU32(&b, 16, round % 7 == 0 ? 0xFFFFFFFF : random() % 9000);
    // Sprinkle headers of the types the parser takes, with small lengths.
    const uint8_t types[] = {1, 5, 15, 17, 26, 27, 28, 0x85};
    for (std::size_t at = kData + (random() % 64); at + 2 < kBuffer; at += 4 + random() % 40) {
      b[at] = types[random() % 8];
      b[at + 1] = static_cast<uint8_t>(4 + random() % 30);
      if (random() % 4 == 0) b[at + 5 < kBuffer ? at + 4 : at] = 0;
    }
    ParseAndSnapshot(b);
    ASSERT_LE(gInventory.voltageProbeCount, kMaxProbes);
    ASSERT_LE(gInventory.temperatureProbeCount, kMaxProbes);
    ASSERT_LE(gInventory.coolingDeviceCount, kMaxCoolingDevices);
    ASSERT_LT(strnlen(gInventory.productName, sizeof gInventory.productName), sizeof gInventory.productName);
  }
}

}  // namespace
}  // namespace vigil::test
