// vigilctl request N [--wait]: any request code, for tests and experts.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "agent_request.h"
#include "client_block.h"
#include "command.h"

namespace vigilctl {

int RunRequest(int argc, char** argv) {
  bool wait = false;
  const char* number = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--wait") == 0) {
      wait = true;
    } else if (number == nullptr) {
      number = argv[i];
    } else {
      number = nullptr;
      break;
    }
  }
  char* end = nullptr;
  errno = 0;
  long long code = number != nullptr ? std::strtoll(number, &end, 0) : 0;
  if (number == nullptr || *number == '\0' || *end != '\0' || errno != 0 || code < INT32_MIN || code > INT32_MAX) {
    std::fprintf(stderr, "usage: vigilctl request N [--wait]   (N a signed 32-bit number)\n");
    return kExitUsage;
  }
  uint8_t* block = nullptr;
  if (int rc = AttachBlock(&block); rc != kExitOk) return rc;
  return SendRequest(block, static_cast<int32_t>(code), wait);
}

}  // namespace vigilctl
