// The names velsvc, velmon, velpanel, the setup programs and the tests must
// agree on: one definition each, included by all of them. Plain constants
// only, so that probes built against <windows.h> can include it too.
#pragma once

#include <cstdint>

// The service as the service control manager knows it.
inline constexpr wchar_t kServiceName[] = L"Velmora Service";
inline constexpr wchar_t kServiceDisplayName[] = L"Velmora Performance Optimizer and Tuner Service";

// Mutex whose existence tells that velsvc runs. The service lives in session 0
// and velmon in the user's session, so the name is in the global namespace.
inline constexpr char kServicePresenceMutexName[] =
    "Global\\{3F1B6E20-7A4C-4D2E-9B85-C0D1E2F3A4B5}";

// Mutex whose existence tells that a squeeze is under way, in either program
// and any session. The blanks are part of the name.
inline constexpr wchar_t kSqueezeMutexName[] =
    L"Global\\ CSqueezeRam_{B7E30F52-19C4-4a6d-93E8-5F0A1C2D3E47}_ CSqueezeRam";

// The service's settings under HKEY_LOCAL_MACHINE, and the key Group Policy
// writes for them; no program writes under the policies key.
inline constexpr wchar_t kSettingsKeyPath[] = L"SOFTWARE\\Quorlex\\Velmora";
inline constexpr wchar_t kPoliciesKeyPath[] = L"SOFTWARE\\Policies\\Quorlex\\Velmora";

// The service's own control codes, in the platform's user-defined range:
// report the state, read the settings again, and empty the file cache for
// velmon (whose user's token may not change it; the service's default
// security lets interactive users send these codes).
inline constexpr uint32_t kServiceControlStatusQuery = 128;
inline constexpr uint32_t kServiceControlReloadSettings = 144;
inline constexpr uint32_t kServiceControlEmptyCache = 145;
