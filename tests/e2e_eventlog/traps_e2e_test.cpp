// `vigilctl traps` end to end: the agent following hwgate-sim's BIOS log, the follower sending
// one PET per new history entry to a real snmptrapd on loopback, v1 and v2c, across restarts.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <memory>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "contract/block_layout.h"
#include "kelvo_c850_run.h"

namespace vigil::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kOnePoll = 8s;
constexpr const char* kEngineId = "0x80000C6F050102030405";
// snmptrapd's own engine ID ("engineID vigil-nms": net-snmp's enterprise, text format).
constexpr const char* kManagerEngineId = "0x80001F8804766967696C2D6E6D73";

struct ReceivedTrap {
  unsigned long specific = 0;  // v1: the PDU's; v2c: the last arc of snmpTrapOID
  bool v2 = false;
  std::vector<uint8_t> pet;
};

// "Hex-STRING: 0A 1B ..." up to the next tab (the next varbind).
std::vector<uint8_t> HexAfter(const std::string& text, std::size_t at) {
  std::vector<uint8_t> bytes;
  std::istringstream in(text.substr(at, text.find('\t', at) - at));
  for (std::string two; in >> two && two.size() == 2 && std::isxdigit(two[0]) && std::isxdigit(two[1]);) {
    bytes.push_back(uint8_t(std::stoul(two, nullptr, 16)));
  }
  return bytes;
}

class TrapsE2e : public KelvoC850Run {
 protected:
  void SetUp() override {
    KelvoC850Run::SetUp();
    if (HasFatalFailure()) return;
    const Sandbox& box = system_->sandbox();
    // The user twice: keyed to the follower's engine for traps, to snmptrapd's own for informs.
    box.WriteFile("snmptrapd.conf", std::string("disableAuthorization yes\nengineID vigil-nms\ncreateUser -e ") +
                                        kEngineId + " vigil SHA auth-passphrase AES priv-passphrase\n"
                                        "createUser vigil SHA auth-passphrase AES priv-passphrase\n");
    port_ = std::to_string(FreeLoopbackPort(SOCK_DGRAM));
    StartTrapd();
  }

  void StartTrapd() {
    if (trapd_) {
      const std::vector<ReceivedTrap> got = Traps();
      earlier_.insert(earlier_.end(), got.begin() + long(earlier_.size()), got.end());
    }
    const Sandbox& box = system_->sandbox();
    trapd_ = std::make_unique<Process>(
        "/usr/sbin/snmptrapd",
        std::vector<std::string>{"-f", "-Lo", "-n", "-C", "-c", box.Path("snmptrapd.conf"), "-m", "", "-M", "/dev/null",
                                 "-On", "-Ox", "-F", "TRAP %q|%v\nEND\n", "udp:127.0.0.1:" + port_},
        std::map<std::string, std::string>{{"SNMP_PERSISTENT_DIR", box.Path("snmp")}});
    ASSERT_TRUE(WaitUntil([&] { return trapd_->Stdout().find("NET-SNMP version") != std::string::npos; }, 10s));
  }

  // snmptrapd wraps a long Hex-STRING over several lines: each trap runs up to its END line.
  // Those of earlier snmptrapd runs first.
  std::vector<ReceivedTrap> Traps() const {
    std::vector<ReceivedTrap> traps = earlier_;
    const std::string out = trapd_->Stdout();
    const std::string petOid = ".1.3.6.1.4.1.3183.1.1.1 = Hex-STRING: ";
    const std::string trapOid = ".1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.1.4.1.3183.1.1.0.";
    for (std::size_t at = out.find("TRAP "); at != std::string::npos; at = out.find("TRAP ", at + 1)) {
      const std::size_t end = out.find("\nEND\n", at);
      if (end == std::string::npos) break;
      const std::string trap = out.substr(at, end - at);
      ReceivedTrap t;
      t.specific = std::stoul(trap.substr(trap[5] == '.' ? 6 : 5));
      if (const std::size_t o = trap.find(trapOid); o != std::string::npos) {
        t.v2 = true;
        t.specific = std::stoul(trap.substr(o + trapOid.size()));
      }
      if (const std::size_t o = trap.find(petOid); o != std::string::npos) t.pet = HexAfter(trap, o + petOid.size());
      traps.push_back(t);
    }
    return traps;
  }

  std::unique_ptr<Process> StartFollower(const std::map<std::string, std::string>& env = {}) {
    auto follower = std::make_unique<Process>(BinaryPath("vigilctl"), std::vector<std::string>{"traps"}, env);
    EXPECT_TRUE(WaitUntil([&] { return follower->Stderr().find("ring append count") != std::string::npos; }, 10s))
        << follower->Stderr();
    return follower;
  }

  static void Stop(Process& follower) {
    follower.Signal(SIGTERM);
    EXPECT_EQ(follower.Wait(5s), 0);
  }

  // Every field of the PET against the ring entry the sequence number names.
  void ExpectMatchesRing(const ReceivedTrap& t) {
    ASSERT_GE(t.pet.size(), 47u);
    const unsigned sequence = t.pet[16] << 8 | t.pet[17];
    const HistoryEntry e = system_->Entry((sequence + block::kRingSlots - 1) % block::kRingSlots);
    SCOPED_TRACE("sequence " + std::to_string(sequence));
    EXPECT_EQ(+e.seen1, 0u);
    EXPECT_EQ(t.specific, unsigned(e.sensorType) << 16 | unsigned(e.eventReadingType) << 8 | (e.eventData1 & 0x0F));
    const std::string uuid = system_->Vigilctl({"status", "--json"}).out;
    char guid[40];
    std::snprintf(guid, sizeof guid, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-", t.pet[3], t.pet[2], t.pet[1],
                  t.pet[0], t.pet[5], t.pet[4], t.pet[7], t.pet[6], t.pet[8], t.pet[9]);
    EXPECT_NE(uuid.find(guid), std::string::npos) << guid;
    const uint32_t local = uint32_t(t.pet[18]) << 24 | t.pet[19] << 16 | t.pet[20] << 8 | t.pet[21];
    EXPECT_EQ(int64_t(local), int64_t(e.time) - 883612800);  // TZ is UTC here
    EXPECT_EQ(t.pet[22] << 8 | t.pet[23], 0);                  // offset 0 minutes
    EXPECT_EQ(t.pet[28], e.sensorNumber);
    EXPECT_EQ(t.pet[29], e.pet3);
    EXPECT_EQ(t.pet[30], e.pet4);
    EXPECT_EQ(std::vector<uint8_t>(t.pet.begin() + 31, t.pet.begin() + 34),
              (std::vector<uint8_t>{e.eventData1, e.eventData2, e.eventData3}));
    EXPECT_EQ(t.pet[39], 0x19);
    std::string text;
    std::size_t at = 46;
    for (; at < t.pet.size() && t.pet[at] != 0xC1; at += (t.pet[at] & 0x3F) + 1) {
      text.append(t.pet.begin() + at + 1, t.pet.begin() + at + 1 + (t.pet[at] & 0x3F));
    }
    EXPECT_EQ(at, t.pet.size() - 1);
    EXPECT_EQ(text, std::string(e.text));
  }

  // What the receiver can tell each event by: the system GUID, the sequence number and the
  // local timestamp (with the sensor and event data, what a PET acknowledgement names).
  static std::string Identity(const ReceivedTrap& t) {
    return std::string(t.pet.begin(), t.pet.begin() + std::min<std::size_t>(t.pet.size(), 22));
  }

  std::unique_ptr<Process> trapd_;
  std::vector<ReceivedTrap> earlier_;
  std::string port_;
};

TEST_F(TrapsE2e, BurstAcrossARestartThenV2c) {
  EventLogSystem& s = *system_;
  const RunResult none = s.Vigilctl({"traps"});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("no trap destination"), std::string::npos);
  // A port where nothing listens, listed first, holds up nothing.
  ASSERT_EQ(s.Vigilctl({"set-param", "trap-destinations", "127.0.0.1:" + std::to_string(FreeLoopbackPort(SOCK_DGRAM)) +
                                                                ",127.0.0.1:" + port_}).status, 0);
  ASSERT_EQ(s.Vigilctl({"set-param", "trap-rate", "4"}).status, 0);

  // Known history is not sent: the follower starts at the ring's end.
  auto follower = StartFollower();
  const uint8_t types[] = {1, 2, 9, 16};
  constexpr std::size_t kBurst = 12;
  for (std::size_t i = 0; i < kBurst; ++i) {
    ASSERT_EQ(s.Ctl({"append-record", RecordHex(types[i % 4], 16, 0x00024B01 + uint32_t(i))}).status, 0);
  }
  // Stopped in the middle of the burst (the rate cap spreads it over three seconds) ...
  ASSERT_TRUE(WaitUntil([&] { return Traps().size() >= 3; }, kOnePoll + 4s));
  Stop(*follower);
  std::string log = follower->Stderr();
  EXPECT_LT(Traps().size(), kBurst);
  // ... and started again: the rest, none twice.
  follower = StartFollower();
  ASSERT_TRUE(WaitUntil([&] { return Traps().size() >= kBurst; }, 10s)) << Traps().size();
  std::this_thread::sleep_for(1500ms);  // nothing more may come
  const std::vector<ReceivedTrap> v1 = Traps();
  ASSERT_EQ(v1.size(), kBurst);
  for (std::size_t i = 0; i < kBurst; ++i) {
    EXPECT_FALSE(v1[i].v2);
    EXPECT_EQ(v1[i].pet[16] << 8 | v1[i].pet[17], int(kScenarioRecords + 1 + i));  // in order, once each
    ExpectMatchesRing(v1[i]);
  }
  Stop(*follower);
  log += follower->Stderr();
  EXPECT_NE(log.find("rate cap 4/s reached"), std::string::npos) << log;

  // v2c: the same varbind under snmpTrapOID = enterprise.0.specific.
  ASSERT_EQ(s.Vigilctl({"set-param", "trap-version", "2c"}).status, 0);
  follower = StartFollower();
  ASSERT_EQ(s.Ctl({"append-record", RecordHex(2, 16, 0x1720)}).status, 0);
  ASSERT_TRUE(WaitUntil([&] { return Traps().size() > kBurst; }, kOnePoll + 3s));
  const ReceivedTrap v2 = Traps().back();
  EXPECT_TRUE(v2.v2);
  EXPECT_EQ(v2.pet[16] << 8 | v2.pet[17], int(kScenarioRecords + kBurst + 1));
  ExpectMatchesRing(v2);
  Stop(*follower);
}

TEST_F(TrapsE2e, AgentRestartSendsOnlyWhatIsNew) {
  EventLogSystem& s = *system_;
  ASSERT_EQ(s.Vigilctl({"set-param", "trap-destinations", "127.0.0.1:" + port_}).status, 0);
  auto follower = StartFollower();
  // Two events while the agent is down: its next start replays the known log into a new ring
  // (sent before, or never new) and then these two, which are the only traps.
  ASSERT_EQ(s.StopAgent(), 0) << s.Log();
  ASSERT_EQ(s.Ctl({"append-record", RecordHex(1, 16, 0x1720)}).status, 0);
  ASSERT_EQ(s.Ctl({"append-record", RecordHex(9, 16, 0x00024B01)}).status, 0);
  ASSERT_EQ(s.StartAgent(), 0) << s.Log();
  ASSERT_TRUE(WaitUntil([&] { return Traps().size() >= 2; }, kOnePoll + 3s)) << follower->Stderr();
  std::this_thread::sleep_for(2s);
  const std::vector<ReceivedTrap> got = Traps();
  ASSERT_EQ(got.size(), 2u);
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].pet[16] << 8 | got[i].pet[17], int(kScenarioRecords + 1 + i));
    ExpectMatchesRing(got[i]);
  }
  Stop(*follower);
}

TEST_F(TrapsE2e, InformsWaitForTheManager) {
  EventLogSystem& s = *system_;
  ASSERT_EQ(s.Vigilctl({"set-param", "trap-destinations", "127.0.0.1:" + port_}).status, 0);
  ASSERT_EQ(s.Vigilctl({"set-param", "trap-version", "2c"}).status, 0);
  ASSERT_EQ(s.Vigilctl({"set-param", "trap-inform", "on"}).status, 0);
  auto follower = StartFollower();
  // The manager is down when the event comes ...
  trapd_->Signal(SIGTERM);
  ASSERT_GE(trapd_->Wait(5s), 0);
  ASSERT_EQ(s.Ctl({"append-record", RecordHex(2, 16, 0x1720)}).status, 0);
  ASSERT_TRUE(WaitUntil([&] { return follower->Stderr().find("does not acknowledge") != std::string::npos; },
                        kOnePoll + 6s)) << follower->Stderr();
  // ... and back a while later: the inform arrives, once.
  StartTrapd();
  ASSERT_TRUE(WaitUntil([&] { return !Traps().empty(); }, 20s)) << follower->Stderr();
  std::this_thread::sleep_for(2s);
  const std::vector<ReceivedTrap> got = Traps();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(got[0].v2);
  EXPECT_EQ(got[0].pet[16] << 8 | got[0].pet[17], int(kScenarioRecords + 1));
  ExpectMatchesRing(got[0]);
  Stop(*follower);
}

TEST_F(TrapsE2e, V3AuthPrivOnlyWithTheKeysKeptFromOthers) {
  EventLogSystem& s = *system_;
  for (const std::vector<std::string>& set : std::vector<std::vector<std::string>>{
           {"trap-destinations", "127.0.0.1:" + port_}, {"trap-version", "3"}, {"trap-v3-user", "vigil"},
           {"trap-v3-auth-passphrase", "auth-passphrase"}, {"trap-v3-priv-passphrase", "priv-passphrase"},
           {"trap-v3-engine-id", kEngineId}}) {
    ASSERT_EQ(s.Vigilctl({"set-param", set[0], set[1]}).status, 0) << set[0];
  }
  const std::string db = s.sandbox().Path("var/lib/vigilagent/registry.db");
  ASSERT_EQ(chmod(db.c_str(), 0644), 0);
  const RunResult exposed = s.Vigilctl({"traps"});
  EXPECT_EQ(exposed.status, 1);
  EXPECT_NE(exposed.err.find("chmod 600"), std::string::npos) << exposed.err;

  ASSERT_EQ(chmod(db.c_str(), 0600), 0);
  auto follower = StartFollower();
  ASSERT_EQ(s.Ctl({"append-record", RecordHex(1, 16, 0x1720)}).status, 0);
  ASSERT_TRUE(WaitUntil([&] { return !Traps().empty(); }, kOnePoll + 3s)) << follower->Stderr() << trapd_->Stdout();
  const ReceivedTrap t = Traps().back();
  EXPECT_TRUE(t.v2);
  EXPECT_EQ(t.pet[16] << 8 | t.pet[17], int(kScenarioRecords + 1));
  ExpectMatchesRing(t);
  Stop(*follower);

  // Informs: the manager is the authoritative engine, and its engine ID must be given.
  ASSERT_EQ(s.Vigilctl({"set-param", "trap-inform", "on"}).status, 0);
  const RunResult noManager = s.Vigilctl({"traps"});
  EXPECT_EQ(noManager.status, 1);
  EXPECT_NE(noManager.err.find("trap-v3-manager-engine-id"), std::string::npos) << noManager.err;
  ASSERT_EQ(s.Vigilctl({"set-param", "trap-v3-manager-engine-id", kManagerEngineId}).status, 0);
  follower = StartFollower();
  ASSERT_EQ(s.Ctl({"append-record", RecordHex(2, 16, 0x1720)}).status, 0);
  ASSERT_TRUE(WaitUntil([&] { return Traps().size() >= 2; }, kOnePoll + 3s)) << follower->Stderr() << trapd_->Stdout();
  std::this_thread::sleep_for(1500ms);
  ASSERT_EQ(Traps().size(), 2u);  // acknowledged at once: not sent again
  const ReceivedTrap inform = Traps().back();
  EXPECT_TRUE(inform.v2);
  EXPECT_EQ(inform.pet[16] << 8 | inform.pet[17], int(kScenarioRecords + 2));
  ExpectMatchesRing(inform);
  Stop(*follower);
  EXPECT_EQ(follower->Stderr().find("does not acknowledge"), std::string::npos) << follower->Stderr();
  const std::string state = s.sandbox().ReadFile("var/lib/vigilagent/traps.state");
  EXPECT_NE(state.find("vigilctl-traps-cursor"), std::string::npos);
  EXPECT_EQ(state.find("inform "), std::string::npos) << state;  // nothing left pending
}

// kill -9 of the follower in the middle of a burst, a few times: right after a send and before
// the state file records it (the one window where a notification can go out twice), and at
// random moments. Every entry arrives; any second copy is the same notification, with the same
// identity, so the manager counts each event once. With informs, the manager is also stopped
// and the agent restarted while unacknowledged informs wait in the state file.
TEST_F(TrapsE2e, KilledMidBurstEveryEntryArrivesUnderOneIdentity) {
  EventLogSystem& s = *system_;
  const struct {
    const char* version;
    const char* inform;
  } modes[] = {{"1", "off"}, {"2c", "on"}};
  constexpr std::size_t kBurst = 20;
  std::size_t expected = 0;
  std::mt19937 random(std::random_device{}());
  ASSERT_EQ(s.Vigilctl({"set-param", "trap-destinations", "127.0.0.1:" + port_}).status, 0);
  ASSERT_EQ(s.Vigilctl({"set-param", "trap-rate", "20"}).status, 0);
  for (const auto& mode : modes) {
    SCOPED_TRACE(std::string("version ") + mode.version + ", informs " + mode.inform);
    const bool informs = std::string(mode.inform) == "on";
    ASSERT_EQ(s.Vigilctl({"set-param", "trap-version", mode.version}).status, 0);
    ASSERT_EQ(s.Vigilctl({"set-param", "trap-inform", mode.inform}).status, 0);
    const std::size_t before = Traps().size();
    StartFollower();  // places the cursor at the ring's end (the previous mode's follower died)
    for (std::size_t i = 0; i < kBurst; ++i) {
      ASSERT_EQ(s.Ctl({"append-record", RecordHex(uint8_t(1 + i % 9), 16, 0x1720 + uint32_t(i))}).status, 0);
    }
    expected += kBurst;
    int kills = 0;
    std::string log;
    for (int crash = 0; crash < 2; ++crash) {  // dies right after its 4th send
      auto follower = StartFollower({{"VIGILCTL_TRAPS_CRASH_AFTER_SENDS", "4"}});
      EXPECT_EQ(follower->Wait(kOnePoll + 4s), 128 + SIGKILL) << follower->Stderr();
      log += follower->Stderr();
      ++kills;
    }
    if (informs) {
      trapd_->Signal(SIGTERM);
      ASSERT_GE(trapd_->Wait(5s), 0);
      auto follower = StartFollower();
      ASSERT_TRUE(WaitUntil([&] { return follower->Stderr().find("does not acknowledge") != std::string::npos; }, 10s))
          << follower->Stderr();
      follower->Signal(SIGKILL);
      follower->Wait(5s);
      log += follower->Stderr();
      ++kills;
      ASSERT_EQ(s.StopAgent(), 0) << s.Log();
      ASSERT_EQ(s.StartAgent(), 0) << s.Log();
    }
    for (int crash = 0; crash < 2; ++crash) {  // at a random moment
      auto follower = StartFollower();
      std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(50, 600)(random)));
      follower->Signal(SIGKILL);
      follower->Wait(5s);
      log += follower->Stderr();
      ++kills;
    }
    if (informs) StartTrapd();
    auto follower = StartFollower();
    ASSERT_TRUE(WaitUntil([&] {
      std::set<std::string> ids;
      for (const ReceivedTrap& t : Traps()) ids.insert(Identity(t));
      return ids.size() >= expected;
    }, 20s)) << log << follower->Stderr();
    std::this_thread::sleep_for(1500ms);  // nothing more may come
    Stop(*follower);
    const std::vector<ReceivedTrap> all = Traps();
    std::map<std::string, std::vector<uint8_t>> first;
    std::set<int> sequences;
    for (std::size_t i = before; i < all.size(); ++i) {
      const ReceivedTrap& t = all[i];
      ASSERT_GE(t.pet.size(), 47u);
      EXPECT_EQ(t.v2, informs);
      const auto [at, isNew] = first.emplace(Identity(t), t.pet);
      EXPECT_EQ(at->second, t.pet) << "a second copy that differs";
      if (isNew) sequences.insert(t.pet[16] << 8 | t.pet[17]);
    }
    EXPECT_EQ(first.size(), kBurst);
    // Each a new entry of the burst, none lost: the sequence numbers of this run's entries.
    EXPECT_EQ(sequences.size(), kBurst);
    EXPECT_EQ(*sequences.begin(), int(kScenarioRecords + expected - kBurst + 1));
    EXPECT_EQ(*sequences.rbegin(), int(kScenarioRecords + expected));
    // A trap goes twice only when the kill falls between its send and the state file's
    // update; an inform whenever its acknowledgement was not yet taken, which the follower
    // does right after each next send.
    const std::size_t copies = all.size() - before - kBurst;
    EXPECT_LE(copies, std::size_t(kills) * (informs ? 4 : 1)) << log;
    std::printf("version %s, informs %s: %d kills, %zu second copies\n", mode.version, mode.inform, kills, copies);
  }
}

}  // namespace
}  // namespace vigil::test
