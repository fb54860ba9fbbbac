// The control handler: what each control code does, and that nothing runs once handling is closed.
#include <string>
#include <vector>

#include "service/service_fixture.h"
#include "shared/block_access.h"

namespace vigil {
namespace {

const char kUnrecognized[] = "ERROR: ServiceCtrlHandler: Unrecognized CtrlCode";

class ControlHandlerTest : public test::ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    block_.assign(block::kSize, 0);
    gBlock = block_.data();
  }

  std::vector<uint8_t> block_;
};

class StopControlTest : public ControlHandlerTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(StopControlTest, SetsStopEventAndStopPending) {
  ServiceCtrlHandler(GetParam());
  EXPECT_TRUE(StopSignalled());
  EXPECT_EQ(CurrentServiceState(), os::kServiceStopPending);
  EXPECT_EQ(Boxes(kUnrecognized), 0u);
}

INSTANTIATE_TEST_SUITE_P(StopAndShutdown, StopControlTest, ::testing::Values(1u, 5u));

TEST_F(ControlHandlerTest, InterrogateChangesNothing) {
  ServiceCtrlHandler(4);
  EXPECT_FALSE(StopSignalled());
  EXPECT_EQ(CurrentServiceState(), os::kServiceRunning);
  EXPECT_EQ(Boxes(kUnrecognized), 0u);
}

TEST_F(ControlHandlerTest, Code128ReloadsBothParameters) {
  SeedParameters(1, 1);
  block::StoreU32(gBlock, block::kCpuOverTempShutdown, 0);
  ServiceCtrlHandler(128);
  EXPECT_EQ(block::LoadU32(gBlock, block::kCpuOverTempShutdown), 1u);
  EXPECT_EQ(block::LoadU32(gBlock, block::kClearEventLogEnabled), 1u);
  EXPECT_EQ(CurrentServiceState(), os::kServiceRunning);
  EXPECT_FALSE(StopSignalled());
}

class UnrecognizedControlTest : public ControlHandlerTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(UnrecognizedControlTest, ShowsOneBoxAndKeepsRunning) {
  ServiceCtrlHandler(GetParam());
  EXPECT_EQ(Boxes(kUnrecognized), 1u);
  EXPECT_EQ(CurrentServiceState(), os::kServiceRunning);
  EXPECT_FALSE(StopSignalled());
}

INSTANTIATE_TEST_SUITE_P(Codes, UnrecognizedControlTest,
                         ::testing::Values(0u, 2u, 3u, 6u, 127u, 129u, 255u, 0xFFFFFFFFu));

// Once teardown has closed control handling, a late signal must not reach the block (which
// may be freed), the stop event (which may be closed) or the status (already STOPPED).
class ClosedHandlingTest : public ControlHandlerTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(ClosedHandlingTest, IgnoresEveryControl) {
  SeedParameters(1, 1);
  ASSERT_EQ(CloseControlHandling(), 0);
  ServiceCtrlHandler(GetParam());
  EXPECT_FALSE(StopSignalled());
  EXPECT_EQ(CurrentServiceState(), os::kServiceRunning);
  EXPECT_EQ(block::LoadU32(gBlock, block::kCpuOverTempShutdown), 0u);
  EXPECT_EQ(Boxes(kUnrecognized), 0u);
}

INSTANTIATE_TEST_SUITE_P(Codes, ClosedHandlingTest, ::testing::Values(1u, 4u, 5u, 128u, 200u));

}  // namespace
}  // namespace vigil

namespace vigil {
namespace {

// A STOP that comes while the service is still starting (no stop event yet) is not lost: the
// stop event is created already set, so the cycle ends after its start-up.
TEST_F(ControlHandlerTest, StopBeforeTheStopEventExistsIsKept) {
  os::CloseHandle(gStopEvent);
  gStopEvent = nullptr;
  ServiceCtrlHandler(1);
  ASSERT_EQ(InitServiceStatus(), 0);
  ASSERT_NE(gStopEvent, nullptr);
  EXPECT_TRUE(StopSignalled());
}

TEST_F(ControlHandlerTest, StatusInitialisationFillsTheRecord) {
  os::CloseHandle(gStopEvent);
  gStopEvent = nullptr;
  ASSERT_EQ(InitServiceStatus(), 0);
  EXPECT_EQ(gServiceStatus.serviceType, 0x30u);
  EXPECT_EQ(gServiceStatus.currentState, os::kServiceRunning);
  EXPECT_EQ(gServiceStatus.controlsAccepted, 5u);
  EXPECT_EQ(gServiceStatus.win32ExitCode, 0u);
  EXPECT_EQ(gServiceStatus.serviceSpecificExitCode, 0u);
  EXPECT_EQ(gServiceStatus.checkPoint, 0u);
  EXPECT_EQ(gServiceStatus.waitHint, 0u);
  EXPECT_FALSE(StopSignalled());
}

}  // namespace
}  // namespace vigil
