#include "config_file.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "file_reader.h"

namespace hwlinux {

namespace {

bool ParseBind(std::istringstream& words, Config* config) {
  std::string handleText;
  words >> handleText;
  std::string name;
  std::getline(words, name);
  name = Trim(name);
  char* end = nullptr;
  errno = 0;
  unsigned long handle = std::strtoul(handleText.c_str(), &end, 0);
  if (handleText.empty() || *end != '\0' || errno != 0 || handle > 0xFFFF || name.empty()) return false;
  config->bindings.push_back({static_cast<uint16_t>(handle), name});
  return true;
}

bool ParseDouble(const std::string& text, double* value) {
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && errno == 0 && std::isfinite(*value);
}

// CHANNEL or CHIP/CHANNEL, a quoted name, a factor and an optional offset.
bool ParseScale(std::istringstream& words, Config* config) {
  ChannelScale scale;
  std::string target;
  words >> target;
  const size_t slash = target.find('/');
  if (slash != std::string::npos) {
    scale.chip = target.substr(0, slash);
    target = target.substr(slash + 1);
  }
  scale.channel = target;
  words >> std::ws;
  if (words.get() != '"') return false;
  if (!std::getline(words, scale.name, '"') || Trim(scale.name).empty()) return false;
  scale.name = Trim(scale.name);
  std::string factor, offset, extra;
  words >> factor >> offset >> extra;
  if (!ParseDouble(factor, &scale.factor) || scale.factor == 0.0 || !extra.empty()) return false;
  if (!offset.empty() && !ParseDouble(offset, &scale.offset)) return false;
  const bool known = (target.rfind("in", 0) == 0 && target.size() > 2) ||
                     (target.rfind("temp", 0) == 0 && target.size() > 4) ||
                     (target.rfind("fan", 0) == 0 && target.size() > 3);
  if (!known || (slash != std::string::npos && scale.chip.empty())) return false;
  config->scales.push_back(scale);
  return true;
}

}  // namespace

int ParseConfig(const std::string& text, Config* config, std::string* error) {
  *config = Config();
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    std::istringstream words(trimmed);
    std::string verb;
    words >> verb;
    if (verb == "bind" && ParseBind(words, config)) continue;
    if (verb == "scale" && ParseScale(words, config)) continue;
    *error = "line " + std::to_string(number) + ": expected \"bind HANDLE SENSOR NAME\" or " +
             "\"scale [CHIP/]CHANNEL \\\"NAME\\\" FACTOR [OFFSET]\"";
    return -1;
  }
  return 0;
}

}  // namespace hwlinux
