#include "support/agent_block.h"

#include "os/os.h"
#include "contract/block_layout.h"
#include "support/sandbox.h"

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

}  // namespace vigil::test
