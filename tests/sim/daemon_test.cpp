// The hwgate-sim daemon over real sockets in a sandbox: frames written by hand, ctl commands,
// clients that break the protocol, bad scenarios and a clean stop.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "contract/device_frames.h"
#include "support/agent_rig.h"

namespace {

using namespace std::chrono_literals;
using vigil::test::BinaryPath;

using vigil::test::Sandbox;
using vigil::test::Simulator;

int Connect(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    close(fd);
    return -1;
  }
  timeval limit{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  return fd;
}

bool ReadExactly(int fd, void* to, size_t count) {
  auto* at = static_cast<char*>(to);
  while (count != 0) {
    ssize_t n = read(fd, at, count);
    if (n <= 0) return false;
    at += n;
    count -= size_t(n);
  }
  return true;
}

struct Answer {
  bool ok = false;      // a well-formed response frame arrived
  bool success = false;
  std::vector<uint8_t> bytes;
};

// One exchange in the wire format, written out byte by byte rather than through the port.
Answer Exchange(int fd, uint32_t code, const std::vector<uint8_t>& in, uint32_t outLength) {
  std::vector<uint8_t> frame(vigil::frames::kHeaderSize);
  vigil::frames::EncodeRequest({vigil::frames::kRequestMagic, code, uint32_t(in.size()), outLength}, frame.data());
  frame.insert(frame.end(), in.begin(), in.end());
  Answer answer;
  if (write(fd, frame.data(), frame.size()) != ssize_t(frame.size())) return answer;
  uint8_t header[vigil::frames::kHeaderSize];
  if (!ReadExactly(fd, header, sizeof header)) return answer;
  const vigil::frames::ResponseHeader response = vigil::frames::DecodeResponse(header);
  if (response.magic != vigil::frames::kResponseMagic) return answer;
  answer.bytes.resize(response.returned);
  answer.ok = ReadExactly(fd, answer.bytes.data(), answer.bytes.size());
  answer.success = response.success != 0;
  return answer;
}

class Daemon : public ::testing::Test {
 protected:
  void Start() {
    sim_ = std::make_unique<Simulator>("kelvo-b720.json");
    ASSERT_TRUE(sim_->ready()) << sim_->process().Stderr();
    ASSERT_TRUE(sandbox_.Exists("run/hwgate.sock"));
  }
  vigil::test::RunResult Ctl(const std::vector<std::string>& words) { return vigil::test::SimulatorCtl(words); }
  std::string DevicePath() { return sandbox_.Path("run/hwgate.sock"); }

  Sandbox sandbox_;
  std::unique_ptr<Simulator> sim_;
};

TEST_F(Daemon, ServesTheTableTheLogAndSensorsAndCountsThem) {
  Start();
  int fd = Connect(DevicePath());
  ASSERT_GE(fd, 0);

  Answer table = Exchange(fd, 0x80002004, {}, 8192);
  ASSERT_TRUE(table.ok && table.success);
  ASSERT_EQ(table.bytes.size(), 8192u);
  std::string text(table.bytes.begin(), table.bytes.end());
  EXPECT_NE(text.find("Kelvo B720"), std::string::npos);

  std::vector<uint8_t> request = {0, 0, 0, 0, 0, 0, 68, 0};
  Answer log = Exchange(fd, 0x80002018, request, 76);
  ASSERT_TRUE(log.ok && log.success);
  ASSERT_EQ(log.bytes.size(), 76u);
  EXPECT_EQ(log.bytes[8], 0x17);  // the first record: system boot
  EXPECT_NE(log.bytes[7], 0);     // more follow

  std::vector<uint8_t> block(260, 0);
  block[0] = 0x51;
  block[2] = 0x51;  // CPU2 Temp
  Answer sensor = Exchange(fd, 0x80002028, block, 260);
  ASSERT_TRUE(sensor.ok && sensor.success);
  EXPECT_EQ(sensor.bytes[4 + 5], 0xA3);
  EXPECT_EQ(sensor.bytes[4 + 20] | sensor.bytes[4 + 21] << 8, 871);

  block[2] = 0x99;  // no such sensor: a failed call, not a broken connection
  Answer missing = Exchange(fd, 0x80002028, block, 260);
  EXPECT_TRUE(missing.ok);
  EXPECT_FALSE(missing.success);
  EXPECT_TRUE(missing.bytes.empty());
  close(fd);

  vigil::test::RunResult stats = Ctl({"stats"});
  EXPECT_EQ(stats.status, 0) << stats.err;
  EXPECT_NE(stats.out.find("commands_0x51=1\n"), std::string::npos) << stats.out;
  EXPECT_NE(stats.out.find("log_exchanges=1\n"), std::string::npos) << stats.out;
  EXPECT_NE(stats.out.find("smbios_reads=1\n"), std::string::npos) << stats.out;
}

TEST_F(Daemon, AppendedRecordIsServedAtTheNextRead) {
  Start();
  vigil::test::RunResult appended = Ctl({"append-record", "10 0C 25 01 02 03 04 05 12 00 00 00"});
  ASSERT_EQ(appended.status, 0) << appended.err;
  size_t eq = appended.out.find('=');
  ASSERT_NE(eq, std::string::npos);
  uint16_t position = uint16_t(std::stoi(appended.out.substr(eq + 1)));
  int fd = Connect(DevicePath());
  // The log's identity first: a position means something only in the log it was read from.
  Answer first = Exchange(fd, 0x80002018, {0, 0, 0, 0, 0, 0, 68, 0}, 76);
  ASSERT_TRUE(first.ok && first.success);
  std::vector<uint8_t> request = {first.bytes[0], first.bytes[1], first.bytes[2], first.bytes[3],
                                  uint8_t(position), uint8_t(position >> 8), 68, 0};
  Answer log = Exchange(fd, 0x80002018, request, 76);
  ASSERT_TRUE(log.ok && log.success);
  EXPECT_EQ(log.bytes[4] | log.bytes[5] << 8, position);
  EXPECT_EQ(log.bytes[6], 12);
  EXPECT_EQ(log.bytes[8], 0x10);
  EXPECT_EQ(log.bytes[7], 0);
  close(fd);

  vigil::test::RunResult bad = Ctl({"append-record", "10 0D 25"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("does not match"), std::string::npos) << bad.err;
}

TEST_F(Daemon, ClientsThatBreakTheProtocolAreDroppedAndOthersServed) {
  Start();
  struct Garbage {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  std::vector<uint8_t> hugeBytes(vigil::frames::kHeaderSize);
  vigil::frames::EncodeRequest({vigil::frames::kRequestMagic, 0x80002028, 0xFFFFFFFF, 260}, hugeBytes.data());
  const Garbage cases[] = {
      {"bad magic", std::vector<uint8_t>(16, 0x41)},
      {"oversized length", hugeBytes},
      {"short frame then close", {0x48, 0x47, 0x51}},
  };
  for (const Garbage& g : cases) {
    SCOPED_TRACE(g.name);
    int bad = Connect(DevicePath());
    ASSERT_GE(bad, 0);
    ASSERT_EQ(write(bad, g.bytes.data(), g.bytes.size()), ssize_t(g.bytes.size()));
    if (g.bytes.size() < 16) shutdown(bad, SHUT_WR);
    char c;
    EXPECT_EQ(read(bad, &c, 1), 0);  // the daemon hangs up
    close(bad);
  }
  // A client stalled in the middle of a frame does not hold up anybody else.
  int stalled = Connect(DevicePath());
  ASSERT_EQ(write(stalled, "HGQ1", 4), 4);
  int good = Connect(DevicePath());
  Answer table = Exchange(good, 0x80002004, {}, 8192);
  EXPECT_TRUE(table.ok && table.success);
  close(good);
  close(stalled);
  EXPECT_TRUE(sim_->process().Running());
}

TEST_F(Daemon, StopsCleanlyOnSigtermAndRemovesItsSockets) {
  Start();
  int idle = Connect(DevicePath());  // an open connection must not keep it alive
  ASSERT_GE(idle, 0);
  ASSERT_TRUE(sim_->process().Signal(SIGTERM));
  EXPECT_EQ(sim_->process().Wait(10s), 0);
  EXPECT_FALSE(sandbox_.Exists("run/hwgate.sock"));
  EXPECT_FALSE(sandbox_.Exists("run/hwgate-ctl.sock"));
  close(idle);
  vigil::test::RunResult ctl = Ctl({"stats"});
  EXPECT_EQ(ctl.status, 3);
  EXPECT_NE(ctl.err.find("no simulator answers"), std::string::npos);
}

TEST_F(Daemon, ReplacesAStaleSocketFile) {
  sandbox_.WriteFile("run/hwgate.sock", "left over");
  Start();
  int fd = Connect(DevicePath());
  EXPECT_GE(fd, 0);
  close(fd);
}

TEST_F(Daemon, BadScenarioIsRefusedWithExitCodeTwo) {
  sandbox_.WriteFile("bad.json", R"({"smbios": {"layout": "standard", "structures": [], "colour": 1}})");
  vigil::test::RunResult run = vigil::test::Run(BinaryPath("hwgate-sim"), {"--scenario", sandbox_.Path("bad.json")}, 10s);
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find(sandbox_.Path("bad.json") + ": smbios.colour: unknown key"), std::string::npos) << run.err;
  EXPECT_FALSE(sandbox_.Exists("run/hwgate.sock"));
}

TEST_F(Daemon, UsageErrorsExitWithTwo) {
  EXPECT_EQ(vigil::test::Run(BinaryPath("hwgate-sim"), {}, 10s).status, 2);
  EXPECT_EQ(vigil::test::Run(BinaryPath("hwgate-sim"), {"--scenario"}, 10s).status, 2);
}

}  // namespace
