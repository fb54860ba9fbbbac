#include "platform_model.h"

#include <memory>

#include "contract/driver_protocol.h"
#include "contract/smbios_types.h"
#include "log_utilization.h"
#include "os/os.h"
#include "smbios/known_models.h"
#include "smbios/smbios_walk.h"

namespace vigilctl {
namespace {

void TakeProductName(const vigil::smbios::TableView& table, const vigil::smbios::Structure& s,
                     const vigil::smbios::StringSet& set, void* context) {
  namespace smbios = vigil::smbios;
  if (s.type != smbios::kTypeSystemInformation) return;
  // The agent keeps the last system information structure; so does this. Only the first
  // kModelNameLength bytes name a model.
  smbios::CopyText(smbios::GetSmbiosString(table, s, set, smbios::FieldU8(table, s, smbios::kSystemProductNameField)),
                   static_cast<char*>(context), vigil::kModelNameLength + 1);
}

}  // namespace

std::string ModelFromSmbiosTable(const uint8_t* buffer) {
  char product[vigil::kModelNameLength + 1] = {};
  if (!vigil::smbios::WalkSmbiosTable(buffer, TakeProductName, product)) return "";
  const vigil::KnownModel* model = vigil::FindKnownModel(product);
  return model != nullptr ? model->productPrefix : "";
}

bool ReadPlatformModel(std::string* model, uint16_t* logDataSize) {
  os::Handle device = os::OpenDevice(vigil::kDriverPath);
  if (device == nullptr) return false;
  auto buffer = std::make_unique<uint8_t[]>(vigil::kSmbiosTableSize);
  uint32_t returned = 0;
  const bool read = os::DeviceIoControl(device, vigil::kIoctlReadSmbiosTable, nullptr, 0, buffer.get(),
                                        vigil::kSmbiosTableSize, &returned);
  os::CloseHandle(device);
  if (!read) return false;
  *model = ModelFromSmbiosTable(buffer.get());
  *logDataSize = EventLogDataSizeFromTable(buffer.get());
  return true;
}

}  // namespace vigilctl
