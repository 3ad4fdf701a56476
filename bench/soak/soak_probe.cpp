// The soak's probe: reads, from outside, what a Windows process holds, so that
// the soak script can tell whether the service or velmon accumulates handles,
// GDI objects or memory over a long run.
//
//   soak_probe memory        "load totalMB availMB pageFileMB" as this process
//                            sees them
//   soak_probe pids NAME     the process ids of the processes whose program file
//                            is NAME (case ignored), one a line
//   soak_probe sample PID    one line of figures for process PID:
//                            "handles handleCount privateKB guiGdi guiUser gdiTable"
//                            (-1 where a figure cannot be read)
//   soak_probe close         sends WM_CLOSE to velmon's window (titled "Velmora
//                            Tray Icon"); "sent" or "no window"
//   soak_probe self-test     checks both counts against this process's own
//                            handles and GDI objects; "ok ..." or what differs
//
// handles       the process's entries in the system's handle list
//               (NtQuerySystemInformation, SystemHandleInformation): the kernel
//               object handles it holds. Under Wine the server keeps them.
// handleCount   GetProcessHandleCount; Wine 8 answers 0 for every process.
// privateKB     GetProcessMemoryInfo's PrivateUsage; Wine 8 answers only the
//               swapped-out part for another process, so 0 on a host without
//               swap use. The soak script reads the Linux process instead.
// guiGdi        GetGuiResources(GR_GDIOBJECTS), guiUser the same for
//               GR_USEROBJECTS. Wine answers 0 for both.
// gdiTable      the GDI objects the process holds, counted in its GDI handle
//               table (the table its process block points at, which Wine keeps
//               in each process), stock objects left out. This stands in for
//               guiGdi.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

// Where the process block of a 64-bit process keeps the address of its GDI
// handle table.
constexpr size_t kPebGdiTableOffset = 0xF8;
// The table's entries: 65536 of 24 bytes. In each entry, byte 12 holds the
// object's type in its low seven bits and the stock flag in its top bit, byte
// 14 the base type, 0 for a free entry.
constexpr size_t kGdiEntryCount = 0x10000;
constexpr size_t kGdiEntrySize = 24;
constexpr size_t kGdiExtTypeByte = 12;
constexpr size_t kGdiTypeByte = 14;
constexpr uint8_t kGdiStockFlag = 0x80;

// The system's handle list: a count, then one entry per open handle.
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
struct HandleEntry {
  ULONG ownerPid;
  BYTE objectType;
  BYTE flags;
  USHORT handle;
  void* object;
  ULONG access;
};
struct HandleList {
  ULONG count;
  HandleEntry entries[1];
};

using QueryProcessFn = LONG(NTAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
using QuerySystemFn = LONG(NTAPI*)(ULONG, void*, ULONG, ULONG*);

template <typename Fn>
Fn NtdllProc(const char* name) {
  return reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

int Memory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) {
    std::fprintf(stderr, "GlobalMemoryStatusEx failed: %lu\n", GetLastError());
    return 1;
  }
  std::printf("%lu %llu %llu %llu\n", status.dwMemoryLoad, status.ullTotalPhys >> 20,
              status.ullAvailPhys >> 20, status.ullAvailPageFile >> 20);
  return 0;
}

int Pids(const char* name) {
  HANDLE const snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "CreateToolhelp32Snapshot failed: %lu\n", GetLastError());
    return 1;
  }
  wchar_t wanted[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, name, -1, wanted, MAX_PATH);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (_wcsicmp(entry.szExeFile, wanted) == 0) {
      std::printf("%lu\n", entry.th32ProcessID);
    }
  }
  CloseHandle(snapshot);
  return 0;
}

// The handles that process `pid` holds, from the system's handle list, or -1.
long long HandleListCount(DWORD pid) {
  const auto query = NtdllProc<QuerySystemFn>("NtQuerySystemInformation");
  if (query == nullptr) {
    return -1;
  }
  // Grown until the whole list fits; a few MB at most.
  for (ULONG size = 1 << 16; size <= (1 << 26); size *= 2) {
    std::vector<uint8_t> buffer(size);
    ULONG returned = 0;
    const LONG status = query(kSystemHandleInformation, buffer.data(), size, &returned);
    if (status == kStatusInfoLengthMismatch) {
      continue;
    }
    if (status != 0) {
      std::fprintf(stderr, "the handle list cannot be read: status 0x%08lx\n",
                   static_cast<unsigned long>(status));
      return -1;
    }
    const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
    long long count = 0;
    for (ULONG i = 0; i < list->count; ++i) {
      if (list->entries[i].ownerPid == pid) {
        ++count;
      }
    }
    return count;
  }
  return -1;
}

// The address of the GDI handle table of `process`, or 0.
uint64_t GdiTableAddress(HANDLE process) {
  const auto query = NtdllProc<QueryProcessFn>("NtQueryInformationProcess");
  if (query == nullptr) {
    return 0;
  }
  PROCESS_BASIC_INFORMATION basic{};
  if (query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 ||
      basic.PebBaseAddress == nullptr) {
    return 0;
  }
  uint64_t table = 0;
  SIZE_T read = 0;
  const auto* field = reinterpret_cast<const uint8_t*>(basic.PebBaseAddress) + kPebGdiTableOffset;
  if (!ReadProcessMemory(process, field, &table, sizeof table, &read) || read != sizeof table) {
    return 0;
  }
  return table;
}

// The GDI objects of `process` other than the stock objects, or -1.
long long GdiTableCount(HANDLE process) {
  const uint64_t table = GdiTableAddress(process);
  if (table == 0) {
    return -1;
  }
  std::vector<uint8_t> entries(kGdiEntryCount * kGdiEntrySize);
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<uintptr_t>(table)),
                         entries.data(), entries.size(), &read) ||
      read != entries.size()) {
    return -1;
  }
  long long count = 0;
  for (size_t i = 0; i < kGdiEntryCount; ++i) {
    const uint8_t* entry = entries.data() + i * kGdiEntrySize;
    if (entry[kGdiTypeByte] != 0 && (entry[kGdiExtTypeByte] & kGdiStockFlag) == 0) {
      ++count;
    }
  }
  return count;
}

int Sample(DWORD pid) {
  HANDLE const process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (process == nullptr) {
    std::fprintf(stderr, "cannot open process %lu: %lu\n", pid, GetLastError());
    return 1;
  }
  long long handleCount = -1;
  DWORD count = 0;
  if (GetProcessHandleCount(process, &count)) {
    handleCount = count;
  }
  long long privateKB = -1;
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters)) {
    privateKB = static_cast<long long>(counters.PrivateUsage >> 10);
  }
  const DWORD guiGdi = GetGuiResources(process, GR_GDIOBJECTS);
  const DWORD guiUser = GetGuiResources(process, GR_USEROBJECTS);
  const long long gdiTable = GdiTableCount(process);
  CloseHandle(process);
  std::printf("%lld %lld %lld %lu %lu %lld\n", HandleListCount(pid), handleCount, privateKB, guiGdi,
              guiUser, gdiTable);
  return 0;
}

int Close() {
  HWND const window = FindWindowW(nullptr, L"Velmora Tray Icon");
  if (window == nullptr) {
    std::printf("no window\n");
    return 1;
  }
  PostMessageW(window, WM_CLOSE, 0, 0);
  std::printf("sent\n");
  return 0;
}

// Counts this process's own handles and GDI objects before and after making
// ten events and ten brushes, and after closing and deleting them again.
int SelfTest() {
  HANDLE const self = GetCurrentProcess();
  const DWORD pid = GetCurrentProcessId();
  const long long handlesBefore = HandleListCount(pid);
  const long long gdiBefore = GdiTableCount(self);
  HANDLE events[10] = {};
  HBRUSH brushes[10] = {};
  for (int i = 0; i < 10; ++i) {
    events[i] = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    brushes[i] = CreateSolidBrush(RGB(i, 2 * i, 3 * i));
  }
  const long long handlesDuring = HandleListCount(pid);
  const long long gdiDuring = GdiTableCount(self);
  for (int i = 0; i < 10; ++i) {
    CloseHandle(events[i]);
    DeleteObject(brushes[i]);
  }
  const long long handlesAfter = HandleListCount(pid);
  const long long gdiAfter = GdiTableCount(self);
  const bool handlesOk =
      handlesBefore > 0 && handlesDuring == handlesBefore + 10 && handlesAfter == handlesBefore;
  const bool gdiOk = gdiBefore >= 0 && gdiDuring == gdiBefore + 10 && gdiAfter == gdiBefore;
  std::printf("%s handles %lld %lld %lld, gdi objects %lld %lld %lld\n",
              handlesOk && gdiOk ? "ok" : "differs", handlesBefore, handlesDuring, handlesAfter,
              gdiBefore, gdiDuring, gdiAfter);
  return handlesOk && gdiOk ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "memory") == 0) {
    return Memory();
  }
  if (argc == 3 && std::strcmp(argv[1], "pids") == 0) {
    return Pids(argv[2]);
  }
  if (argc == 3 && std::strcmp(argv[1], "sample") == 0) {
    return Sample(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
  }
  if (argc == 2 && std::strcmp(argv[1], "close") == 0) {
    return Close();
  }
  if (argc == 2 && std::strcmp(argv[1], "self-test") == 0) {
    return SelfTest();
  }
  std::fprintf(stderr, "usage: soak_probe memory | pids NAME | sample PID | close | self-test\n");
  return 2;
}
