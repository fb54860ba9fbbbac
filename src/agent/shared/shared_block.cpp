#include "agent/shared/shared_block.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "os/os.h"
#include "contract/block_layout.h"

namespace vigil {

namespace {

// gLastPoll holds the block page by page, all-zero pages left out: a history far from full is
// mostly zeros. Empty until the first poll, which then reads as all zeros.
constexpr std::size_t kCopyPage = 4096;
constexpr std::size_t kCopyPages = (block::kSize + kCopyPage - 1) / kCopyPage;

void TakeLastPoll(const uint8_t* block) {
  gLastPoll.resize(kCopyPages);
  for (std::size_t i = 0; i < kCopyPages; ++i) {
    const uint8_t* begin = block + i * kCopyPage;
    const uint8_t* end = block + std::min(block::kSize, (i + 1) * kCopyPage);
    if (std::all_of(begin, end, [](uint8_t b) { return b == 0; })) {
      std::vector<uint8_t>().swap(gLastPoll[i]);
    } else {
      gLastPoll[i].assign(begin, end);
    }
  }
}

// The last poll's bytes from offset `from` on into `held` (a whole block of zeros).
void CopyLastPoll(std::size_t from, uint8_t* held) {
  for (std::size_t i = 0; i < gLastPoll.size(); ++i) {
    const std::size_t begin = std::max(from, i * kCopyPage);
    const std::size_t end = i * kCopyPage + gLastPoll[i].size();
    if (begin < end) std::memcpy(held + begin, gLastPoll[i].data() + (begin - i * kCopyPage), end - begin);
  }
}

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

bool BlockPublished() { return gView != nullptr && CurrentBlock() == gView; }

int KeepBlockWhole() {
  if (!BlockPublished()) return 0;
  std::size_t kept = 0;
  if (!os::MappingCutShort(gMapping, &kept)) {
    TakeLastPoll(gView);
    return 0;
  }
  // Below the cut the view still shares the file; above it only the last poll's copy is left
  // (zero when the cut came before the first poll).
  std::vector<uint8_t> held(block::kSize, 0);
  std::memcpy(held.data(), gView, kept);
  CopyLastPoll(kept, held.data());
  const std::string what = "The shared block \"" + std::string(block::kName) + "\" was cut to " +
                           std::to_string(kept) + " of " + std::to_string(block::kSize) + " bytes by another process";
  if (os::RestoreMappingSize(gMapping, gView) != 0) {
    if (!gBlockRestoreFailureLogged) {
      os::MessageBox((what + "; its size cannot be restored: clients cannot read this agent").c_str(), "Shared block",
                     os::kMbIconError);
    }
    gBlockRestoreFailureLogged = true;
    return -1;
  }
  gBlockRestoreFailureLogged = false;
  std::memcpy(gView, held.data(), block::kSize);
  TakeLastPoll(held.data());
  os::MessageBox((what + "; its size and contents are restored").c_str(), "Shared block", os::kMbIconWarning);
  return 0;
}

void ReleaseSharedBlock() {
  uint8_t* block = gBlock;
  if (block == nullptr || block == gView) return;
  PublishBlock(nullptr);
  std::free(block);
}

}  // namespace vigil
