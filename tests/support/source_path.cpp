#include "support/source_path.h"

namespace vigil::test {

std::string SourcePath(const std::string& relative) { return std::string(VIGIL_SOURCE_DIR) + "/" + relative; }

}  // namespace vigil::test
