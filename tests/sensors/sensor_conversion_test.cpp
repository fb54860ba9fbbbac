// Conversions from the documented formulas: raw x 0.1f, raw x 0.001f, negative rails, marker.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "agent/sensors/sensor_conversion.h"

namespace vigil::test {
namespace {

uint32_t Bits(float f) { return std::bit_cast<uint32_t>(f); }

TEST(SensorConversionTest, FactorsAreTheDocumentedSinglePrecisionConstants) {
  // 0.1f and 0.001f are the factors; their bit patterns are fixed by the block format.
  EXPECT_EQ(Bits(0.1f), 0x3DCCCCCDu);
  EXPECT_EQ(Bits(0.001f), 0x3A83126Fu);
  EXPECT_EQ(Bits(kNoReading), 0xC97FFFF0u);
}

struct Case {
  uint16_t raw;
  float expected;
};

class TemperatureTest : public ::testing::TestWithParam<Case> {};
TEST_P(TemperatureTest, TenthsOfADegree) {
  EXPECT_EQ(Bits(ConvertTemperature(GetParam().raw)), Bits(GetParam().expected)) << GetParam().raw;
}
INSTANTIATE_TEST_SUITE_P(Raw, TemperatureTest,
                         ::testing::Values(Case{250, 25.0f}, Case{0, 0.0f}, Case{1, 0.1f},
                                           Case{855, 855.0f * 0.1f},
                                           // unsigned: a "negative" raw value is a big one
                                           Case{0xFFFF, 65535.0f * 0.1f},
                                           Case{0x8001, 32769.0f * 0.1f},
                                           Case{0x8000, -1048575.0f}));

// Voltage: the product of the raw value and 0.001f, rounded once to f32, is the reading; the
// decimal value a reader expects is within one ulp of it (3300 gives 3.3000002, not 3.3f).
struct VoltageCase {
  uint16_t raw;
  float formula;
  float decimal;
};
class VoltageTest : public ::testing::TestWithParam<VoltageCase> {};
TEST_P(VoltageTest, Millivolts) {
  const VoltageCase& c = GetParam();
  EXPECT_EQ(Bits(ConvertVoltage(c.raw)), Bits(c.formula)) << c.raw;
  EXPECT_FLOAT_EQ(ConvertVoltage(c.raw), c.decimal) << c.raw;
}
INSTANTIATE_TEST_SUITE_P(
    Raw, VoltageTest,
    ::testing::Values(VoltageCase{3300, 3300.0f * 0.001f, 3.3f},
                      VoltageCase{0, 0.0f, 0.0f},
                      VoltageCase{12000, 12000.0f * 0.001f, 12.0f},
                      VoltageCase{0x7FFE, 32766.0f * 0.001f, 32.766f},
                      // 0x7FFF and above: -(0xFFFF - raw) x 0.001f
                      VoltageCase{0xFC17, -(1000.0f * 0.001f), -1.0f},
                      VoltageCase{0xFFFF, -(0.0f * 0.001f), -0.0f},
                      VoltageCase{0x7FFF, -(32768.0f * 0.001f), -32.768f},
                      VoltageCase{0xD11F, -(12000.0f * 0.001f), -12.0f},
                      VoltageCase{0x8001, -(32766.0f * 0.001f), -32.766f},
                      VoltageCase{0x8000, -1048575.0f, -1048575.0f}));

TEST(SensorConversionTest, MinusZeroKeepsItsSign) {
  EXPECT_TRUE(std::signbit(ConvertVoltage(0xFFFF)));
  EXPECT_FALSE(std::signbit(ConvertVoltage(0)));
}

class FanTest : public ::testing::TestWithParam<Case> {};
TEST_P(FanTest, Unscaled) {
  EXPECT_EQ(Bits(ConvertFan(GetParam().raw)), Bits(GetParam().expected)) << GetParam().raw;
}
INSTANTIATE_TEST_SUITE_P(Raw, FanTest,
                         ::testing::Values(Case{3000, 3000.0f}, Case{0, 0.0f},
                                           Case{0xFFFF, 65535.0f}, Case{0x8000, -1048575.0f}));

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
                                           StatusCase{0xE0, 5}, StatusCase{0xFF, 5}));

}  // namespace
}  // namespace vigil::test
