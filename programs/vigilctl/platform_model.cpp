#include "platform_model.h"

#include <memory>

#include "contract/driver_protocol.h"
#include "contract/registry_paths.h"
#include "contract/smbios_types.h"
#include "log_utilization.h"
#include "os/os.h"
#include "smbios/known_models.h"
#include "smbios/smbios_walk.h"

namespace vigilctl {
namespace {

// Longer strings are cut: a label or a status line has no use for more.
constexpr std::size_t kIdentityTextSize = 64;

void TakeSystemStrings(const vigil::smbios::TableView& table, const vigil::smbios::Structure& s,
                       const vigil::smbios::StringSet& set, void* context) {
  namespace smbios = vigil::smbios;
  if (s.type != smbios::kTypeSystemInformation) return;
  // The agent keeps the last system information structure; so does this.
  auto* identity = static_cast<PlatformIdentity*>(context);
  char text[kIdentityTextSize];
  smbios::CopyText(smbios::GetSmbiosString(table, s, set, smbios::FieldU8(table, s, smbios::kSystemManufacturerField)),
                   text, sizeof text);
  identity->manufacturer = text;
  smbios::CopyText(smbios::GetSmbiosString(table, s, set, smbios::FieldU8(table, s, smbios::kSystemProductNameField)),
                   text, sizeof text);
  identity->product = text;
}

}  // namespace

PlatformIdentity IdentityFromSmbiosTable(const uint8_t* buffer) {
  PlatformIdentity identity;
  if (!vigil::smbios::WalkSmbiosTable(buffer, TakeSystemStrings, &identity)) return {};
  // Only the first kModelNameLength bytes name a model; a shorter name matches none.
  char prefix[vigil::kModelNameLength] = {};
  identity.product.copy(prefix, sizeof prefix);
  const vigil::KnownModel* model = vigil::FindKnownModel(prefix);
  identity.model = model != nullptr ? model->productPrefix : "";
  return identity;
}

bool ReadPlatformIdentity(PlatformIdentity* identity) {
  os::Handle device = os::OpenDevice(vigil::kDriverPath);
  if (device == nullptr) return false;
  auto buffer = std::make_unique<uint8_t[]>(vigil::kSmbiosTableSize);
  uint32_t returned = 0;
  const bool read = os::DeviceIoControl(device, vigil::kIoctlReadSmbiosTable, nullptr, 0, buffer.get(),
                                        vigil::kSmbiosTableSize, &returned);
  os::CloseHandle(device);
  if (read) {
    *identity = IdentityFromSmbiosTable(buffer.get());
    identity->logDataSize = EventLogDataSizeFromTable(buffer.get());
  }
  return read;
}

bool GenericSetInUse(const PlatformIdentity& identity, bool* known) {
  *known = true;
  if (!identity.model.empty()) return false;
  const std::string path =
      std::string(vigil::kParametersBasePath) + vigil::kEventStringTableName + vigil::kGenericEventTableName;
  os::RegHandle key = nullptr;
  const long rc = os::RegOpenKey(path.c_str(), os::kKeyRead, &key);
  if (rc == os::kErrorSuccess) {
    os::RegCloseKey(key);
    return true;
  }
  *known = rc == os::kErrorFileNotFound;
  return false;
}

}  // namespace vigilctl
