// The tray's two one-shot memory actions, run to completion on the tray's
// user-interface thread.
#pragma once

class SystemCacheControl;
class CSqueezeRam;

// What the actions need of the tray: its cache control, its squeezer and a way
// to redraw the icon after each squeeze request.
struct MemoryActionContext {
  SystemCacheControl& cache;
  CSqueezeRam& squeezer;
  void (*refreshIcon)();
};

// "Boost Memory Now": squeezes an amount chosen by memory load, emptying the
// file cache first from 54 percent on and asking twice above 80 percent.
void BoostMemoryNow(const MemoryActionContext& context);

// "Empty System Cache": narrows the file cache's limits, empties it, narrows
// again and restores the limits in force, pausing 100 ms after each step. When
// the sets were refused for lack of privilege and the service runs, asks the
// service to do it.
void EmptySystemCache(SystemCacheControl& cache);
