#include "config_file.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "file_reader.h"

namespace hwlinux {

int ParseConfig(const std::string& text, std::vector<Binding>* bindings, std::string* error) {
  bindings->clear();
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    std::istringstream words(trimmed);
    std::string verb, handleText;
    words >> verb >> handleText;
    std::string name;
    std::getline(words, name);
    name = Trim(name);
    char* end = nullptr;
    errno = 0;
    unsigned long handle = std::strtoul(handleText.c_str(), &end, 0);
    if (verb != "bind" || handleText.empty() || *end != '\0' || errno != 0 || handle > 0xFFFF ||
        name.empty()) {
      *error = "line " + std::to_string(number) + ": expected \"bind HANDLE SENSOR NAME\"";
      return -1;
    }
    bindings->push_back({static_cast<uint16_t>(handle), name});
  }
  return 0;
}

}  // namespace hwlinux
