#include "provider/sensor_answer.h"

#include "contract/driver_protocol.h"
#include "contract/le_bytes.h"
#include "contract/smbios_types.h"
#include "provider/bytes.h"

namespace hwgate {

void AnswerSensorRead(uint8_t* response, const uint8_t* formatted, uint32_t length,
                      uint8_t structureType, uint8_t status, uint16_t raw) {
  constexpr uint32_t kAreaSize = vigil::kCommandBlockSize - vigil::kCommandResponseOffset;
  FillBytes(response, 0, kAreaSize);
  CopyBytes(response, formatted, length < kAreaSize ? length : kAreaSize);
  bool probe = structureType != vigil::smbios::kTypeCoolingDevice;
  response[probe ? vigil::kProbeStatusByte : vigil::kCoolingStatusByte] = status;
  vigil::le::Store16(response + (probe ? vigil::kProbeRawWord : vigil::kCoolingRawWord), raw);
}

}  // namespace hwgate
