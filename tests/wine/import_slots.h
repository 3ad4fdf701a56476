// Watching a program's own calls of system functions under Wine: its import
// slots are pointed at hooks that record, or fail, and call the real function.
#pragma once

#include <windows.h>

#include <cstring>

// Points every import slot of this program named `name` at `hook`, keeping the
// address it held in `real`. False when no slot has that name.
template <typename F>
inline bool Patch(const char* name, F hook, F& real) {
  auto* const base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const auto* const dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* const headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  bool patched = false;
  for (auto* module =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       module->Name != 0; ++module) {
    const DWORD lookup =
        module->OriginalFirstThunk != 0 ? module->OriginalFirstThunk : module->FirstThunk;
    auto* entry = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + lookup);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
    for (; entry->u1.AddressOfData != 0; ++entry, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(entry->u1.Ordinal)) {
        continue;
      }
      const auto* byName =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + entry->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0) {
        continue;
      }
      DWORD protection = 0;
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protection);
      real = reinterpret_cast<F>(slot->u1.Function);
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(hook);
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
      patched = true;
    }
  }
  return patched;
}
