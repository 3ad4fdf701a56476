// Elevation on demand: whether velpanel runs with an administrator's full
// rights, and starting it again with them (the system asks the user first).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// True when the process's token is elevated.
bool ProcessIsElevated();

// Starts velpanel again with `parameters`, elevated ("runas"), owned by
// `owner`. False when it did not start; `error` then tells why
// (ERROR_CANCELLED when the user declined).
bool StartElevated(HWND owner, const std::wstring& parameters, uint32_t& error);

// Shows or hides the shield that says a button needs an administrator.
void ShowShield(HWND button, bool shown);
