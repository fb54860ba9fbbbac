#include "agent/config/agent_parameters.h"

#include "agent/config/reg_key.h"
#include "contract/registry_paths.h"
#include "contract/block_access.h"
#include "contract/block_layout.h"
#include "agent/shared/shared_block.h"

namespace vigil {

namespace {

// The order is fixed: "CPUOverTempShoutdown" first, then "ClearEventLog_Enabled". Because a
// failed read closes the key, a first value that cannot be read zeroes both fields.
struct ParameterField {
  const char* valueName;
  std::size_t offset;
};
constexpr ParameterField kParameters[] = {
    {kCpuOverTempShutdownValue, block::kCpuOverTempShutdown},
    {kClearEventLogEnabledValue, block::kClearEventLogEnabled},
};

}  // namespace

void LoadAgentParameters() {
  uint8_t* block = CurrentBlock();
  if (block == nullptr) return;
  RegKey key;
  if (key.Open(kParametersBasePath, kAgentParameterSubkey) != 0) return;
  for (const ParameterField& field : kParameters) {
    uint32_t value = 0;
    // Only a whole REG_DWORD is taken; anything else reads as missing, which means 0.
    if (key.ReadDword(field.valueName, &value) != 0) value = 0;
    block::StoreU32(block, field.offset, value);
  }
  key.Close();
}

void SaveAgentParameters() {
  const uint8_t* block = CurrentBlock();
  if (block == nullptr) return;
  RegKey key;
  if (key.Open(kParametersBasePath, kAgentParameterSubkey) != 0) return;
  for (const ParameterField& field : kParameters) {
    // After a failed write the key is closed and the rest fail without touching the registry.
    if (key.WriteDword(field.valueName, block::LoadU32(block, field.offset)) != 0) return;
  }
  key.Close();
}

}  // namespace vigil
