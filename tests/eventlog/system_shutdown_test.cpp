#include "eventlog_fixture.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "agent/shutdown/system_shutdown.h"

namespace vigil::test {
namespace {

struct TriggerCase {
  uint32_t enabled;
  uint32_t overTemp;
  uint32_t newRecord;
  bool powersOff;
};

class ShutdownTest : public EventLogTest {};

TEST_F(ShutdownTest, PowersOffOnlyWithAllThreeConditions) {
  const TriggerCase cases[] = {
      {1, 170, 238, true},  {0xFFFFFFFF, 170, 238, true}, {0, 170, 238, false},
      {1, 0, 238, false},   {1, 170, 0, false},           {1, 171, 238, false},
      {1, 170, 239, false}, {0, 0, 0, false},
  };
  std::size_t expected = 0;
  for (const TriggerCase& c : cases) {
    block::StoreU32(block_.data(), block::kCpuOverTempShutdown, c.enabled);
    gOverTempMarker = c.overTemp;
    gNewRecordMarker = c.newRecord;
    CheckShutdownTrigger();
    if (c.powersOff) ++expected;
    EXPECT_EQ(PowerOffLines().size(), expected) << c.enabled << " " << c.overTemp << " " << c.newRecord;
  }
  const auto lines = PowerOffLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines[0].find("CPU temperature is too high!"), std::string::npos);
}

}  // namespace
}  // namespace vigil::test
