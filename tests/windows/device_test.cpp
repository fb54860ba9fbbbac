// The device channel on the Win32 backend: the missing driver, and in-process devices.
#include "os/win32/win32_api.h"  // <windows.h> without the macros that hide port names

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "contract/driver_protocol.h"
#include "os/os.h"
#include "../support/test_name.h"  // this target has no tests/ include path

namespace vigil::wintest {
namespace {

// What the scripted device saw, and what it answers.
struct Script {
  std::vector<uint8_t> seen;  // the working buffer at the call, up to max(inLen, outLen)
  uint32_t inLen = 0;
  uint32_t outLen = 0;
  uint8_t fill = 0x77;        // written over the first `answer` bytes
  uint32_t answer = 0;
  uint32_t claimed = 0;       // the byte count it reports
  bool ok = true;
  int calls = 0;
};

bool ScriptedDevice(void* context, uint32_t, const void* in, uint32_t inLen, void* out,
                    uint32_t outLen, uint32_t* returned) {
  auto* s = static_cast<Script*>(context);
  ++s->calls;
  s->inLen = inLen;
  s->outLen = outLen;
  const uint32_t span = inLen > outLen ? inLen : outLen;
  s->seen.assign(static_cast<const uint8_t*>(in), static_cast<const uint8_t*>(in) + span);
  std::memset(out, s->fill, s->answer);
  *returned = s->claimed;
  return s->ok;
}

constexpr const char* kTestDevice = "\\\\.\\VigilTestDevice";

class LocalDevice : public ::testing::Test {
 protected:
  void SetUp() override { os::RegisterLocalDevice(kTestDevice, ScriptedDevice, &script_); }
  void TearDown() override { os::RegisterLocalDevice(kTestDevice, nullptr, nullptr); }
  Script script_;
};

TEST_F(LocalDevice, BufferStartsAsTheInputZeroFilledToTheOutputLength) {
  os::Handle device = os::OpenDevice(kTestDevice);
  ASSERT_NE(device, nullptr);
  const uint8_t request[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  uint8_t response[76];
  std::memset(response, 0xEE, sizeof response);
  script_.answer = 0;
  script_.claimed = 0;
  uint32_t returned = 99;
  ASSERT_TRUE(os::DeviceIoControl(device, kIoctlReadEventLog, request, 8, response, 76, &returned));
  EXPECT_EQ(script_.inLen, 8u);
  EXPECT_EQ(script_.outLen, 76u);
  ASSERT_EQ(script_.seen.size(), 76u);
  EXPECT_EQ(std::memcmp(script_.seen.data(), request, 8), 0);
  for (std::size_t i = 8; i < 76; ++i) ASSERT_EQ(script_.seen[i], 0) << i;
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(response[0], 0xEE) << "nothing returned, nothing copied";
  os::CloseHandle(device);
}

struct CopyCase {
  const char* what;
  uint32_t outLen;
  uint32_t answer;
  uint32_t claimed;
  uint32_t wantReturned;
};
class CopyBack : public LocalDevice, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(CopyBack, OnlyTheReturnedBytesWithinTheOutputReachTheCaller) {
  const CopyCase& c = GetParam();
  script_.answer = c.answer;
  script_.claimed = c.claimed;
  os::Handle device = os::OpenDevice(kTestDevice);
  std::vector<uint8_t> out(c.outLen + 32, 0xEE);
  uint32_t returned = 0;
  ASSERT_TRUE(os::DeviceIoControl(device, 1, nullptr, 0, out.data(), c.outLen, &returned));
  EXPECT_EQ(returned, c.wantReturned) << c.what;
  for (std::size_t i = 0; i < out.size(); ++i) {
    ASSERT_EQ(out[i], i < c.wantReturned ? 0x77 : 0xEE) << c.what << " at " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, CopyBack,
    ::testing::Values(CopyCase{"all", 260, 260, 260, 260}, CopyCase{"part", 260, 260, 10, 10},
                      CopyCase{"claims more than the output", 16, 16, 5000, 16},
                      CopyCase{"no output", 0, 0, 8, 0}),
    [](const auto& info) { return vigil::test::TestName(info.param.what); });

TEST_F(LocalDevice, SameBufferInAndOutAsTheCommandBlockIsSent) {
  std::vector<uint8_t> block(kCommandBlockSize, 0);
  block[0] = kCommandReadSensor;
  script_.answer = 0;
  script_.claimed = kCommandBlockSize;
  os::Handle device = os::OpenDevice(kTestDevice);
  ASSERT_TRUE(os::DeviceIoControl(device, kIoctlDeviceCommand, block.data(), kCommandBlockSize,
                                  block.data(), kCommandBlockSize, nullptr));
  EXPECT_EQ(block[0], kCommandReadSensor) << "the device's unchanged buffer comes back whole";
}

TEST_F(LocalDevice, FailureAndRemoval) {
  os::Handle device = os::OpenDevice(kTestDevice);
  script_.ok = false;
  script_.answer = 4;
  script_.claimed = 4;
  uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  uint32_t returned = 9;
  EXPECT_FALSE(os::DeviceIoControl(device, 1, nullptr, 0, out, sizeof out, &returned));
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(out[0], 0xEE) << "a failed request hands no bytes back";
  os::RegisterLocalDevice(kTestDevice, nullptr, nullptr);
  EXPECT_FALSE(os::DeviceIoControl(device, 1, nullptr, 0, out, sizeof out, nullptr));
  EXPECT_EQ(os::OpenDevice(kTestDevice), nullptr);
  os::CloseHandle(device);  // a slot, not a kernel handle: closing it must be harmless
  // Buffers that do not match their lengths are refused before anybody sees them.
  os::RegisterLocalDevice(kTestDevice, ScriptedDevice, &script_);
  device = os::OpenDevice(kTestDevice);
  const int before = script_.calls;
  EXPECT_FALSE(os::DeviceIoControl(device, 1, nullptr, 8, out, sizeof out, nullptr));
  EXPECT_FALSE(os::DeviceIoControl(device, 1, out, 4, nullptr, 8, nullptr));
  EXPECT_EQ(script_.calls, before);
}

// Two threads on one handle (the service thread and the request thread do that): the device
// sees one call at a time.
std::atomic<int> gInside{0};
std::atomic<int> gMostInside{0};
bool SlowDevice(void*, uint32_t, const void*, uint32_t, void*, uint32_t, uint32_t* returned) {
  const int now = ++gInside;
  if (now > gMostInside) gMostInside = now;
  Sleep(5);
  --gInside;
  *returned = 0;
  return true;
}

TEST(Device, LocalDeviceServesOneCallAtATime) {
  constexpr const char* kSlow = "\\\\.\\VigilSlowDevice";
  os::RegisterLocalDevice(kSlow, SlowDevice, nullptr);
  static os::Handle device = os::OpenDevice(kSlow);
  ASSERT_NE(device, nullptr);
  static os::Handle done = os::CreateUnnamedEvent(true, false);
  ASSERT_TRUE(os::StartThread([](void*) {
    for (int i = 0; i < 20; ++i) os::DeviceIoControl(device, 1, nullptr, 0, nullptr, 0, nullptr);
    os::SetEvent(done);
  }, nullptr));
  for (int i = 0; i < 20; ++i) os::DeviceIoControl(device, 1, nullptr, 0, nullptr, 0, nullptr);
  ASSERT_EQ(os::WaitForEvent(done, 10000), os::WaitResult::kSignaled);
  EXPECT_EQ(gMostInside.load(), 1);
  os::RegisterLocalDevice(kSlow, nullptr, nullptr);
  os::CloseHandle(done);
}

TEST(Device, MissingDeviceAndBadHandles) {
  EXPECT_EQ(os::OpenDevice("\\\\.\\VigilNoSuchDevice"), nullptr);
  EXPECT_EQ(os::OpenDevice(nullptr), nullptr);
  uint32_t returned = 5;
  uint8_t out[4];
  EXPECT_FALSE(os::DeviceIoControl(nullptr, 1, nullptr, 0, out, 4, &returned));
  EXPECT_EQ(returned, 0u);
}

}  // namespace
}  // namespace vigil::wintest
