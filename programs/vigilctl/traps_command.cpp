// vigilctl traps [--state FILE]: follows the history ring and sends one SNMP trap per new
// event to each configured destination, resuming where it stopped after a restart.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "client_block.h"
#include "command.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "event_view.h"
#include "os/posix/registry_db.h"
#include "os/posix/root_paths.h"
#include "pet_trap.h"
#include "traps_config.h"
#include "traps_cursor.h"
#include "traps_sender.h"

namespace vigilctl {
namespace {

namespace b = vigil::block;

volatile sig_atomic_t gStop = 0;
void OnStop(int) { gStop = 1; }

int Usage() {
  std::fprintf(stderr, "usage: vigilctl traps [--state FILE]\n");
  return kExitUsage;
}

// One second between block reads: new entries wait at most that long, and the rate cap
// counts per pass. A signal cuts the sleep short.
void SleepOneTick() {
  timespec tick{1, 0};
  nanosleep(&tick, nullptr);
}

int UtcOffsetMinutes(int32_t time) {
  const time_t t = time;
  tm local{};
  if (localtime_r(&t, &local) == nullptr) return 0;
  return int(local.tm_gmtoff / 60);
}

// The v3 passphrases live in the registry database: use them only when no one but its owner
// (root) can read it.
bool SecretsProtected() {
  const std::string path = os::posix::RegistryDbPath();
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || (st.st_mode & 077) != 0 || st.st_uid != geteuid()) {
    std::fprintf(stderr, "vigilctl traps: the SNMPv3 passphrases are in %s, which others can read; "
                         "chmod 600 it (owner root) first\n", path.c_str());
    return false;
  }
  return true;
}

bool Started(const uint8_t* block) { return b::LoadU8(block, b::kStartupComplete) == 1; }

// For the crash tests: the process kills itself right after its n-th send, before the state
// file records it, the one moment a crash can make a notification go out twice.
unsigned long CrashAfterSends() {
  const char* n = std::getenv("VIGILCTL_TRAPS_CRASH_AFTER_SENDS");
  return n != nullptr ? std::strtoul(n, nullptr, 10) : 0;
}

class Follower {
 public:
  Follower(const uint8_t* block, const TrapConfig& config, std::string statePath)
      : block_(block), config_(config), statePath_(std::move(statePath)), sender_(config, block + b::kSystemUuid) {
    if (config.version == TrapVersion::kV3) {
      std::fprintf(stderr, "vigilctl traps: SNMPv3 user \"%s\", %s engine ID %s\n", config.v3User.c_str(),
                   config.inform ? "the manager's" : "its", sender_.EngineIdHex().c_str());
    }
  }

  void Start(const RingCounters& now) {
    TrapState state;
    if (LoadTrapState(statePath_, &state)) {
      cursor_ = state.cursor;
      const std::size_t unknown = sender_.Restore(state.informs);
      if (unknown > 0) {
        std::fprintf(stderr, "vigilctl traps: %zu unacknowledged informs were for destinations no longer "
                             "configured (or informs are off); dropped\n", unknown);
      }
      std::fprintf(stderr, "vigilctl traps: resuming after ring append count %u, %zu informs to send again\n",
                   unsigned(cursor_.appendCount), state.informs.size() - unknown);
      return;
    }
    // No state yet: traps are for what happens from now on, not the log's past.
    cursor_ = TrapCursor{now.appendCount, now.nextSlot, kNoSlot, 0};
    if (now.nextSlot > 0) {
      cursor_.lastSlot = uint16_t(now.nextSlot - 1);
      cursor_.lastDigest = EntryDigest(ReadEventRow(block_, cursor_.lastSlot).entry);
    }
    Save();
    std::fprintf(stderr, "vigilctl traps: starting at ring append count %u\n", unsigned(now.appendCount));
  }

  // Handles what the agent had finished writing by `settled`, within the rate cap.
  void Pass(const RingCounters& settled) {
    const bool intact = cursor_.lastSlot == kNoSlot ||
                        EntryDigest(ReadEventRow(block_, cursor_.lastSlot).entry) == cursor_.lastDigest;
    const RingPlan plan = PlanRing(cursor_, settled, intact);
    if (plan.restarted && settled.appendCount != cursor_.appendCount) {
      std::fprintf(stderr, "vigilctl traps: the ring was rewritten (agent restart or overrun); following the new ring\n");
    }
    uint32_t overwritten = plan.overwritten;
    uint32_t budget = config_.ratePerSecond;
    for (std::size_t i = 0; i < plan.items.size() && !gStop; ++i) {
      const RingItem& item = plan.items[i];
      const EventRow row = ReadEventRow(block_, item.slot);
      // Copied first, checked after: a slot the agent reused meanwhile holds something else.
      const RingCounters now = ReadRingCounters(block_);
      const bool wanted = IsNewEntry(row.entry) && PetEventSeverity(row.entry) >= config_.minSeverity;
      if (uint16_t(now.appendCount - item.appendNumber) >= b::kRingSlots) {
        ++overwritten;
      } else if (wanted) {
        if (budget == 0) {
          std::fprintf(stderr, "vigilctl traps: rate cap %u/s reached; %zu entries held back for the next second\n",
                       config_.ratePerSecond, plan.items.size() - i);
          break;
        }
        --budget;
        uint8_t uuid[b::kSystemUuidSize];
        std::memcpy(uuid, block_ + b::kSystemUuid, sizeof uuid);
        const PetFields fields = PetFromEntry(row.entry, uuid, item.appendNumber, UtcOffsetMinutes(row.entry.time));
        // A trap is sent, then recorded: a crash between the two sends it again, with the same
        // identity. An inform is recorded as pending with the cursor, then sent: it leaves the
        // state file only when acknowledged.
        sender_.Send(TrapMessage{PetSpecificTrap(row.entry), EncodePetVarbind(fields)});
        ++sent_;
        if (!config_.inform) CrashPoint();
      }
      cursor_ = TrapCursor{item.appendNumber, uint16_t(item.slot + 1), uint16_t(item.slot), EntryDigest(row.entry)};
      Save();
      if (config_.inform) {
        sender_.Flush();
        CrashPoint();
        // Acknowledgements already in: taken now, so that the state file soon drops them.
        sender_.Poll(std::chrono::steady_clock::now());
      }
    }
    if (overwritten > 0) {
      lost_ += overwritten;
      std::fprintf(stderr, "vigilctl traps: %u history entries were overwritten before they could be sent (%llu in all)\n",
                   overwritten, static_cast<unsigned long long>(lost_));
    }
  }

  unsigned long long sent() const { return sent_; }
  // A second of taking acknowledgements and resending informs; the state file follows every
  // change to the pending ones.
  void Wait() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!gStop && std::chrono::steady_clock::now() < until) {
      sender_.Poll(until);
      if (sender_.TakeChanged()) Save();
    }
  }

 private:
  void CrashPoint() const {
    if (crashAfter_ != 0 && sent_ == crashAfter_) raise(SIGKILL);
  }

  void Save() {
    sender_.TakeChanged();
    if (SaveTrapState(statePath_, TrapState{cursor_, sender_.Unacknowledged()}) == 0) {
      saveFailed_ = false;
    } else if (!saveFailed_) {
      saveFailed_ = true;
      std::fprintf(stderr, "vigilctl traps: cannot write %s: a restart may send traps again\n", statePath_.c_str());
    }
  }

  const uint8_t* block_;
  TrapConfig config_;
  std::string statePath_;
  TrapSender sender_;
  TrapCursor cursor_;
  unsigned long long sent_ = 0;
  const unsigned long crashAfter_ = CrashAfterSends();
  unsigned long long lost_ = 0;
  bool saveFailed_ = false;
};

}  // namespace

int RunTraps(int argc, char** argv) {
  std::string statePath = os::posix::RootedPath("/var/lib/vigilagent/traps.state");
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--state") == 0 && i + 1 < argc) {
      statePath = argv[++i];
    } else {
      return Usage();
    }
  }
  TrapConfig config;
  std::string error;
  if (!ReadTrapConfig(&config, &error)) {
    std::fprintf(stderr, "vigilctl traps: %s\n", error.c_str());
    return kExitFailed;
  }
  if (config.destinations.empty()) {
    std::fprintf(stderr, "vigilctl traps: no trap destination configured "
                         "(vigilctl set-param trap-destinations HOST[:PORT],...)\n");
    return kExitFailed;
  }
  if (config.version == TrapVersion::kV3 && !SecretsProtected()) return kExitFailed;
  uint8_t* block = nullptr;
  if (int rc = AttachBlock(&block); rc != kExitOk) return rc;

  struct sigaction stop {};
  stop.sa_handler = OnStop;  // no SA_RESTART: the signal ends the sleep at once
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGINT, &stop, nullptr);

  while (!gStop && !Started(block)) SleepOneTick();
  Follower follower(block, config, statePath);
  RingCounters observed = ReadRingCounters(block);
  if (!gStop) follower.Start(observed);
  while (!gStop) {
    follower.Wait();
    // Entries counted at the previous read are complete (seen flags included) by now.
    const RingCounters settled = observed;
    observed = ReadRingCounters(block);
    if (!gStop && Started(block)) follower.Pass(settled);
  }
  std::fprintf(stderr, "vigilctl traps: stopping; %llu traps sent\n", follower.sent());
  return kExitOk;
}

}  // namespace vigilctl
