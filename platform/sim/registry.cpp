// The simulated machine's registry: keys under the two roots, values with their
// type and raw data, names compared without regard to case.
#include <cstring>
#include <utility>

#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_machine.h"

namespace plat {

namespace {

constexpr int32_t kErrorInvalidParameter = 87;
constexpr int32_t kErrorKeyDeleted = 1018;

// KEY_SET_VALUE and KEY_CREATE_SUB_KEY: the rights a read-only key refuses.
constexpr uint32_t kWriteRights = 0x2 | 0x4;

bool IsRoot(RegHandle root) {
  return root == kLocalMachine || root == kCurrentUser;
}

// KEY_SET_VALUE: without it a handle may not write values.
constexpr uint32_t kSetValueRight = 0x2;

// A handle is its key node's address; one opened without the right to set
// values carries a mark in its lowest bit (nodes are aligned, so it is free).
constexpr uintptr_t kReadOnlyMark = 1;

RegHandle HandleOf(sim::RegKeyNode& node, uint32_t access) {
  const auto address = reinterpret_cast<uintptr_t>(&node);
  return reinterpret_cast<RegHandle>((access & kSetValueRight) != 0 ? address
                                                                    : address | kReadOnlyMark);
}

bool MaySetValues(RegHandle key) {
  return (reinterpret_cast<uintptr_t>(key) & kReadOnlyMark) == 0;
}

// The open key behind a handle, or null for a root, null or unknown handle.
sim::RegKeyNode* NodeOf(RegHandle key) {
  const auto address = reinterpret_cast<uintptr_t>(key) & ~kReadOnlyMark;
  for (auto& node : sim::machine().keys) {
    if (reinterpret_cast<uintptr_t>(node.get()) == address) {
      return node.get();
    }
  }
  return nullptr;
}

}  // namespace

int32_t RegOpen(RegHandle root, const wchar_t* path, uint32_t access, RegHandle& key) {
  key = nullptr;
  if (sim::machine().Faulted(sim::Call::RegOpen)) {
    return kErrorAccessDenied;
  }
  if (!IsRoot(root)) {
    return kErrorInvalidHandle;
  }
  sim::RegKeyNode& node = sim::machine().Key(root, path);
  if (node.accessDenied || (node.readOnly && (access & kWriteRights) != 0)) {
    return kErrorAccessDenied;
  }
  if (!node.exists) {
    return kErrorFileNotFound;
  }
  key = HandleOf(node, access);
  ++sim::machine().openHandles;
  return 0;
}

int32_t RegCreate(RegHandle root, const wchar_t* path, uint32_t access, RegHandle& key) {
  key = nullptr;
  if (sim::machine().Faulted(sim::Call::RegCreate)) {
    return kErrorAccessDenied;
  }
  if (!IsRoot(root)) {
    return kErrorInvalidHandle;
  }
  sim::RegKeyNode& node = sim::machine().Key(root, path);
  if (node.accessDenied || node.readOnly) {
    return kErrorAccessDenied;
  }
  if (!node.exists) {
    node.exists = true;
    sim::machine().KeyChanged(node);
  }
  key = HandleOf(node, access);
  ++sim::machine().openHandles;
  return 0;
}

int32_t RegQuery(RegHandle key, const wchar_t* name, uint32_t* type, void* data, uint32_t* size) {
  if (sim::machine().Faulted(sim::Call::RegQuery)) {
    return kErrorAccessDenied;
  }
  sim::RegKeyNode* node = NodeOf(key);
  if (node == nullptr) {
    return kErrorInvalidHandle;
  }
  const sim::RegValue* value = node->Find(name);
  if (value == nullptr) {
    return kErrorFileNotFound;
  }
  if (data != nullptr && size == nullptr) {
    return kErrorInvalidParameter;
  }
  if (type != nullptr) {
    *type = value->type;
  }
  const auto needed = static_cast<uint32_t>(value->data.size());
  if (data != nullptr && *size < needed) {
    *size = needed;
    return kErrorMoreData;
  }
  if (data != nullptr && needed != 0) {
    std::memcpy(data, value->data.data(), needed);
  }
  if (size != nullptr) {
    *size = needed;
  }
  return 0;
}

int32_t RegSet(RegHandle key, const wchar_t* name, uint32_t type, const void* data, uint32_t size) {
  if (sim::machine().Faulted(sim::Call::RegSet)) {
    return kErrorAccessDenied;
  }
  sim::RegKeyNode* node = NodeOf(key);
  if (node == nullptr) {
    return kErrorInvalidHandle;
  }
  if (!MaySetValues(key)) {
    return kErrorAccessDenied;
  }
  node->Set(name, type, data, size);
  sim::Event event{sim::EventKind::RegSet};
  event.key = node;
  for (size_t i = 0; i + 1 < std::size(event.name) && name[i] != 0; ++i) {
    event.name[i] = name[i];
  }
  event.type = type;
  if (type == kRegDword && size == 4) {
    uint32_t value;
    std::memcpy(&value, data, 4);
    event.value = value;
  }
  sim::machine().Record(event);
  return 0;
}

int32_t RegClose(RegHandle key) {
  if (IsRoot(key)) {
    return 0;
  }
  if (NodeOf(key) == nullptr) {
    return kErrorInvalidHandle;
  }
  --sim::machine().openHandles;
  return 0;
}

}  // namespace plat

namespace plat {

Handle CreateChangeEvent() {
  sim::Machine& m = sim::machine();
  if (m.Faulted(sim::Call::ChangeNotify)) {
    m.lastError = kErrorAccessDenied;
    return nullptr;
  }
  m.changeEvents.push_back(sim::Machine::ChangeEvent{});
  ++m.openHandles;
  return sim::MakeHandle(sim::HandleKind::ChangeEvent, m.changeEvents.size() - 1);
}

int32_t NotifyKeyChange(RegHandle key, bool subtree, Handle event) {
  sim::Machine& m = sim::machine();
  if (m.Faulted(sim::Call::ChangeNotify)) {
    return kErrorAccessDenied;
  }
  const sim::RegKeyNode* node = NodeOf(key);
  if (node == nullptr || !sim::IsHandle(event, sim::HandleKind::ChangeEvent)) {
    return kErrorInvalidHandle;
  }
  if (!node->exists) {
    return kErrorKeyDeleted;
  }
  m.watches.push_back(sim::Machine::Watch{node, subtree, sim::HandleIndex(event)});
  return 0;
}

bool WaitForEvent(Handle event, uint32_t milliseconds) {
  // A wait that runs its time out reads like a sleep; a test's sleep hook may
  // change the registry meanwhile.
  SleepMs(milliseconds);
  if (!sim::IsHandle(event, sim::HandleKind::ChangeEvent)) {
    return false;
  }
  sim::Machine::ChangeEvent& changeEvent = sim::machine().changeEvents[sim::HandleIndex(event)];
  return std::exchange(changeEvent.signalled, false);
}

}  // namespace plat
