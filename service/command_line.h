// velsvc's process entry and its command line: -install, -remove, -start,
// -stop and -info manage the service; no arguments make the process the
// service itself.
#pragma once

// Name of the mutex whose existence tells that velsvc runs.
inline constexpr char kServicePresenceMutexName[] = "{3F1B6E20-7A4C-4D2E-9B85-C0D1E2F3A4B5}";

// Holds the presence mutex, runs the switches in order, and hands ServiceMain
// to the dispatcher when there are no arguments. Always returns 0.
int ServiceEntry(int argc, wchar_t** argv);

// Runs one switch (the argument without its leading - or /).
void RunSwitch(const wchar_t* name, const wchar_t* argument0);
