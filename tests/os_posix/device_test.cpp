#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "frame_server.h"
#include "os/os.h"
#include "support/sandbox.h"
#include "support/test_name.h"

namespace {

using vigil::test::FrameServer;
using vigil::test::Sandbox;

constexpr const char* kDriver = "\\\\.\\HwGate";

std::string Reversed(const FrameServer::Request& request) {
  std::string out(request.input.rbegin(), request.input.rend());
  out.resize(std::min<std::size_t>(out.size(), request.header.outLength));
  return FrameServer::Response(true, out);
}

TEST(DeviceSocket, ExchangeCopiesBackOnlyTheReturnedBytes) {
  Sandbox sandbox;
  FrameServer server(sandbox.Path("run/hwgate.sock"), [](const auto& request, bool*) {
    EXPECT_EQ(request.header.magic, vigil::frames::kRequestMagic);
    if (request.header.code == 0x80002018u) {
      EXPECT_EQ(request.header.outLength, 16u);
      EXPECT_EQ(request.header.inLength, 3u);
    }
    return Reversed(request);
  });
  os::Handle device = os::OpenDevice(kDriver);
  ASSERT_NE(device, nullptr);
  unsigned char out[16];
  std::memset(out, 0xEE, sizeof out);
  uint32_t returned = 99;
  ASSERT_TRUE(os::DeviceIoControl(device, 0x80002018u, "abc", 3, out, sizeof out, &returned));
  EXPECT_EQ(returned, 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "cba");
  for (std::size_t i = 3; i < sizeof out; ++i) EXPECT_EQ(out[i], 0xEE) << i;
  // In and out may be one buffer, as the agent's log exchange uses it.
  char inPlace[8] = "wxyz";
  ASSERT_TRUE(os::DeviceIoControl(device, 1, inPlace, 4, inPlace, sizeof inPlace, nullptr));
  EXPECT_EQ(std::string(inPlace, 4), "zyxw");
  os::CloseHandle(device);
}

TEST(DeviceSocket, ProviderRefusalFailsTheCallButKeepsTheConnection) {
  Sandbox sandbox;
  std::atomic<int> calls{0};
  FrameServer server(sandbox.Path("run/hwgate.sock"), [&](const auto& request, bool*) {
    return ++calls == 1 ? FrameServer::Response(false, "") : Reversed(request);
  });
  os::Handle device = os::OpenDevice(kDriver);
  ASSERT_NE(device, nullptr);
  char out[4] = {};
  uint32_t returned = 7;
  EXPECT_FALSE(os::DeviceIoControl(device, 1, "ab", 2, out, sizeof out, &returned));
  EXPECT_EQ(returned, 0u);
  EXPECT_TRUE(os::DeviceIoControl(device, 1, "ab", 2, out, sizeof out, &returned));
  EXPECT_EQ(server.connections(), 1);
  os::CloseHandle(device);
}

struct BrokenReply {
  const char* what;
  std::string bytes;
  bool close;
};

class BrokenReplyTest : public ::testing::TestWithParam<BrokenReply> {};

TEST_P(BrokenReplyTest, FailsWithoutTouchingTheBufferAndTheNextCallReconnects) {
  Sandbox sandbox;
  std::atomic<int> calls{0};
  const BrokenReply& broken = GetParam();
  FrameServer server(sandbox.Path("run/hwgate.sock"), [&](const auto& request, bool* close) {
    if (++calls > 1) return Reversed(request);
    *close = broken.close;
    return broken.bytes;
  });
  os::Handle device = os::OpenDevice(kDriver);
  ASSERT_NE(device, nullptr);
  unsigned char out[8];
  std::memset(out, 0xEE, sizeof out);
  uint32_t returned = 5;
  EXPECT_FALSE(os::DeviceIoControl(device, 1, "abcdefgh", 8, out, sizeof out, &returned));
  EXPECT_EQ(returned, 0u);
  for (unsigned char byte : out) EXPECT_EQ(byte, 0xEE);
  EXPECT_TRUE(os::DeviceIoControl(device, 1, "abcdefgh", 8, out, sizeof out, &returned));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 8), "hgfedcba");
  EXPECT_EQ(server.connections(), 2);
  os::CloseHandle(device);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, BrokenReplyTest,
    ::testing::Values(
        BrokenReply{"closed without a reply", "", true},
        BrokenReply{"half a header", FrameServer::Header(vigil::frames::kResponseMagic, 1, 4).substr(0, 8), true},
        BrokenReply{"payload cut short", FrameServer::Header(vigil::frames::kResponseMagic, 1, 8) + "abc", true},
        BrokenReply{"wrong magic", FrameServer::Header(0x12345678, 1, 0), false},
        BrokenReply{"more than the buffer", FrameServer::Header(vigil::frames::kResponseMagic, 1, 9) + std::string(9, 'x'), false},
        BrokenReply{"announces gigabytes", FrameServer::Header(vigil::frames::kResponseMagic, 1, 0xFFFFFFF0u), false}),
    [](const auto& info) { return vigil::test::TestName(info.param.what); });

TEST(DeviceSocket, ProviderGoneBetweenCallsRaisesNoSigpipe) {
  Sandbox sandbox;
  auto previous = signal(SIGPIPE, SIG_DFL);  // a SIGPIPE would end this test program
  FrameServer server(sandbox.Path("run/hwgate.sock"), [](const auto& request, bool* close) {
    *close = true;
    return Reversed(request);
  });
  os::Handle device = os::OpenDevice(kDriver);
  ASSERT_NE(device, nullptr);
  std::string big(60000, 'q');
  std::vector<char> out(60000);
  ASSERT_TRUE(os::DeviceIoControl(device, 1, big.data(), 60000, out.data(), 60000, nullptr));
  os::SleepMs(50);  // the provider has closed by now
  os::DeviceIoControl(device, 1, big.data(), 60000, out.data(), 60000, nullptr);
  // Straight after an answer the provider may still be closing: this call can write into the
  // dying connection, which must fail the call, never raise SIGPIPE.
  os::DeviceIoControl(device, 1, big.data(), 60000, out.data(), 60000, nullptr);
  os::SleepMs(50);
  EXPECT_TRUE(os::DeviceIoControl(device, 1, big.data(), 60000, out.data(), 60000, nullptr));
  os::CloseHandle(device);
  signal(SIGPIPE, previous);
}

// Providers end idle connections: the call after that must not be the one that finds out.
TEST(DeviceSocket, AConnectionClosedWhileIdleIsReplacedBeforeTheCall) {
  Sandbox sandbox;
  FrameServer server(sandbox.Path("run/hwgate.sock"), [](const auto& request, bool* close) {
    *close = true;
    return Reversed(request);
  });
  os::Handle device = os::OpenDevice(kDriver);
  ASSERT_NE(device, nullptr);
  char out[4] = {};
  for (int call = 0; call < 3; ++call) {
    EXPECT_TRUE(os::DeviceIoControl(device, 1, "abc", 3, out, sizeof out, nullptr)) << call;
    os::SleepMs(50);  // the provider has closed by now
  }
  EXPECT_EQ(server.connections(), 3);
  os::CloseHandle(device);
}

TEST(DeviceSocket, TwoThreadsOnOneHandleGetTheirOwnAnswers) {
  Sandbox sandbox;
  FrameServer server(sandbox.Path("run/hwgate.sock"), [](const auto& request, bool*) {
    return FrameServer::Response(true, request.input);
  });
  os::Handle device = os::OpenDevice(kDriver);
  ASSERT_NE(device, nullptr);
  std::atomic<int> mismatches{0};
  auto worker = [&](char tag) {
    for (int i = 0; i < 300; ++i) {
      std::string in(1 + (i * 37) % 2000, tag);
      std::vector<char> out(in.size());
      uint32_t returned = 0;
      if (!os::DeviceIoControl(device, 1, in.data(), uint32_t(in.size()), out.data(),
                               uint32_t(out.size()), &returned) ||
          returned != in.size() || std::string(out.data(), returned) != in) {
        ++mismatches;
      }
    }
  };
  std::thread a(worker, 'a');
  std::thread b(worker, 'b');
  a.join();
  b.join();
  EXPECT_EQ(mismatches.load(), 0);
  os::CloseHandle(device);
}

TEST(DeviceSocket, AbsentProviderOrMalformedPathGivesNoHandle) {
  Sandbox sandbox;
  EXPECT_EQ(os::OpenDevice(kDriver), nullptr);
  for (const char* path : {"HwGate", "\\\\.\\", "\\\\.\\..", "\\\\.\\a/b", "\\\\.\\a\\b",
                           "\\\\?\\HwGate", "//./HwGate"}) {
    EXPECT_EQ(os::OpenDevice(path), nullptr) << path;
  }
  EXPECT_EQ(os::OpenDevice(nullptr), nullptr);
}

TEST(DeviceSocket, BadArgumentsFailBeforeAnyExchange) {
  Sandbox sandbox;
  FrameServer server(sandbox.Path("run/hwgate.sock"),
                     [](const auto& request, bool*) { return Reversed(request); });
  os::Handle device = os::OpenDevice(kDriver);
  ASSERT_NE(device, nullptr);
  char out[4];
  EXPECT_FALSE(os::DeviceIoControl(device, 1, nullptr, 4, out, 4, nullptr));
  EXPECT_FALSE(os::DeviceIoControl(device, 1, "ab", 2, nullptr, 4, nullptr));
  std::vector<char> huge(vigil::frames::kMaxPayload + 1);
  EXPECT_FALSE(os::DeviceIoControl(device, 1, huge.data(), uint32_t(huge.size()), out, 4, nullptr));
  EXPECT_FALSE(os::DeviceIoControl(nullptr, 1, "ab", 2, out, 4, nullptr));
  EXPECT_TRUE(os::DeviceIoControl(device, 1, nullptr, 0, out, 4, nullptr));
  os::CloseHandle(device);
}

struct LocalSeen {
  std::string buffer;
  bool sameBuffer = false;
  uint32_t claim = 0;
};

bool ServeLocal(void* context, uint32_t, const void* in, uint32_t inLen, void* out,
                uint32_t outLen, uint32_t* returned) {
  auto* seen = static_cast<LocalSeen*>(context);
  seen->sameBuffer = in == out;
  seen->buffer.assign(static_cast<const char*>(in), std::max(inLen, outLen));
  std::memset(out, 'R', outLen);
  *returned = seen->claim;
  return true;
}

TEST(LocalDevice, ServesOnAZeroFilledCopyAndBoundsTheReturnedCount) {
  Sandbox sandbox;
  LocalSeen seen;
  seen.claim = 1000;  // more than the caller's buffer
  os::RegisterLocalDevice("\\\\.\\HwGate", ServeLocal, &seen);
  os::Handle device = os::OpenDevice("\\\\.\\HWGATE");
  ASSERT_NE(device, nullptr);
  char out[8];
  std::memset(out, 'x', sizeof out);
  uint32_t returned = 0;
  ASSERT_TRUE(os::DeviceIoControl(device, 7, "ab", 2, out, 6, &returned));
  EXPECT_TRUE(seen.sameBuffer);
  EXPECT_EQ(seen.buffer, std::string("ab\0\0\0\0", 6));
  EXPECT_EQ(returned, 6u);
  EXPECT_EQ(std::string(out, 8), "RRRRRRxx");
  seen.claim = 2;
  std::memset(out, 'x', sizeof out);
  ASSERT_TRUE(os::DeviceIoControl(device, 7, "abcdefgh", 8, out, 4, &returned));
  EXPECT_EQ(seen.buffer, "abcdefgh");  // input longer than output is seen whole
  EXPECT_EQ(std::string(out, 8), "RRxxxxxx");
  os::CloseHandle(device);
  os::RegisterLocalDevice("\\\\.\\hwgate", nullptr, nullptr);
  EXPECT_EQ(os::OpenDevice("\\\\.\\HwGate"), nullptr);  // back to the (absent) socket
}

}  // namespace
