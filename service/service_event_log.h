// ServiceEventLog: what the service writes to the Application log, and how
// often. Nothing is written before the service has started: velsvc's
// command-line runs build the same process-wide objects and stay silent. Each
// entry's text is put together in fixed buffers, so that a tick that writes
// one allocates nothing.
#pragma once

#include <atomic>
#include <cstdint>

#include "service/event_messages.h"
#include "service/settings_store.h"

inline constexpr uint64_t kHourMs = 3600000;
// The shortest time between two entries about changed settings: a setting
// that keeps flapping yields at most six an hour.
inline constexpr uint64_t kSettingsEntryIntervalMs = 600000;

// Lets an occasion be reported the first time, then at most once per interval,
// and counts the occasions in between.
class ReportPacer {
 public:
  explicit constexpr ReportPacer(uint64_t intervalMs) : intervalMs_(intervalMs) {}

  // Counts an occasion at `nowMs` (a monotonic clock); true when it is to be
  // reported now.
  bool Admit(uint64_t nowMs);

  // After Admit gave true: the occasions that report stands for, itself and
  // those held back since the previous report.
  uint32_t admitted() const { return admitted_; }

 private:
  uint64_t intervalMs_;
  uint64_t lastMs_ = 0;
  bool reported_ = false;
  uint32_t held_ = 0;
  uint32_t admitted_ = 0;
};

class ServiceEventLog {
 public:
  // The five tuning settings as the store holds them, with where each came from.
  struct Tuning {
    uint32_t values[5];
    SettingSource sources[5];
    bool operator==(const Tuning&) const = default;
  };
  static Tuning TuningOf(const SettingsStore& settings);

  // The service has started: writes the start entry, then what construction
  // found (tuning impossible, privilege missing), and from now on writes the
  // others.
  void Started(const SettingsStore& settings, bool tuningEnabled, bool bindFailed,
               bool privilegeFailed);
  // Writes the stop entry; nothing is written afterwards.
  void Stopped();

  // Once a tick: writes what changed in the tuning settings since the last
  // entry that told them (the start entry or an earlier change). The first
  // change is written at once, later ones at most once per interval, each
  // giving the values as last told and as they are now.
  void CheckSettings(const SettingsStore& settings);

  // The first failure, then at most one entry an hour with the failures since.
  void CacheSetFailed(uint32_t minimumKB, uint32_t maximumKB);
  // At most once an hour.
  void SqueezeLimited(const wchar_t* action, uint32_t decidedMB, uint32_t commitMB,
                      uint32_t requestedMB);
  // At most once an hour.
  void Boosted(uint32_t requestedMB, uint32_t memoryLoad, uint32_t availMB);

 private:
  void Write(const EventMessage& message, const wchar_t* const* strings);

  std::atomic<bool> active_{false};
  Tuning told_{};
  ReportPacer settingsPacer_{kSettingsEntryIntervalMs};
  ReportPacer setFailurePacer_{kHourMs};
  ReportPacer squeezePacer_{kHourMs};
  ReportPacer boostPacer_{kHourMs};
};
