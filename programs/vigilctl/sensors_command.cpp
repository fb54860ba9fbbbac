// vigilctl sensors [--kind all|temp|volt|fan] [--json] [--no-refresh]
#include <cstdio>
#include <cstring>

#include "agent_request.h"
#include "client_block.h"
#include "command.h"
#include "sensor_view.h"
#include "contract/block_layout.h"

namespace vigilctl {
namespace {

struct KindChoice {
  const char* name;
  SensorKind kind;
  int32_t request;
};
const KindChoice kKinds[] = {
    {"all", SensorKind::kAll, vigil::kRequestRefreshAll},
    {"temp", SensorKind::kTemperature, vigil::kRequestRefreshTemperature},
    {"volt", SensorKind::kVoltage, vigil::kRequestRefreshVoltage},
    {"fan", SensorKind::kFan, vigil::kRequestRefreshFan},
};

int Usage() {
  std::fprintf(stderr, "usage: vigilctl sensors [--kind all|temp|volt|fan] [--json] [--no-refresh]\n");
  return kExitUsage;
}

}  // namespace

int RunSensors(int argc, char** argv) {
  const KindChoice* kind = &kKinds[0];
  bool json = false;
  bool refresh = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (std::strcmp(argv[i], "--no-refresh") == 0) {
      refresh = false;
    } else if (std::strcmp(argv[i], "--kind") == 0 && i + 1 < argc) {
      ++i;
      kind = nullptr;
      for (const KindChoice& k : kKinds) {
        if (std::strcmp(argv[i], k.name) == 0) kind = &k;
      }
      if (kind == nullptr) return Usage();
    } else {
      return Usage();
    }
  }
  uint8_t* block = nullptr;
  if (int rc = AttachBlock(&block); rc != kExitOk) return rc;
  if (refresh) {
    if (!AgentStarted(block)) return kExitNoAnswer;
    if (int rc = SendRequest(block, kind->request, true); rc != kExitOk) return rc;
  }
  std::vector<SensorRow> rows = ReadSensorRows(block, kind->kind);
  std::fputs(json ? SensorTableJson(rows).c_str() : SensorTableText(rows).c_str(), stdout);
  if (!refresh) return kExitOk;
  const UnreadCount outcome = CountUnread(block, kind->request);
  if (outcome.unread == 0) return kExitOk;
  // The block cannot tell a failed read from a sensor that reports Unknown itself: both leave
  // state Unknown, and neither reading is current.
  std::fprintf(stderr,
               "vigilctl: %zu of %zu sensors have no current reading (state Unknown: not read, or the "
               "sensor reports Unknown; last reading shown)\n",
               outcome.unread, outcome.asked);
  // Some fresh readings are still an answer; none at all is a failed refresh.
  return outcome.unread == outcome.asked ? kExitFailed : kExitOk;
}

}  // namespace vigilctl
