#include "agent/shared/shared_block.h"

#include <atomic>
#include <cstdlib>

#include "os/os.h"
#include "contract/block_layout.h"

namespace vigil {

uint8_t* gBlock = nullptr;
uint8_t* gView = nullptr;

namespace {

// The mapping behind gView. It stays open, like the view, until the process ends; kept here so
// it is still reachable (a second set-up in one process, as tests do, replaces it).
os::Handle gMapping = nullptr;

// The service thread publishes the block; the control handler and the request thread may
// look at the pointer at the same moment, so it is handed over with release/acquire.
void PublishBlock(uint8_t* block) {
  std::atomic_ref<uint8_t*>(gBlock).store(block, std::memory_order_release);
}

}  // namespace

uint8_t* CurrentBlock() { return std::atomic_ref<uint8_t*>(gBlock).load(std::memory_order_acquire); }

uint8_t* CreateSharedBlock(const char* name, std::size_t size) {
  // The port gives the mapping world access and refuses an existing one too small to hold
  // the block, so nothing is ever written past a client's short mapping.
  os::Handle mapping = os::CreateNamedMapping(name, size);
  if (mapping == nullptr) return nullptr;
  void* view = os::MapWholeView(mapping);
  if (view == nullptr) {
    os::CloseHandle(mapping);
    os::MessageBox("Cannot MapViewOfFile", "ERROR !!!", os::kMbIconWarning);
    return nullptr;
  }
  // An earlier view keeps its memory: views live until the process ends.
  os::CloseHandle(gMapping);
  gMapping = mapping;
  return static_cast<uint8_t*>(view);
}

int SetUpSharedBlock() {
  gView = CreateSharedBlock(block::kName, block::kSize);
  uint8_t* block = gView;
  if (block == nullptr) {
    // Clients cannot see a private block, but the agent runs the same on it.
    block = static_cast<uint8_t*>(std::calloc(block::kSize, 1));
  }
  PublishBlock(block);
  return block != nullptr ? 0 : -1;
}

void ReleaseSharedBlock() {
  uint8_t* block = gBlock;
  if (block == nullptr || block == gView) return;
  PublishBlock(nullptr);
  std::free(block);
}

}  // namespace vigil
