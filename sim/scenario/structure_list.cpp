#include "scenario/structure_list.h"

namespace hwsim {

BuildResult BuildTable(Core& core, Layout layout, const std::vector<OwnedStructure>& list,
                       uint32_t* failedIndex) {
  std::vector<std::vector<const char*>> texts(list.size());
  std::vector<StructureDef> defs(list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    const OwnedStructure& s = list[i];
    for (const std::string& text : s.strings) texts[i].push_back(text.c_str());
    defs[i] = {s.type, s.handle, s.formatted.data(), static_cast<uint32_t>(s.formatted.size()),
               texts[i].data(), static_cast<uint32_t>(texts[i].size()), s.stringTable};
  }
  return BuildSmbiosTable(core, layout, defs.data(), static_cast<uint32_t>(defs.size()),
                          failedIndex);
}

}  // namespace hwsim
