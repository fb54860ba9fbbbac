// The control handler: what each code does, and nothing at all once handling is closed.
#include <vector>

#include "contract/registry_paths.h"
#include "service/service_fixture.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"

namespace vigil {
namespace {

const char kUnrecognized[] = "ERROR: ServiceCtrlHandler: Unrecognized CtrlCode";

class ControlHandlerTest : public test::ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    gBlock = block_.data();
    const std::string path = std::string(kParametersBasePath) + kAgentParameterSubkey;
    os::RegHandle key = nullptr;
    ASSERT_EQ(os::RegCreateKey(path.c_str(), os::kKeyAllAccess, &key), os::kErrorSuccess);
    const uint32_t one = 1;
    os::RegSetValue(key, kCpuOverTempShutdownValue, os::kRegDword, &one, sizeof one);
    os::RegCloseKey(key);
  }
  bool Reloaded() { return block::LoadU32(gBlock, block::kCpuOverTempShutdown) == 1; }

  std::vector<uint8_t> block_ = std::vector<uint8_t>(block::kSize);
};

TEST_F(ControlHandlerTest, CodeTable) {
  struct Case { uint32_t code; bool stops, reloads, box; };
  const Case cases[] = {{1, true, false, false},   {5, true, false, false},  {4, false, false, false},
                        {128, false, true, false}, {0, false, false, true},  {2, false, false, true},
                        {3, false, false, true},   {127, false, false, true}, {129, false, false, true},
                        {0xFFFFFFFF, false, false, true}};
  for (const Case& c : cases) {
    os::ResetEvent(gStopEvent);
    gServiceStatus.currentState = os::kServiceRunning;
    block_.assign(block::kSize, 0);
    const std::size_t boxesBefore = Boxes(kUnrecognized);
    ServiceCtrlHandler(c.code);
    EXPECT_EQ(StopSignalled(), c.stops) << c.code;
    EXPECT_EQ(CurrentServiceState(), c.stops ? os::kServiceStopPending : os::kServiceRunning) << c.code;
    EXPECT_EQ(Reloaded(), c.reloads) << c.code;
    EXPECT_EQ(Boxes(kUnrecognized) - boxesBefore, c.box ? 1u : 0u) << c.code;
  }
}

// After teardown began, a late signal must reach neither the block (maybe freed), the stop
// event (maybe closed) nor the status (maybe STOPPED already).
TEST_F(ControlHandlerTest, ClosedHandlingIgnoresEveryCode) {
  ASSERT_EQ(CloseControlHandling(), 0);
  for (uint32_t code : {1u, 5u, 128u, 200u}) ServiceCtrlHandler(code);
  EXPECT_FALSE(StopSignalled());
  EXPECT_EQ(CurrentServiceState(), os::kServiceRunning);
  EXPECT_FALSE(Reloaded());
  EXPECT_EQ(Boxes(kUnrecognized), 0u);
}

TEST_F(ControlHandlerTest, StopBeforeTheStopEventExistsIsKept) {
  os::CloseHandle(gStopEvent);
  gStopEvent = nullptr;
  ServiceCtrlHandler(1);
  ASSERT_EQ(InitServiceStatus(), 0);
  EXPECT_TRUE(StopSignalled());
}

}  // namespace
}  // namespace vigil
