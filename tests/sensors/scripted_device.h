// An in-process stand-in for the platform driver that answers command 0x51 from a script,
// registered at the driver path so the agent's real channel code reaches it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "agent/platform/driver_channel.h"
#include "contract/block_access.h"

namespace vigil::test {

class ScriptedDevice {
 public:
  enum class Kind { kProbe, kFan };
  struct Answer {
    Kind kind;
    uint8_t status;
    uint16_t raw;
  };

  ScriptedDevice() {
    os::RegisterLocalDevice(kDriverPath, &ScriptedDevice::Serve, this);
    gDriverRetryDelayMs = 0;
    OpenDriverChannel();
  }
  ~ScriptedDevice() {
    CloseDriverChannel();
    os::RegisterLocalDevice(kDriverPath, nullptr, nullptr);
  }
  ScriptedDevice(const ScriptedDevice&) = delete;
  ScriptedDevice& operator=(const ScriptedDevice&) = delete;

  void Set(uint16_t handle, Answer answer) { answers_[handle] = answer; }
  // Command number n (counted from 0) fails.
  void FailCommand(std::size_t n) { failing_.push_back(n); }
  // Runs before command n is answered, to change the block in the middle of a walk.
  void OnCommand(std::size_t n, std::function<void()> action) { actions_[n] = std::move(action); }

  // Handles of the sensor commands received, in order.
  const std::vector<uint16_t>& commands() const { return commands_; }
  std::size_t badCommands() const { return bad_; }

 private:
  static bool Serve(void* context, uint32_t code, const void* in, uint32_t inLen, void* out,
                    uint32_t outLen, uint32_t* returned) {
    return static_cast<ScriptedDevice*>(context)->Answer_(code, in, inLen, out, outLen, returned);
  }

  bool Answer_(uint32_t code, const void* in, uint32_t inLen, void* out, uint32_t outLen,
               uint32_t* returned) {
    const auto* request = static_cast<const uint8_t*>(in);
    if (code != kIoctlDeviceCommand || inLen != kCommandBlockSize || outLen != kCommandBlockSize ||
        block::LoadU16(request, kCommandCodeOffset) != kCommandReadSensor) {
      ++bad_;
      return false;
    }
    std::size_t n = commands_.size();
    uint16_t handle = block::LoadU16(request, kCommandArgumentOffset);
    commands_.push_back(handle);
    if (auto it = actions_.find(n); it != actions_.end()) it->second();
    for (std::size_t f : failing_) {
      if (f == n) return false;
    }
    auto it = answers_.find(handle);
    if (it == answers_.end()) return false;
    // The response area mirrors the SMBIOS structure of the handle.
    auto* response = static_cast<uint8_t*>(out) + kCommandResponseOffset;
    if (it->second.kind == Kind::kProbe) {
      response[5] = it->second.status;
      block::StoreU16(response, 20, it->second.raw);
    } else {
      response[6] = it->second.status;
      block::StoreU16(response, 12, it->second.raw);
    }
    if (returned != nullptr) *returned = kCommandBlockSize;
    return true;
  }

  std::map<uint16_t, Answer> answers_;
  std::vector<std::size_t> failing_;
  std::map<std::size_t, std::function<void()>> actions_;
  std::vector<uint16_t> commands_;
  std::size_t bad_ = 0;
};

}  // namespace vigil::test
