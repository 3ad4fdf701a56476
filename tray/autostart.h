// The tray program's autostart value, under the machine's Run key.
#pragma once

inline constexpr wchar_t kRunKeyPath[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kAutostartValueName[] = L"Velmora";

// Writes the running program's full path (quoted when it contains a blank) as
// the REG_SZ value "Velmora"; nothing happens when the key cannot be opened or
// created with the tray's rights.
void RegisterAutostart();
