// How fast a RAM squeeze gets through memory: CSqueezeRam squeezing 512 MB with
// the service's stride and with the tray's, beside a plain program's way of
// doing the same work (8 blocks committed one after the other, one byte written
// in every 4 KB page, then all released). MB per second, in several runs, the
// three kinds taking turns, each run starting with another of them. Prints
// "KEY VALUE" lines, one "squeeze_run" line a run (run, plain, service stride,
// tray stride) and the medians.
//
// A squeeze runs on a worker thread that holds the squeeze mutex while it
// works. The time of a squeeze runs from the request until that thread has
// ended: a handle opened on the mutex as soon as it exists is signalled, as
// abandoned, when the worker thread ends.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "common/squeezer.h"

namespace {

constexpr uint32_t kAmountMB = 512;
constexpr int kBlocks = 8;
constexpr uint64_t kPage = 4096;
constexpr int kRuns = 9;

int64_t Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double MBPerSecond(int64_t ticks) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return kAmountMB * static_cast<double>(frequency.QuadPart) / static_cast<double>(ticks);
}

// 0 when the squeeze could not be followed.
double Squeeze(uint32_t stride) {
  CSqueezeRam squeezer(stride);
  const int64_t start = Now();
  squeezer.SqueezeRam(kAmountMB);
  HANDLE mutex = nullptr;
  const DWORD deadline = GetTickCount() + 10000;
  while ((mutex = OpenMutexW(SYNCHRONIZE, FALSE, kSqueezeMutexName)) == nullptr) {
    if (static_cast<int32_t>(GetTickCount() - deadline) > 0) {
      return 0;
    }
    SwitchToThread();
  }
  const DWORD waited = WaitForSingleObject(mutex, 120000);
  const int64_t end = Now();
  CloseHandle(mutex);
  if (waited != WAIT_ABANDONED && waited != WAIT_OBJECT_0) {
    return 0;
  }
  return MBPerSecond(end - start);
}

// 0 when the memory could not be committed.
double PlainCommit() {
  const uint64_t blockSize = uint64_t{kAmountMB} * 1024 * 1024 / kBlocks;
  void* blocks[kBlocks] = {};
  bool committed = true;
  const int64_t start = Now();
  for (void*& block : blocks) {
    block = VirtualAlloc(nullptr, blockSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (block == nullptr) {
      committed = false;
      continue;
    }
    auto* const bytes = static_cast<volatile unsigned char*>(block);
    for (uint64_t offset = 0; offset < blockSize; offset += kPage) {
      bytes[offset] = 0;
    }
  }
  for (void* block : blocks) {
    if (block != nullptr) {
      VirtualFree(block, 0, MEM_RELEASE);
    }
  }
  const int64_t end = Now();
  return committed ? MBPerSecond(end - start) : 0;
}

double Median(double (&figures)[kRuns]) {
  std::sort(figures, figures + kRuns);
  return figures[kRuns / 2];
}

}  // namespace

int main() {
  double plain[kRuns];
  double service[kRuns];
  double tray[kRuns];
  // One of each first, not counted: the first touches of a process cost more.
  PlainCommit();
  Squeeze(kServiceTouchStride);
  for (int run = 0; run < kRuns; ++run) {
    for (int turn = 0; turn < 3; ++turn) {
      switch ((run + turn) % 3) {
        case 0:
          plain[run] = PlainCommit();
          break;
        case 1:
          service[run] = Squeeze(kServiceTouchStride);
          break;
        default:
          tray[run] = Squeeze(kTrayTouchStride);
          break;
      }
    }
    if (plain[run] == 0 || service[run] == 0 || tray[run] == 0) {
      std::printf("squeeze_error run %d: plain %.1f, service stride %.1f, tray stride %.1f\n", run,
                  plain[run], service[run], tray[run]);
      return 1;
    }
    std::printf("squeeze_run %d %.1f %.1f %.1f\n", run, plain[run], service[run], tray[run]);
  }
  std::printf("squeeze_mb %u\n", kAmountMB);
  std::printf("squeeze_runs %d\n", kRuns);
  std::printf("squeeze_baseline_mbps %.1f\n", Median(plain));
  std::printf("squeeze_service_mbps %.1f\n", Median(service));
  std::printf("squeeze_tray_mbps %.1f\n", Median(tray));
  std::fflush(stdout);
  return 0;
}
