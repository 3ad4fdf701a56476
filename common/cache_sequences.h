// The file cache's empty-and-restore sequence. velmon runs it for its "Empty
// System Cache" command and its boosts; the service runs it when velmon asks
// (velmon's user may lack the privilege the sets need).
#pragma once

class SystemCacheControl;

// Reads the file cache's limits, narrows them to 256 and 512 KB, empties the
// cache, narrows again and restores the limits read, pausing 100 ms after each
// step. Results are not looked at: `cache` keeps the last set's status.
void EmptyAndRestoreFileCache(SystemCacheControl& cache);
