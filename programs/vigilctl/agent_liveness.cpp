#include "agent_liveness.h"

#include <cstdio>
#include <string>

#include "contract/block_layout.h"
#include "os/os.h"
#ifndef _WIN32
#include "os/posix/root_paths.h"
#endif

namespace vigilctl {

bool ServiceReportsRunning() {
#ifdef _WIN32
  return true;
#else
  std::FILE* file = std::fopen(os::posix::RootedPath("/run/vigilagent/status").c_str(), "rb");
  if (file == nullptr) return true;
  // A few lines per run (the file starts afresh with each start): the tail holds the last one.
  char tail[1024];
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fseek(file, size > long(sizeof tail) ? size - long(sizeof tail) : 0, SEEK_SET);
  const std::size_t n = std::fread(tail, 1, sizeof tail, file);
  std::fclose(file);
  std::string text(tail, n);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  if (text.empty()) return true;
  const std::size_t start = text.rfind('\n');
  const std::string last = start == std::string::npos ? text : text.substr(start + 1);
  // A note (" note=block-unpublished") says the agent runs without serving its clients.
  return last.rfind("RUNNING ", 0) == 0 && last.find(" note=") == std::string::npos;
#endif
}

bool RequestChannelHeld() {
  os::Handle event = os::OpenNamedEvent(vigil::kRequestEventName);
  if (event == nullptr) return false;
  os::CloseHandle(event);
  return true;
}

}  // namespace vigilctl
