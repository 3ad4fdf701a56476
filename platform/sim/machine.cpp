// State of the simulated machine and the helpers its platform functions share.
#include <algorithm>
#include <cwctype>

#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_machine.h"

namespace sim {

namespace {
Machine gMachine;
}  // namespace

Machine& machine() {
  return gMachine;
}

void Reset() {
  gMachine = Machine{};
}

bool SameText(const wchar_t* a, const wchar_t* b) {
  for (; *a != 0 && *b != 0; ++a, ++b) {
    if (std::towlower(static_cast<wint_t>(*a)) != std::towlower(static_cast<wint_t>(*b))) {
      return false;
    }
  }
  return *a == *b;
}

RegValue* RegKeyNode::Find(const wchar_t* name) {
  for (RegValue& value : values) {
    if (SameText(value.name.c_str(), name)) {
      return &value;
    }
  }
  return nullptr;
}

void RegKeyNode::Set(const wchar_t* name, uint32_t type, const void* data, uint32_t size) {
  RegValue* value = Find(name);
  if (value == nullptr) {
    values.push_back(RegValue{name, type, {}});
    value = &values.back();
  }
  value->type = type;
  const auto* bytes = static_cast<const uint8_t*>(data);
  value->data.assign(bytes, bytes + size);
}

bool RegKeyNode::Remove(const wchar_t* name) {
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (SameText(it->name.c_str(), name)) {
      values.erase(it);
      return true;
    }
  }
  return false;
}

const char* CallName(Call call) {
  static constexpr const char* kNames[kCallKinds] = {
      "RegOpen",        "RegCreate",          "RegQuery",
      "RegSet",         "MutexCreate",        "Commit",
      "Release",        "NativeQuery",        "NativeSet",
      "TokenOpen",      "PrivilegeLookup",    "PrivilegeAdjust",
      "VersionRead",    "MemoryStatusEx",     "ModuleLookup",
      "ProcLookup",     "ManagerOpen",        "ServiceOpen",
      "ServiceCreate",  "ServiceDelete",      "ServiceStart",
      "ServiceControl", "ServiceQueryStatus", "ServiceQueryConfig",
      "LocalAlloc",     "Dispatcher",         "HandlerRegister",
      "StatusReport",   "VolumeOpen",         "VolumeFlush",
      "ThreadStart",    "ProgramPath"};
  const auto index = static_cast<size_t>(call);
  return index < kCallKinds ? kNames[index] : "?";
}

bool Machine::Faulted(Call call) {
  FaultSwitch& fault = faults[static_cast<size_t>(call)];
  ++fault.calls;
  return fault.always || std::find(fault.ordinals.begin(), fault.ordinals.end(), fault.calls) !=
                             fault.ordinals.end();
}

void Machine::Record(const Event& event) {
  if (listener != nullptr) {
    listener(event);
  }
  if (recording) {
    events.push_back(event);
  }
}

RegKeyNode& Machine::Key(plat::RegHandle root, const wchar_t* path) {
  for (auto& key : keys) {
    if (key->root == root && SameText(key->path.c_str(), path)) {
      return *key;
    }
  }
  keys.push_back(std::make_unique<RegKeyNode>());
  keys.back()->root = root;
  keys.back()->path = path;
  return *keys.back();
}

Service* Machine::FindService(const wchar_t* name) {
  for (auto& service : services) {
    if (service->exists && SameText(service->name.c_str(), name)) {
      return service.get();
    }
  }
  return nullptr;
}

Service& Machine::AddService(const std::wstring& name, const std::wstring& binaryPath) {
  services.push_back(std::make_unique<Service>());
  services.back()->name = name;
  services.back()->binaryPath = binaryPath;
  return *services.back();
}

uint32_t Machine::MutexHolders(const std::wstring& name) const {
  for (const NamedMutex& mutex : mutexes) {
    if (SameText(mutex.name.c_str(), name.c_str())) {
      return mutex.openHandles;
    }
  }
  return 0;
}

void Machine::HoldMutex(const std::wstring& name, bool hold) {
  size_t index = FindOrAddMutex(name.c_str());
  if (hold) {
    ++mutexes[index].openHandles;
  } else if (mutexes[index].openHandles > 0) {
    --mutexes[index].openHandles;
  }
}

size_t FindOrAddMutex(const wchar_t* name) {
  auto& mutexes = gMachine.mutexes;
  for (size_t i = 0; i < mutexes.size(); ++i) {
    if (SameText(mutexes[i].name.c_str(), name)) {
      return i;
    }
  }
  mutexes.push_back(Machine::NamedMutex{name, 0});
  return mutexes.size() - 1;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t wc : text) {
    auto c = static_cast<uint32_t>(wc);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::wstring Widen(const std::string& utf8) {
  std::wstring out;
  for (size_t i = 0; i < utf8.size();) {
    auto c = static_cast<unsigned char>(utf8[i]);
    uint32_t code = c;
    size_t extra = 0;
    if (c >= 0xF0) {
      code = c & 0x07;
      extra = 3;
    } else if (c >= 0xE0) {
      code = c & 0x0F;
      extra = 2;
    } else if (c >= 0xC0) {
      code = c & 0x1F;
      extra = 1;
    }
    ++i;
    for (size_t k = 0; k < extra && i < utf8.size(); ++k, ++i) {
      code = (code << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
    }
    out += static_cast<wchar_t>(code);
  }
  return out;
}

}  // namespace sim
