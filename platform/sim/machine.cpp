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

void Machine::KeyChanged(const RegKeyNode& key) {
  for (auto it = watches.begin(); it != watches.end();) {
    const RegKeyNode& watched = *it->key;
    const bool below =
        it->subtree && watched.root == key.root && key.path.size() > watched.path.size() &&
        key.path[watched.path.size()] == L'\\' &&
        SameText(key.path.substr(0, watched.path.size()).c_str(), watched.path.c_str());
    if (&watched == &key || below) {
      changeEvents[it->event].signalled = true;
      it = watches.erase(it);
    } else {
      ++it;
    }
  }
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
  machine().KeyChanged(*this);
}

bool RegKeyNode::Remove(const wchar_t* name) {
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (SameText(it->name.c_str(), name)) {
      values.erase(it);
      machine().KeyChanged(*this);
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
      "ThreadStart",    "ProgramPath",        "ChangeNotify",
      "EventReport"};
  const auto index = static_cast<size_t>(call);
  return index < kCallKinds ? kNames[index] : "?";
}

bool Machine::Faulted(Call call) {
  FaultSwitch& fault = faults[static_cast<size_t>(call)];
  ++fault.calls;
  const bool fails = fault.always || std::find(fault.ordinals.begin(), fault.ordinals.end(),
                                               fault.calls) != fault.ordinals.end();
  if (fails && fault.raises && Guarding()) {
    RaiseFault();
  }
  return fails;
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

namespace {

struct ObjectName {
  const wchar_t* name;
  uint32_t space;
};

bool HasPrefix(const wchar_t* text, const wchar_t* prefix) {
  for (; *prefix != 0; ++text, ++prefix) {
    if (std::towlower(static_cast<wint_t>(*text)) != std::towlower(static_cast<wint_t>(*prefix))) {
      return false;
    }
  }
  return true;
}

// Where a name seen from `session` lives.
ObjectName Resolve(const wchar_t* name, uint32_t session) {
  if (HasPrefix(name, L"Global\\")) {
    return {name + 7, 0};
  }
  if (HasPrefix(name, L"Local\\")) {
    return {name + 6, session};
  }
  return {name, session};
}

const Machine::NamedMutex* FindMutex(const std::vector<Machine::NamedMutex>& mutexes,
                                     const wchar_t* name, uint32_t session) {
  const ObjectName object = Resolve(name, session);
  for (const Machine::NamedMutex& mutex : mutexes) {
    if (mutex.space == object.space && SameText(mutex.name.c_str(), object.name)) {
      return &mutex;
    }
  }
  return nullptr;
}

}  // namespace

uint32_t Machine::MutexHolders(const std::wstring& name) const {
  const NamedMutex* mutex = FindMutex(mutexes, name.c_str(), session);
  return mutex != nullptr ? mutex->openHandles : 0;
}

void Machine::HoldMutex(const std::wstring& name, bool hold) {
  HoldMutex(name, hold, session);
}

void Machine::HoldMutex(const std::wstring& name, bool hold, uint32_t holderSession) {
  NamedMutex& mutex = mutexes[FindOrAddMutex(name.c_str(), holderSession)];
  if (hold) {
    if (mutex.openHandles == 0) {
      mutex.systemOwned = holderSession == 0;
    }
    ++mutex.openHandles;
  } else if (mutex.openHandles > 0) {
    --mutex.openHandles;
  }
}

size_t FindOrAddMutex(const wchar_t* name, uint32_t session) {
  auto& mutexes = gMachine.mutexes;
  if (const Machine::NamedMutex* found = FindMutex(mutexes, name, session)) {
    return static_cast<size_t>(found - mutexes.data());
  }
  const ObjectName object = Resolve(name, session);
  mutexes.push_back(Machine::NamedMutex{object.name, object.space, 0, false});
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
