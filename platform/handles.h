// Ownership of platform handles: one move-only holder for every handle kind, and
// a scope guard for the odd clean-up.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

#include "platform/platform.h"

namespace plat {

// Owns a handle of type H and closes it with Close when it goes out of scope.
// Null and kInvalidHandle both count as "no handle".
template <typename H, auto Close>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(H handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }

  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset(other.release());
    }
    return *this;
  }

  H get() const { return handle_; }
  bool valid() const { return handle_ != H{} && handle_ != reinterpret_cast<H>(kInvalidHandle); }
  explicit operator bool() const { return valid(); }

  H release() { return std::exchange(handle_, H{}); }

  // Closes the handle held, if any, and takes `handle` instead. The caller's
  // last error survives the close: it still tells why an earlier call failed.
  void reset(H handle = H{}) {
    H old = std::exchange(handle_, handle);
    if (old != H{} && old != reinterpret_cast<H>(kInvalidHandle)) {
      const uint32_t error = LastError();
      Close(old);
      SetLastError(error);
    }
  }

  // Closes the handle held and hands out the empty place, for an open call that
  // returns its handle through an out-parameter.
  H* put() {
    reset();
    return &handle_;
  }

 private:
  H handle_{};
};

// Token, mutex and volume handles.
using UniqueObject = UniqueHandle<Handle, &CloseObject>;
// Registry keys.
using UniqueKey = UniqueHandle<RegHandle, &RegClose>;
// The service control manager and services.
using UniqueService = UniqueHandle<ScHandle, &CloseService>;
// Blocks from LocalAlloc, and what the platform hands out in one (the split
// command line, the service configuration).
using UniqueLocal = UniqueHandle<void*, &FreeLocal>;

// Runs a callable when it goes out of scope.
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ~ScopeExit() { f_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  F f_;
};

// Runs `f` under a structured-exception guard; false when a fault ended it.
// `f` owns nothing (see RunGuarded): its owners live outside it.
template <typename F>
bool Guarded(F&& f) {
  return RunGuarded([](void* context) { (*static_cast<std::remove_reference_t<F>*>(context))(); },
                    &f);
}

}  // namespace plat
