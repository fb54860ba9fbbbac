// vigilctl events [--json] [--all] [--follow]: the event history ring, oldest first.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include "client_block.h"
#include "command.h"
#include "event_view.h"

namespace vigilctl {
namespace {

volatile std::sig_atomic_t gInterrupted = 0;
void OnInterrupt(int) { gInterrupted = 1; }

int Usage() {
  std::fprintf(stderr, "usage: vigilctl events [--json] [--all] [--follow]\n");
  return kExitUsage;
}

void Print(const std::vector<EventRow>& rows, bool json, bool jsonLines) {
  if (json && !jsonLines) {
    std::string out = "[";
    for (std::size_t i = 0; i < rows.size(); ++i) out += (i ? ",\n " : "") + EventJson(rows[i]);
    std::fputs((out + "]\n").c_str(), stdout);
  } else {
    for (const EventRow& row : rows) {
      std::fputs(json ? (EventJson(row) + "\n").c_str() : EventLineText(row).c_str(), stdout);
    }
  }
  std::fflush(stdout);
}

}  // namespace

int RunEvents(int argc, char** argv) {
  bool json = false;
  bool all = false;
  bool follow = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (std::strcmp(argv[i], "--all") == 0) {
      all = true;
    } else if (std::strcmp(argv[i], "--follow") == 0) {
      follow = true;
    } else {
      return Usage();
    }
  }
  uint8_t* block = nullptr;
  if (int rc = AttachBlock(&block); rc != kExitOk) return rc;
  RingCounters counters = ReadRingCounters(block);
  // Following prints one JSON object per line, so that each can be read as it arrives.
  Print(ReadEventRows(block, RingOrder(counters, all)), json, follow);
  if (!follow) return kExitOk;

  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  while (!gInterrupted) {
    for (int tick = 0; tick < 10 && !gInterrupted; ++tick) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // A block cut short or replaced is attached again: the agent restores it at its next poll.
    if (AttachedBlockReplaced()) {
      uint8_t* again = nullptr;
      if (AttachBlock(&again) != kExitOk) continue;
      block = again;
    }
    const RingCounters now = ReadRingCounters(block);
    if (now.appendCount != counters.appendCount) {
      Print(ReadEventRows(block, NewSlots(counters, now)), json, true);
    }
    counters = now;
  }
  return kExitOk;
}

}  // namespace vigilctl
