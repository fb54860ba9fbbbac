#include "support/agent_block.h"

#include <cstring>

#include "os/os.h"
#include "contract/block_layout.h"
#include "support/wait_until.h"

namespace vigil::test {

uint8_t* WaitForAgentBlock(std::chrono::milliseconds timeout) {
  uint8_t* view = nullptr;
  WaitUntil([&] {
    os::Handle mapping = os::OpenNamedMapping(block::kName, block::kSize, nullptr);
    if (mapping == nullptr) return false;
    view = static_cast<uint8_t*>(os::MapWholeView(mapping));
    os::CloseHandle(mapping);  // the view outlives its handle
    return view != nullptr;
  }, timeout);
  return view;
}

uint8_t* HoldClientBlock(const std::string& contents) {
  os::Handle mapping = os::CreateNamedMapping(block::kName, contents.size());
  auto* view = static_cast<uint8_t*>(os::MapWholeView(mapping));
  os::CloseHandle(mapping);  // the view keeps the block held until the process ends
  if (view != nullptr) std::memcpy(view, contents.data(), contents.size());
  return view;
}

}  // namespace vigil::test
