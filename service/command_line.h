// velsvc's process entry and its command line: -install, -remove, -start,
// -stop and -info manage the service; no arguments make the process the
// service itself.
#pragma once

#include "common/shared_names.h"

// Holds the presence mutex, runs the switches in order, and hands ServiceMain
// to the dispatcher when there are no arguments. Always returns 0.
int ServiceEntry(int argc, wchar_t** argv);

// Runs one switch (the argument without its leading - or /).
void RunSwitch(const wchar_t* name, const wchar_t* argument0);
