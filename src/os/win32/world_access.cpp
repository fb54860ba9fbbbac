#include "os/win32/win32_api.h"

namespace os::win32 {

WorldAccess::WorldAccess() {
  ok_ = ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) != FALSE &&
        ::SetSecurityDescriptorDacl(&descriptor_, TRUE, nullptr, FALSE) != FALSE;
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = TRUE;
}

}  // namespace os::win32
