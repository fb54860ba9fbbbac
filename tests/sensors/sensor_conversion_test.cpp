// Conversions from the documented formulas: raw x 0.1f, raw x 0.001f, negative rails, marker.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

#include "agent/sensors/sensor_conversion.h"
#include "support/test_name.h"

namespace vigil::test {
namespace {

uint32_t Bits(float f) { return std::bit_cast<uint32_t>(f); }

TEST(SensorConversionTest, FactorsAreTheDocumentedSinglePrecisionConstants) {
  // 0.1f and 0.001f are the factors; their bit patterns are fixed by the block format.
  EXPECT_EQ(Bits(0.1f), 0x3DCCCCCDu);
  EXPECT_EQ(Bits(0.001f), 0x3A83126Fu);
  EXPECT_EQ(Bits(kNoReading), 0xC97FFFF0u);
}

// Expected readings are bit patterns worked out by hand: the exact product of the raw value and
// the factor's true value (0x3DCCCCCD is 0.100000001490116..., 0x3A83126F is
// 0.00100000004749745...), rounded once to the nearest f32. That is why 912 gives 91.200005
// and 3300 gives 3.3000002 rather than the decimal a reader expects.
struct Case {
  const char* name;
  uint16_t raw;
  uint32_t bits;
};
std::string CaseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

class TemperatureTest : public ::testing::TestWithParam<Case> {};
TEST_P(TemperatureTest, TenthsOfADegree) {
  EXPECT_EQ(Bits(ConvertTemperature(GetParam().raw)), GetParam().bits) << GetParam().raw;
}
INSTANTIATE_TEST_SUITE_P(Raw, TemperatureTest,
                         ::testing::Values(Case{"r250", 250, 0x41C80000},     // 25.0
                                           Case{"r0", 0, 0x00000000},         // 0.0
                                           Case{"r1", 1, 0x3DCCCCCD},         // 0.1f itself
                                           Case{"r855", 855, 0x42AB0000},     // 85.5 exactly
                                           Case{"r912", 912, 0x42B66667},     // 91.200005
                                           // unsigned: a "negative" raw value is a big one
                                           Case{"rFFFF", 0xFFFF, 0x45CCCC00},  // 6553.5
                                           Case{"r8001", 0x8001, 0x454CCE67},  // 3276.9001
                                           Case{"no_reading", 0x8000, 0xC97FFFF0}),
                         CaseName);

// Voltage: below 0x7FFF raw x 0.001f; 0x7FFF and above -(0xFFFF - raw) x 0.001f.
class VoltageTest : public ::testing::TestWithParam<Case> {};
TEST_P(VoltageTest, Millivolts) {
  EXPECT_EQ(Bits(ConvertVoltage(GetParam().raw)), GetParam().bits) << GetParam().raw;
}
INSTANTIATE_TEST_SUITE_P(
    Raw, VoltageTest,
    ::testing::Values(Case{"r3300", 3300, 0x40533334},    // 3.3000002
                      Case{"r0", 0, 0x00000000},          // +0.0
                      Case{"r12000", 12000, 0x41400001},  // 12.000001
                      Case{"r7FFE", 0x7FFE, 0x42031063},  // 32.766003, the largest positive
                      Case{"rFC17", 0xFC17, 0xBF800000},  // -1.0 exactly
                      Case{"rFFFF", 0xFFFF, 0x80000000},  // -0.0
                      Case{"r7FFF", 0x7FFF, 0xC203126F},  // -32.768, the first negative
                      Case{"rD11F", 0xD11F, 0xC1400001},  // -12.000001
                      Case{"r8001", 0x8001, 0xC2031063},  // -32.766003
                      Case{"no_reading", 0x8000, 0xC97FFFF0}),
    CaseName);

TEST(SensorConversionTest, MinusZeroKeepsItsSign) {
  EXPECT_TRUE(std::signbit(ConvertVoltage(0xFFFF)));
  EXPECT_FALSE(std::signbit(ConvertVoltage(0)));
}

class FanTest : public ::testing::TestWithParam<Case> {};
TEST_P(FanTest, Unscaled) {
  EXPECT_EQ(Bits(ConvertFan(GetParam().raw)), GetParam().bits) << GetParam().raw;
}
INSTANTIATE_TEST_SUITE_P(Raw, FanTest,
                         ::testing::Values(Case{"r3000", 3000, 0x453B8000}, Case{"r0", 0, 0x00000000},
                                           Case{"rFFFF", 0xFFFF, 0x477FFF00},
                                           Case{"no_reading", 0x8000, 0xC97FFFF0}),
                         CaseName);

struct StatusCase {
  uint8_t status;
  uint16_t state;
};
class StatusTest : public ::testing::TestWithParam<StatusCase> {};
TEST_P(StatusTest, BitsSevenToFiveGiveTheState) {
  EXPECT_EQ(StateFromStatus(GetParam().status), GetParam().state) << int(GetParam().status);
}
INSTANTIATE_TEST_SUITE_P(Status, StatusTest,
                         ::testing::Values(StatusCase{0x60, 0}, StatusCase{0x7F, 0},   // OK
                                           StatusCase{0x40, 1},                        // unknown
                                           StatusCase{0xA3, 2},                        // critical
                                           StatusCase{0x83, 3},                        // non-critical
                                           StatusCase{0xC1, 4},                        // non-recoverable
                                           StatusCase{0x20, 5},                        // other
                                           StatusCase{0x00, 5}, StatusCase{0x1F, 5},   // reserved
                                           StatusCase{0xE0, 5}, StatusCase{0xFF, 5}),
                         [](const auto& info) { return TestName("status", info.param.status); });

}  // namespace
}  // namespace vigil::test
