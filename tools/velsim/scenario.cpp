#include "tools/velsim/scenario.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <nlohmann/json.hpp>

namespace velsim {

namespace {

using Json = nlohmann::ordered_json;

// Reads one scenario; every check names the field it is about. The first
// failure stops the reading.
class Reader {
 public:
  std::string error;

  // A field may carry a key from the scenario, and a key may hold any
  // character JSON can escape: control characters are written back the way
  // JSON writes them, so the refusal stays one line.
  bool Fail(const std::string& field, const std::string& problem) {
    error.clear();
    for (const char c : field) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte == 0x7f) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
        error += escaped;
      } else {
        error += c;
      }
    }
    error += ": " + problem;
    return false;
  }

  // Every key of `object` must be one of `known`.
  bool OnlyKnown(const Json& object, const std::string& field,
                 std::initializer_list<const char*> known) {
    for (const auto& item : object.items()) {
      bool found = false;
      for (const char* name : known) {
        found = found || item.key() == name;
      }
      if (!found) {
        return Fail(Join(field, item.key()), "unknown field");
      }
    }
    return true;
  }

  bool Object(const Json& value, const std::string& field) {
    return value.is_object() || Fail(field, "expected an object");
  }

  bool Unsigned(const Json& value, const std::string& field, uint64_t max, uint64_t& out) {
    if (!value.is_number_unsigned() && !(value.is_number_integer() && value.get<int64_t>() >= 0)) {
      return Fail(field, "expected a whole number from 0 to " + std::to_string(max));
    }
    out = value.get<uint64_t>();
    if (out > max) {
      return Fail(field, "expected a whole number from 0 to " + std::to_string(max));
    }
    return true;
  }

  bool Dword(const Json& value, const std::string& field, uint32_t& out) {
    uint64_t wide = 0;
    if (!Unsigned(value, field, UINT32_MAX, wide)) {
      return false;
    }
    out = static_cast<uint32_t>(wide);
    return true;
  }

  bool Bool(const Json& value, const std::string& field, bool& out) {
    if (!value.is_boolean()) {
      return Fail(field, "expected true or false");
    }
    out = value.get<bool>();
    return true;
  }

  bool StatusValue(const Json& value, const std::string& field, Status& out) {
    if (value.is_number_unsigned()) {
      if (value.get<uint64_t>() > UINT32_MAX) {
        return Fail(field, "expected a 32-bit status");
      }
      out.given = static_cast<int64_t>(value.get<uint64_t>());
    } else if (value.is_number_integer()) {
      if (value.get<int64_t>() < INT32_MIN) {
        return Fail(field, "expected a 32-bit status");
      }
      out.given = value.get<int64_t>();
    } else {
      return Fail(field, "expected a 32-bit status");
    }
    out.bits = static_cast<uint32_t>(out.given);
    return true;
  }

  bool Memory(const Json& value, const std::string& field, MemoryFields& out) {
    if (!Object(value, field) ||
        !OnlyKnown(value, field, {"totalPhys", "availPhys", "availPageFile", "load"})) {
      return false;
    }
    uint64_t number = 0;
    if (value.contains("totalPhys")) {
      if (!Unsigned(value["totalPhys"], Join(field, "totalPhys"), UINT64_MAX, number)) {
        return false;
      }
      out.totalPhys = number;
    }
    if (value.contains("availPhys")) {
      if (!Unsigned(value["availPhys"], Join(field, "availPhys"), UINT64_MAX, number)) {
        return false;
      }
      out.availPhys = number;
    }
    if (value.contains("availPageFile")) {
      if (!Unsigned(value["availPageFile"], Join(field, "availPageFile"), UINT64_MAX, number)) {
        return false;
      }
      out.availPageFile = number;
    }
    if (value.contains("load")) {
      uint32_t load = 0;
      if (!Dword(value["load"], Join(field, "load"), load)) {
        return false;
      }
      out.load = load;
    }
    return true;
  }

  bool FileCache(const Json& value, const std::string& field, FileCacheFields& out) {
    if (!Object(value, field) || !OnlyKnown(value, field,
                                            {"currentSize", "peakSize", "minimumPages",
                                             "maximumPages", "queryStatus", "setStatus"})) {
      return false;
    }
    const std::pair<const char*, std::optional<uint64_t>*> amounts[] = {
        {"currentSize", &out.currentSize},
        {"peakSize", &out.peakSize},
        {"minimumPages", &out.minimumPages},
        {"maximumPages", &out.maximumPages}};
    for (const auto& [name, target] : amounts) {
      uint64_t number = 0;
      if (value.contains(name)) {
        if (!Unsigned(value[name], Join(field, name), UINT64_MAX, number)) {
          return false;
        }
        *target = number;
      }
    }
    const std::pair<const char*, std::optional<Status>*> statuses[] = {
        {"queryStatus", &out.queryStatus}, {"setStatus", &out.setStatus}};
    for (const auto& [name, target] : statuses) {
      Status status;
      if (value.contains(name)) {
        if (!StatusValue(value[name], Join(field, name), status)) {
          return false;
        }
        *target = status;
      }
    }
    return true;
  }

  bool Value(const Json& value, const std::string& field, RegistryValue& out) {
    if (value.is_number()) {
      uint32_t number = 0;
      if (!Dword(value, field, number)) {
        return false;
      }
      out.type = plat::kRegDword;
      out.data.resize(4);
      std::memcpy(out.data.data(), &number, 4);
      return true;
    }
    if (!value.is_object()) {
      return Fail(field, "expected a DWORD number or an object with type and data");
    }
    if (!OnlyKnown(value, field, {"type", "data"})) {
      return false;
    }
    if (!value.contains("type") || !value["type"].is_string()) {
      return Fail(Join(field, "type"), "expected \"REG_SZ\", \"REG_BINARY\" or \"REG_QWORD\"");
    }
    if (!value.contains("data")) {
      return Fail(Join(field, "data"), "missing");
    }
    const std::string type = value["type"].get<std::string>();
    const Json& data = value["data"];
    if (type == "REG_SZ") {
      if (!data.is_string()) {
        return Fail(Join(field, "data"), "expected a string");
      }
      out.type = plat::kRegSz;
      out.text = data.get<std::string>();
      out.data = StringData(out.text);
      return true;
    }
    if (type == "REG_BINARY") {
      if (!data.is_string()) {
        return Fail(Join(field, "data"), "expected a string of hex digits");
      }
      out.type = plat::kRegBinary;
      out.text = data.get<std::string>();
      if (out.text.size() % 2 != 0) {
        return Fail(Join(field, "data"), "expected an even number of hex digits");
      }
      for (size_t i = 0; i < out.text.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(out.text[i])) ||
            !std::isxdigit(static_cast<unsigned char>(out.text[i + 1]))) {
          return Fail(Join(field, "data"), "expected hex digits");
        }
        out.data.push_back(static_cast<uint8_t>(std::stoul(out.text.substr(i, 2), nullptr, 16)));
      }
      return true;
    }
    if (type == "REG_QWORD") {
      uint64_t number = 0;
      if (!Unsigned(data, Join(field, "data"), UINT64_MAX, number)) {
        return false;
      }
      out.type = plat::kRegQword;
      out.data.resize(8);
      std::memcpy(out.data.data(), &number, 8);
      return true;
    }
    return Fail(Join(field, "type"), "expected \"REG_SZ\", \"REG_BINARY\" or \"REG_QWORD\"");
  }

  bool Drives(const Json& value, const std::string& field, std::vector<sim::Drive>& out) {
    if (!value.is_array()) {
      return Fail(field, "expected an array");
    }
    out.clear();
    for (size_t i = 0; i < value.size(); ++i) {
      const std::string at = field + "[" + std::to_string(i) + "]";
      const Json& item = value[i];
      if (!Object(item, at) || !OnlyKnown(item, at, {"letter", "type", "opens"})) {
        return false;
      }
      sim::Drive drive;
      if (!item.contains("letter") || !item["letter"].is_string() ||
          item["letter"].get<std::string>().size() != 1 ||
          !std::isalpha(static_cast<unsigned char>(item["letter"].get<std::string>()[0]))) {
        return Fail(Join(at, "letter"), "expected one letter A to Z");
      }
      drive.letter = static_cast<char>(std::toupper(item["letter"].get<std::string>()[0]));
      for (const sim::Drive& other : out) {
        if (other.letter == drive.letter) {
          return Fail(Join(at, "letter"), "drive letter given twice");
        }
      }
      if (item.contains("type")) {
        static const std::pair<const char*, uint32_t> kTypes[] = {
            {"fixed", plat::kDriveFixed},
            {"removable", plat::kDriveRemovable},
            {"remote", plat::kDriveRemote},
            {"cdrom", plat::kDriveCdrom},
            {"ramdisk", plat::kDriveRamdisk}};
        bool known = false;
        for (const auto& [name, type] : kTypes) {
          if (item["type"].is_string() && item["type"].get<std::string>() == name) {
            drive.type = type;
            known = true;
          }
        }
        if (!known) {
          return Fail(Join(at, "type"),
                      "expected \"fixed\", \"removable\", \"remote\", \"cdrom\" or \"ramdisk\"");
        }
      }
      if (item.contains("opens") && !Bool(item["opens"], Join(at, "opens"), drive.opens)) {
        return false;
      }
      out.push_back(drive);
    }
    return true;
  }

  // An object of named registry values, as `registry.values` gives them.
  bool Values(const Json& value, const std::string& field,
              std::optional<std::vector<std::pair<std::string, RegistryValue>>>& out) {
    if (!Object(value, field)) {
      return false;
    }
    out.emplace();
    for (const auto& item : value.items()) {
      RegistryValue regValue;
      if (!Value(item.value(), Join(field, item.key()), regValue)) {
        return false;
      }
      out->emplace_back(item.key(), regValue);
    }
    return true;
  }

  bool Step(const Json& value, const std::string& field, const std::string& program,
            velsim::Step& out) {
    if (!Object(value, field)) {
      return false;
    }
    if (value.size() != 1) {
      return Fail(field,
                  "expected exactly one of ticks, control, command, memory, "
                  "memorySequence, fileCache, registry, policies, squeezeBusy");
    }
    const std::string key = value.begin().key();
    const Json& body = value.begin().value();
    const std::string at = Join(field, key);
    if (key == "ticks" || key == "control") {
      if (program != "velsvc") {
        return Fail(at, "only the velsvc program runs ticks and control codes");
      }
      if (key == "ticks") {
        out.kind = Step::Kind::Ticks;
        return Unsigned(body, at, UINT64_MAX, out.ticks);
      }
      out.kind = Step::Kind::Control;
      if (!body.is_number_integer() || body.get<int64_t>() != 144) {
        return Fail(at, "the only control code is 144");
      }
      out.code = 144;
      return true;
    }
    if (key == "command") {
      if (program != "velmon") {
        return Fail(at, "only the velmon program runs tray commands");
      }
      out.kind = Step::Kind::Command;
      if (!body.is_number_integer() ||
          (body.get<int64_t>() != 40008 && body.get<int64_t>() != 40009)) {
        return Fail(at, "expected 40008 or 40009");
      }
      out.code = static_cast<uint32_t>(body.get<int64_t>());
      return true;
    }
    if (key == "memory") {
      out.kind = Step::Kind::Memory;
      return Memory(body, at, out.memory);
    }
    if (key == "memorySequence") {
      out.kind = Step::Kind::MemorySequence;
      if (!body.is_array() || body.empty()) {
        return Fail(at, "expected a non-empty array of readings");
      }
      for (size_t i = 0; i < body.size(); ++i) {
        MemoryFields reading;
        if (!Memory(body[i], at + "[" + std::to_string(i) + "]", reading)) {
          return false;
        }
        out.sequence.push_back(reading);
      }
      return true;
    }
    if (key == "fileCache") {
      out.kind = Step::Kind::FileCache;
      return FileCache(body, at, out.fileCache);
    }
    if (key == "registry" || key == "policies") {
      out.kind = key == "registry" ? Step::Kind::Registry : Step::Kind::Policies;
      if (!Object(body, at)) {
        return false;
      }
      for (const auto& item : body.items()) {
        if (item.value().is_null()) {
          out.registry.emplace_back(item.key(), std::nullopt);
          continue;
        }
        RegistryValue regValue;
        if (!Value(item.value(), Join(at, item.key()), regValue)) {
          return false;
        }
        out.registry.emplace_back(item.key(), regValue);
      }
      return true;
    }
    if (key == "squeezeBusy") {
      out.kind = Step::Kind::SqueezeBusy;
      return Bool(body, at, out.squeezeBusy);
    }
    return Fail(at, "unknown step");
  }

  bool Read(const Json& root, Scenario& out) {
    if (!Object(root, "scenario") || !OnlyKnown(root, "",
                                                {"program", "machine", "memory", "fileCache",
                                                 "registry", "squeezeBusy", "steps"})) {
      return false;
    }
    if (!root.contains("program") || !root["program"].is_string() ||
        (root["program"] != "velsvc" && root["program"] != "velmon")) {
      return Fail("program", "expected \"velsvc\" or \"velmon\"");
    }
    out.program = root["program"].get<std::string>();

    if (root.contains("machine")) {
      const Json& m = root["machine"];
      if (!Object(m, "machine") ||
          !OnlyKnown(m, "machine",
                     {"osMajorVersion", "hasMemoryStatusEx", "memoryStatusExFaults",
                      "quotaPrivilege", "bindsQuery", "bindsSet", "drives"})) {
        return false;
      }
      if (m.contains("osMajorVersion") &&
          !Dword(m["osMajorVersion"], "machine.osMajorVersion", out.osMajorVersion)) {
        return false;
      }
      const std::pair<const char*, bool*> flags[] = {
          {"hasMemoryStatusEx", &out.hasMemoryStatusEx},
          {"memoryStatusExFaults", &out.memoryStatusExFaults},
          {"quotaPrivilege", &out.quotaPrivilege},
          {"bindsQuery", &out.bindsQuery},
          {"bindsSet", &out.bindsSet}};
      for (const auto& [name, target] : flags) {
        if (m.contains(name) && !Bool(m[name], Join("machine", name), *target)) {
          return false;
        }
      }
      if (m.contains("drives") && !Drives(m["drives"], "machine.drives", out.drives)) {
        return false;
      }
    }

    if (!root.contains("memory")) {
      return Fail("memory.totalPhys", "missing");
    }
    MemoryFields memory;
    if (!Memory(root["memory"], "memory", memory)) {
      return false;
    }
    if (!memory.totalPhys) {
      return Fail("memory.totalPhys", "missing");
    }
    out.memory.totalPhys = *memory.totalPhys;
    out.memory.availPhys = memory.availPhys.value_or(*memory.totalPhys / 2);
    out.memory.availPageFile = memory.availPageFile.value_or(*memory.totalPhys);
    out.memory.load = memory.load.value_or(50);

    if (root.contains("fileCache") && !FileCache(root["fileCache"], "fileCache", out.fileCache)) {
      return false;
    }

    if (root.contains("registry")) {
      const Json& r = root["registry"];
      if (!Object(r, "registry") ||
          !OnlyKnown(r, "registry", {"writable", "readOnly", "values", "policies"})) {
        return false;
      }
      if (r.contains("writable") &&
          !Bool(r["writable"], "registry.writable", out.registryWritable)) {
        return false;
      }
      if (r.contains("readOnly") &&
          !Bool(r["readOnly"], "registry.readOnly", out.registryReadOnly)) {
        return false;
      }
      // A key that cannot be opened at all cannot be read either.
      if (out.registryReadOnly && !out.registryWritable) {
        return Fail("registry.readOnly", "cannot be true when writable is false");
      }
      if (r.contains("values") && !Values(r["values"], "registry.values", out.registryValues)) {
        return false;
      }
      if (r.contains("policies") && !Values(r["policies"], "registry.policies", out.policyValues)) {
        return false;
      }
    }

    if (root.contains("squeezeBusy") &&
        !Bool(root["squeezeBusy"], "squeezeBusy", out.squeezeBusy)) {
      return false;
    }

    if (root.contains("steps")) {
      const Json& steps = root["steps"];
      if (!steps.is_array()) {
        return Fail("steps", "expected an array");
      }
      for (size_t i = 0; i < steps.size(); ++i) {
        velsim::Step step;
        if (!Step(steps[i], "steps[" + std::to_string(i) + "]", out.program, step)) {
          return false;
        }
        out.steps.push_back(std::move(step));
      }
    }
    return true;
  }

 private:
  static std::string Join(const std::string& field, const std::string& name) {
    return field.empty() ? name : field + "." + name;
  }
};

}  // namespace

sim::Reading MemoryFields::ApplyTo(sim::Reading reading) const {
  reading.totalPhys = totalPhys.value_or(reading.totalPhys);
  reading.availPhys = availPhys.value_or(reading.availPhys);
  reading.availPageFile = availPageFile.value_or(reading.availPageFile);
  reading.load = load.value_or(reading.load);
  return reading;
}

std::vector<uint8_t> StringData(const std::string& utf8) {
  // The registry holds the text as the platform's wide characters, zero included.
  const std::wstring wide = sim::Widen(utf8);
  std::vector<uint8_t> data((wide.size() + 1) * sizeof(wchar_t), 0);
  std::memcpy(data.data(), wide.c_str(), wide.size() * sizeof(wchar_t));
  return data;
}

std::string StringText(const std::vector<uint8_t>& data) {
  std::wstring wide(data.size() / sizeof(wchar_t), L'\0');
  std::memcpy(wide.data(), data.data(), wide.size() * sizeof(wchar_t));
  while (!wide.empty() && wide.back() == L'\0') {
    wide.pop_back();
  }
  return sim::Narrow(wide);
}

bool ParseScenario(const std::string& text, Scenario& scenario, std::string& error) {
  const Json root = Json::parse(text, nullptr, false);
  if (root.is_discarded()) {
    error = "scenario: not valid JSON";
    return false;
  }
  Reader reader;
  if (!reader.Read(root, scenario)) {
    error = reader.error;
    return false;
  }
  return true;
}

}  // namespace velsim
