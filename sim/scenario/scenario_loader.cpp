#include "scenario/scenario_loader.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "core/event_log.h"
#include "core/smbios_builder.h"
#include "scenario/hex.h"
#include "scenario/structure_list.h"

namespace hwsim {

namespace {

using Json = nlohmann::json;

// Scenario files and the tables they name are small; anything larger is not one of them, and a
// device or a directory named by mistake must not be read without end.
constexpr std::uintmax_t kMaxInputFileBytes = 16u << 20;

// Reads the regular file at `path` whole. False with the reason in *why.
bool ReadInputFile(const std::string& path, std::string* bytes, std::string* why) {
  std::error_code ec;
  std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status)) {
    *why = "cannot read '" + path + "'";
    return false;
  }
  if (!std::filesystem::is_regular_file(status)) {
    *why = "'" + path + "' is not a regular file";
    return false;
  }
  std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size > kMaxInputFileBytes) {
    *why = "'" + path + "' is larger than " + std::to_string(kMaxInputFileBytes) + " bytes";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *why = "cannot read '" + path + "'";
    return false;
  }
  // Bounded again while reading: the file may grow after it was measured.
  bytes->assign(static_cast<size_t>(size), '\0');
  in.read(bytes->data(), static_cast<std::streamsize>(size));
  bytes->resize(static_cast<size_t>(in.gcount()));
  if (in.bad()) {
    *why = "cannot read '" + path + "'";
    return false;
  }
  return true;
}

// Carries the key path of what is being read, so every complaint names its place.
class Reader {
 public:
  Reader(std::string name, std::string baseDir) : name_(std::move(name)), baseDir_(std::move(baseDir)) {}

  bool Fail(const std::string& key, const std::string& what) {
    if (error_.empty()) error_ = name_ + ": " + (key.empty() ? "(document)" : key) + ": " + what;
    return false;
  }
  const std::string& error() const { return error_; }

  bool Object(const Json& j, const std::string& key, std::set<std::string> allowed) {
    if (!j.is_object()) return Fail(key, "must be an object");
    for (const auto& item : j.items()) {
      if (allowed.count(item.key()) == 0) return Fail(Join(key, item.key()), "unknown key");
    }
    return true;
  }

  // A JSON number, or a decimal / "0x" hex number written as a string.
  bool Unsigned(const Json& j, const std::string& key, uint64_t max, uint64_t* value) {
    std::string why;
    if (j.is_number_unsigned()) {
      *value = j.get<uint64_t>();
      if (*value <= max) return true;
      return Fail(key, std::to_string(*value) + " is larger than " + std::to_string(max));
    }
    if (j.is_string()) {
      if (ParseUnsigned(j.get<std::string>(), max, value, &why)) return true;
      return Fail(key, why);
    }
    return Fail(key, "must be a number from 0 to " + std::to_string(max) + " (or a \"0x..\" string)");
  }

  bool Text(const Json& j, const std::string& key, std::string* value) {
    if (!j.is_string()) return Fail(key, "must be a string");
    *value = j.get<std::string>();
    return true;
  }

  bool Hex(const Json& j, const std::string& key, std::vector<uint8_t>* bytes) {
    std::string text, why;
    if (!Text(j, key, &text)) return false;
    if (!ParseHexBytes(text, bytes, &why)) return Fail(key, why);
    return true;
  }

  static std::string Join(const std::string& key, const std::string& child) {
    return key.empty() ? child : key + "." + child;
  }
  static std::string Index(const std::string& key, size_t i) {
    return key + "[" + std::to_string(i) + "]";
  }

  const std::string& baseDir() const { return baseDir_; }

 private:
  std::string name_;
  std::string baseDir_;
  std::string error_;
};

bool ReadLayout(Reader& r, const Json& j, Layout* layout) {
  std::string text;
  if (!r.Text(j, "smbios.layout", &text)) return false;
  if (text == "standard") *layout = Layout::kStandard;
  else if (text == "strings-apart") *layout = Layout::kStringsApart;
  else if (text == "none") *layout = Layout::kNone;
  else return r.Fail("smbios.layout", "'" + text + "' is not one of standard, strings-apart, none");
  return true;
}

bool ReadStructure(Reader& r, const Json& j, const std::string& key, size_t index,
                   OwnedStructure* s) {
  if (!r.Object(j, key, {"type", "handle", "formatted", "strings", "stringTable", "comment"})) return false;
  for (const char* required : {"type", "handle", "formatted"}) {
    if (!j.contains(required)) return r.Fail(Reader::Join(key, required), "missing");
  }
  uint64_t type, handle, table = 1 + index % 2;
  if (!r.Unsigned(j["type"], Reader::Join(key, "type"), 0xFF, &type)) return false;
  if (!r.Unsigned(j["handle"], Reader::Join(key, "handle"), 0xFFFF, &handle)) return false;
  if (!r.Hex(j["formatted"], Reader::Join(key, "formatted"), &s->formatted)) return false;
  if (j.contains("stringTable") &&
      (!r.Unsigned(j["stringTable"], Reader::Join(key, "stringTable"), 2, &table) || table == 0)) {
    return r.Fail(Reader::Join(key, "stringTable"), "must be 1 or 2");
  }
  if (j.contains("strings")) {
    const Json& strings = j["strings"];
    std::string skey = Reader::Join(key, "strings");
    if (!strings.is_array()) return r.Fail(skey, "must be an array of strings");
    for (size_t i = 0; i < strings.size(); ++i) {
      std::string text;
      if (!r.Text(strings[i], Reader::Index(skey, i), &text)) return false;
      if (text.empty() || text.find('\0') != std::string::npos) {
        return r.Fail(Reader::Index(skey, i), "must be non-empty and without NUL characters");
      }
      s->strings.push_back(text);
    }
  }
  s->type = static_cast<uint8_t>(type);
  s->handle = static_cast<uint16_t>(handle);
  s->stringTable = static_cast<uint8_t>(table);
  return true;
}

bool ReadTableFile(Reader& r, const Json& j, std::vector<OwnedStructure>* list) {
  std::string file;
  if (!r.Text(j, "smbios.file", &file)) return false;
  std::string path = (!file.empty() && file[0] == '/') ? file : r.baseDir() + "/" + file;
  std::string contents, why;
  if (!ReadInputFile(path, &contents, &why)) return r.Fail("smbios.file", why);
  std::vector<uint8_t> bytes(contents.begin(), contents.end());
  if (!ParseRawTable(bytes, list, &why)) return r.Fail("smbios.file", why);
  return true;
}

bool ReadSmbios(Reader& r, const Json& j, Core* core) {
  if (!r.Object(j, "smbios", {"layout", "file", "structures", "fail"})) return false;
  if (!j.contains("layout")) return r.Fail("smbios.layout", "missing");
  Layout layout;
  if (!ReadLayout(r, j["layout"], &layout)) return false;
  if (j.contains("file") == j.contains("structures")) {
    return r.Fail("smbios", "give exactly one of \"file\" and \"structures\"");
  }
  std::vector<OwnedStructure> list;
  if (j.contains("file")) {
    if (!ReadTableFile(r, j["file"], &list)) return false;
  } else {
    const Json& structures = j["structures"];
    if (!structures.is_array()) return r.Fail("smbios.structures", "must be an array");
    list.resize(structures.size());
    for (size_t i = 0; i < structures.size(); ++i) {
      if (!ReadStructure(r, structures[i], Reader::Index("smbios.structures", i), i, &list[i])) return false;
    }
  }
  uint32_t failed = 0;
  BuildResult built = BuildTable(*core, layout, list, &failed);
  if (built != BuildResult::kOk) {
    std::string key = failed < list.size() ? Reader::Index(j.contains("file") ? "smbios.file" : "smbios.structures", failed)
                                           : std::string("smbios");
    return r.Fail(key, DescribeBuildResult(built));
  }
  if (j.contains("fail")) {
    if (!j["fail"].is_boolean()) return r.Fail("smbios.fail", "must be true or false");
    core->smbiosFails = j["fail"].get<bool>();
  }
  return true;
}

bool ReadEventLog(Reader& r, const Json& j, Core* core) {
  if (!r.Object(j, "eventLog", {"firstRecordTime", "records"})) return false;
  uint64_t time = 0;
  if (!j.contains("firstRecordTime")) return r.Fail("eventLog.firstRecordTime", "missing");
  if (!r.Unsigned(j["firstRecordTime"], "eventLog.firstRecordTime", 0xFFFFFFFF, &time)) return false;
  ClearLog(*core, static_cast<uint32_t>(time));
  if (!j.contains("records")) return true;
  const Json& records = j["records"];
  if (!records.is_array()) return r.Fail("eventLog.records", "must be an array of hex strings");
  for (size_t i = 0; i < records.size(); ++i) {
    std::string key = Reader::Index("eventLog.records", i);
    std::vector<uint8_t> bytes;
    if (!r.Hex(records[i], key, &bytes)) return false;
    if (bytes.size() < kMinRecordLength) return r.Fail(key, DescribeAppendResult(AppendResult::kBadLength));
    AppendResult appended = AppendLogRecord(*core, bytes.data(), static_cast<uint32_t>(bytes.size()));
    if (appended != AppendResult::kOk) return r.Fail(key, DescribeAppendResult(appended));
  }
  return true;
}

bool ReadSensors(Reader& r, const Json& j, Core* core) {
  if (!j.is_object()) return r.Fail("sensors", "must be an object keyed by handle");
  for (const auto& item : j.items()) {
    std::string key = Reader::Join("sensors", item.key());
    uint64_t handle, raw, status;
    std::string why;
    if (!ParseUnsigned(item.key(), 0xFFFF, &handle, &why)) return r.Fail(key, "bad handle: " + why);
    const Json& sensor = item.value();
    if (!r.Object(sensor, key, {"raw", "status", "comment"})) return false;
    if (!sensor.contains("raw")) return r.Fail(Reader::Join(key, "raw"), "missing");
    if (!sensor.contains("status")) return r.Fail(Reader::Join(key, "status"), "missing");
    if (!r.Unsigned(sensor["raw"], Reader::Join(key, "raw"), 0xFFFF, &raw)) return false;
    if (!r.Unsigned(sensor["status"], Reader::Join(key, "status"), 0xFF, &status)) return false;
    if (!SetSensor(*core, static_cast<uint16_t>(handle), static_cast<uint16_t>(raw),
                   static_cast<uint8_t>(status))) {
      return r.Fail(key, "no probe or cooling device structure (type 26, 27, 28) has this handle");
    }
  }
  return true;
}

bool ReadScenario(Reader& r, const std::string& text, Core* core) {
  Json j;
  try {
    j = Json::parse(text);
  } catch (const Json::exception& e) {  // also a number too large for any type (1e400)
    return r.Fail("(document)", std::string("not valid JSON: ") + e.what());
  }
  if (!r.Object(j, "", {"description", "smbios", "eventLog", "sensors"})) return false;
  if (j.contains("description") && !j["description"].is_string()) {
    return r.Fail("description", "must be a string");
  }
  // The table first: it sets the log area that the records must fit and the sensors.
  if (j.contains("smbios") && !ReadSmbios(r, j["smbios"], core)) return false;
  if (j.contains("eventLog") && !ReadEventLog(r, j["eventLog"], core)) return false;
  if (j.contains("sensors") && !ReadSensors(r, j["sensors"], core)) return false;
  return true;
}

}  // namespace

bool LoadScenarioText(const std::string& text, const std::string& name, const std::string& baseDir,
                      Core* core, std::string* error) {
  ResetCore(*core);
  Reader r(name, baseDir);
  if (ReadScenario(r, text, core)) return true;
  ResetCore(*core);
  *error = r.error();
  return false;
}

bool LoadScenarioFile(const char* path, Core* core, std::string* error) {
  std::string text, why;
  if (!ReadInputFile(path, &text, &why)) {
    ResetCore(*core);
    *error = std::string(path) + ": cannot open the scenario file: " + why;
    return false;
  }
  std::string p(path);
  // hwgate-simctl.exe gets Windows paths, where a backslash separates folders as well.
#ifdef _WIN32
  size_t slash = p.find_last_of("/\\");
#else
  size_t slash = p.rfind('/');
#endif
  std::string baseDir = slash == std::string::npos ? "." : (slash == 0 ? "/" : p.substr(0, slash));
  return LoadScenarioText(text, p, baseDir, core, error);
}

}  // namespace hwsim
