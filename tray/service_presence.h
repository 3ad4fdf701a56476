// Whether velsvc runs, as the tray tells it: by the presence mutex it holds;
// and what the tray asks of the running service.
#pragma once

// True when velsvc's presence mutex exists, whichever session made it. Creating
// it tells: any error code afterwards means it existed, a standard user's
// refused open of the service's mutex included. The probe is closed at once.
bool ServicePresent();

// Sends the service the control code that has it empty the file cache, opening
// it with the one right that code needs (interactive users hold it); true when
// the service took the code.
bool AskServiceToEmptyCache();
