// Counts every C++ allocation of the program while counting is on. The program
// that links allocation_counter.cpp has its operator new and delete replaced.
#pragma once

#include <atomic>
#include <cstdint>

extern std::atomic<bool> gCounting;
extern std::atomic<uint64_t> gAllocations;
