#include "core/sensor_answer.h"

#include "contract/le_bytes.h"
#include "core/bytes.h"
#include "core/codes.h"

namespace hwsim {

void AnswerSensorRead(uint8_t* response, const uint8_t* formatted, uint32_t length,
                      uint8_t structureType, uint8_t status, uint16_t raw) {
  constexpr uint32_t kAreaSize = kCommandBlockSize - kCommandResponseOffset;
  FillBytes(response, 0, kAreaSize);
  CopyBytes(response, formatted, length < kAreaSize ? length : kAreaSize);
  bool probe = structureType != kTypeCoolingDevice;
  response[probe ? kProbeStatusByte : kCoolingStatusByte] = status;
  vigil::le::Store16(response + (probe ? kProbeRawWord : kCoolingRawWord), raw);
}

}  // namespace hwsim
