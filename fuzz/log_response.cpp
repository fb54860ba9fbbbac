// libFuzzer: arbitrary LogReadRecord responses and continuation chains through PollEventLog.
// Input: 6 bytes of reader state (log data size, stored position, records seen), then one
// 77-byte chunk per exchange: a byte whose low bit fails the exchange, and the 76 bytes the
// device answers with. The exchange after the last chunk fails. The registry refuses every
// write (its database path is a directory), so each poll also takes that path.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "agent/eventlog/event_log_reader.h"
#include "contract/driver_protocol.h"
#include "os/os.h"
#include "agent/platform/driver_channel.h"
#include "contract/block_layout.h"
#include "agent/shared/shared_block.h"

namespace {

constexpr std::size_t kStateBytes = 6;
constexpr std::size_t kChunk = 1 + sizeof(vigil::LogReadRecord);

struct Script {
  const uint8_t* data;
  std::size_t size;
  std::size_t next;
};
Script gScript;
std::string gRoot;
std::vector<uint8_t>* gBlockBytes;
int gRuns = 0;

bool Serve(void*, uint32_t code, const void*, uint32_t, void* out, uint32_t outLen, uint32_t* returned) {
  if (code != vigil::kIoctlReadEventLog) return true;  // the alert command
  if (gScript.next + kChunk > gScript.size) return false;
  const uint8_t* chunk = gScript.data + gScript.next;
  gScript.next += kChunk;
  if (chunk[0] & 1) return false;
  const uint32_t n = outLen < kChunk - 1 ? outLen : uint32_t(kChunk - 1);
  std::memcpy(out, chunk + 1, n);
  if (returned) *returned = n;
  return true;
}

void SetUpOnce() {
  char dir[] = "/tmp/vigil-fuzz-log-XXXXXX";
  gRoot = mkdtemp(dir);
  setenv("VIGIL_ROOT", gRoot.c_str(), 1);
  setenv("TZ", "UTC0", 1);
  mkdir((gRoot + "/var").c_str(), 0755);
  mkdir((gRoot + "/var/lib").c_str(), 0755);
  mkdir((gRoot + "/var/lib/vigilagent").c_str(), 0755);
  mkdir((gRoot + "/var/lib/vigilagent/registry.db").c_str(), 0755);
  gBlockBytes = new std::vector<uint8_t>(vigil::block::kSize);
  vigil::gBlock = gBlockBytes->data();
  os::RegisterLocalDevice(vigil::kDriverPath, Serve, nullptr);
  vigil::gDriverRetryDelayMs = 0;
  vigil::OpenDriverChannel();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const bool once = (SetUpOnce(), true);
  (void)once;
  if (size < kStateBytes) return 0;
  vigil::EventLogReaderState& r = vigil::gEventLogReader;
  r = vigil::EventLogReaderState{};
  r.logDataSize = uint16_t(data[0] | data[1] << 8);
  r.storedPosition = uint16_t(data[2] | data[3] << 8);
  r.recordsSeen = uint16_t(data[4] | data[5] << 8);
  // The ring index is the block's: any value another process may have left there.
  std::memcpy(vigil::gBlock, data + 2, 2);
  gScript = {data + kStateBytes, size - kStateBytes, 0};
  vigil::PollEventLog();
  // Reports are appended to the sandbox's event log file: keep the disk flat.
  if (++gRuns % 256 == 0) unlink((gRoot + "/var/log/vigilagent/events.log").c_str());
  return 0;
}
