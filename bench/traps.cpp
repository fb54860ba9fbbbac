// What `vigilctl traps` costs, against baselines measured in the same run:
//   - a burst of 600 entries in-process, each built as a PET, sent as a v2c trap to a loopback
//     receiver and its cursor written to the state file, vs 600 bare sendto() of datagrams of
//     the same size, and vs the 600 state file writes alone;
//   - the real follower beside a real agent: its idle wake-ups per minute and resident set,
//     then the CPU and the wall time it takes over a burst of 600 new ring entries.
//
//   traps [benchmark flags]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "pet_trap.h"
#include "support/agent_rig.h"
#include "support/wait_until.h"
#include "traps_config.h"
#include "traps_cursor.h"
#include "traps_sender.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace block = vigil::block;
constexpr int kBurst = 600;
const uint8_t kUuid[16] = {0x3c, 0xa7, 0x56, 0x85, 0x08, 0xc5, 0x11, 0xd7, 0xc3, 0xa2, 0x00, 0x04, 0x23, 0xbc, 0xac, 0x12};

// A loopback UDP socket that counts what reaches it, on a thread of its own.
class Receiver {
 public:
  Receiver() {
    fd_ = vigil::test::BindLoopback(SOCK_DGRAM, port_);
    int size = 8 << 20;
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    timeval tick{0, 100000};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
    thread_ = std::thread([this] {
      char buffer[2048];
      while (!done_) {
        if (recv(fd_, buffer, sizeof buffer, 0) > 0 && ++count_ == target_) last_ = Clock::now();
      }
    });
  }
  ~Receiver() {
    done_ = true;
    thread_.join();
    close(fd_);
  }
  uint16_t port() const { return port_; }
  int count() const { return count_; }
  // The time the count reached `target`.
  void Expect(int target) { target_ = target; }
  Clock::time_point last() const { return last_; }

 private:
  int fd_;
  uint16_t port_ = 0;
  std::atomic<bool> done_{false};
  std::atomic<int> count_{0};
  std::atomic<int> target_{-1};
  std::atomic<Clock::time_point> last_{};
  std::thread thread_;
};

vigil::HistoryEntry Entry(int i) {
  vigil::HistoryEntry e{};
  e.recordType = 0x02;
  e.time = 1711972800 + i;
  e.generatorIdLow = 0x01;
  e.sensorType = 0x0C;  // memory
  e.sensorNumber = uint8_t(i);
  e.eventReadingType = 0x6F;
  e.eventData1 = 0x00;  // correctable ECC
  e.eventData2 = uint8_t(i >> 8);
  std::snprintf(e.text, sizeof e.text, "Correctable memory error, DIMM %c%d, 1 bit corrected", 'A' + i % 8, i % 4);
  e.pet3 = 0x20;
  e.pet4 = uint8_t(i % 8);
  return e;
}

std::vector<vigilctl::TrapMessage> Messages() {
  std::vector<vigilctl::TrapMessage> messages;
  for (int i = 0; i < kBurst; ++i) {
    const vigil::HistoryEntry e = Entry(i);
    messages.push_back({vigilctl::PetSpecificTrap(e), vigilctl::EncodePetVarbind(vigilctl::PetFromEntry(e, kUuid, uint16_t(i + 1), 0))});
  }
  return messages;
}

std::string StatePath() { return "/tmp/vigil-bench-traps-" + std::to_string(getpid()) + ".state"; }

// What the follower does per entry: build the PET, send it, write the cursor.
void BM_Burst600Traps(benchmark::State& state) {
  Receiver receiver;
  vigilctl::TrapConfig config;
  config.destinations = {{"127.0.0.1", receiver.port()}};
  config.version = vigilctl::TrapVersion::kV2c;
  vigilctl::TrapSender sender(config, kUuid);
  const std::string path = StatePath();
  for (auto _ : state) {
    for (int i = 0; i < kBurst; ++i) {
      const vigil::HistoryEntry e = Entry(i);
      sender.Send({vigilctl::PetSpecificTrap(e), vigilctl::EncodePetVarbind(vigilctl::PetFromEntry(e, kUuid, uint16_t(i + 1), 0))});
      vigilctl::SaveTrapState(path, {{uint16_t(i + 1), uint16_t(i + 1), uint16_t(i), vigilctl::EntryDigest(e)}, {}});
    }
  }
  std::remove(path.c_str());
  state.counters["received"] = double(receiver.count()) / double(state.iterations());
}

// The floor: the same datagrams' sizes through a bare socket, nothing built, nothing written.
void BM_Burst600Datagrams(benchmark::State& state) {
  Receiver receiver;
  const std::vector<vigilctl::TrapMessage> messages = Messages();
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(receiver.port());
  connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  std::vector<uint8_t> datagram(100);  // about the PDU around the varbind
  for (auto _ : state) {
    for (const vigilctl::TrapMessage& m : messages) {
      datagram.resize(100 + m.petVarbind.size());
      benchmark::DoNotOptimize(send(fd, datagram.data(), datagram.size(), 0));
    }
  }
  close(fd);
}

// The state file alone: one atomic replace per entry.
void BM_Burst600StateWrites(benchmark::State& state) {
  const std::string path = StatePath();
  for (auto _ : state) {
    for (int i = 0; i < kBurst; ++i) {
      vigilctl::SaveTrapState(path, {{uint16_t(i + 1), uint16_t(i + 1), uint16_t(i), uint64_t(i)}, {}});
    }
  }
  std::remove(path.c_str());
}

BENCHMARK(BM_Burst600Traps)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Burst600Datagrams)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Burst600StateWrites)->Unit(benchmark::kMillisecond);

// One field of /proc/PID/status, as a number ("VmRSS" in KiB, "voluntary_ctxt_switches").
long StatusField(pid_t pid, const std::string& name) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(name + ":", 0) == 0) return std::stol(line.substr(name.size() + 1));
  }
  return -1;
}

long Wakeups(pid_t pid) {
  return StatusField(pid, "voluntary_ctxt_switches") + StatusField(pid, "nonvoluntary_ctxt_switches");
}

bool SetParam(const std::string& name, const std::string& value) {
  return vigil::test::Run(vigil::test::BinaryPath("vigilctl"), {"set-param", name, value}).status == 0;
}

// 600 new entries as the agent appends them: each slot written, then the counters.
void AppendBurst(uint8_t* b) {
  uint16_t next = block::LoadU16(b, block::kRingNextSlot);
  uint16_t count = block::LoadU16(b, block::kRingAppendCount);
  for (int i = 0; i < kBurst; ++i) {
    if (next >= block::kRingSlots) next = 0;
    const vigil::HistoryEntry e = Entry(i);
    std::memcpy(b + block::RingEntryOffset(next), &e, sizeof e);
    ++next;
    ++count;
  }
  block::StoreU16(b, block::kRingNextSlot, next);
  block::StoreU16(b, block::kRingAppendCount, count);
}

void RunFollowerMeasurements() {
  vigil::test::AgentRig rig("vigil-bench-");
  Receiver receiver;
  if (rig.Start("kelvo-b720.json") != 0 ||
      !SetParam("trap-destinations", "127.0.0.1:" + std::to_string(receiver.port())) || !SetParam("trap-version", "2c") ||
      !SetParam("trap-rate", "1000")) {
    std::fprintf(stderr, "traps: could not set up the agent and the trap settings under %s\n", rig.sandbox().root().c_str());
    return;
  }
  vigil::test::Process followerProcess(vigil::test::BinaryPath("vigilctl"),
                                      {"traps", "--state", rig.sandbox().Path("traps.state")});
  const pid_t follower = followerProcess.pid();
  std::this_thread::sleep_for(std::chrono::seconds(2));  // started, cursor written
  constexpr int kIdleSeconds = 20;
  const long wakeupsBefore = Wakeups(follower);
  const double idleCpuBefore = vigil::test::ProcessCpuSeconds(follower);
  std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
  std::printf("\nfollower idle: %.0f wake-ups a minute, %.1f ms CPU a minute, RSS %ld KiB\n",
              double(Wakeups(follower) - wakeupsBefore) * 60 / kIdleSeconds,
              (vigil::test::ProcessCpuSeconds(follower) - idleCpuBefore) * 60 / kIdleSeconds * 1e3, StatusField(follower, "VmRSS"));

  receiver.Expect(receiver.count() + kBurst);
  const double cpuBefore = vigil::test::ProcessCpuSeconds(follower);
  const Clock::time_point appended = Clock::now();
  AppendBurst(rig.block());
  if (!vigil::test::WaitUntil([&] { return receiver.last() != Clock::time_point{}; }, std::chrono::seconds(20))) {
    std::fprintf(stderr, "traps: only %d of %d traps arrived\n", receiver.count(), kBurst);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the last cursor write
    std::printf("burst of %d (rate cap 1000/s): follower CPU %.0f ms; all at the receiver %.2f s after the append "
                "(the follower reads the ring once a second and takes what was complete at its previous read); "
                "RSS after %ld KiB\n",
                kBurst, (vigil::test::ProcessCpuSeconds(follower) - cpuBefore) * 1e3,
                std::chrono::duration<double>(receiver.last() - appended).count(), StatusField(follower, "VmRSS"));
  }
  followerProcess.Stop(std::chrono::seconds(5));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  RunFollowerMeasurements();
  return 0;
}
