// Whether velsvc runs, as the tray tells it: by the presence mutex it holds.
#pragma once

// True when velsvc's presence mutex exists, whichever session made it. Creating
// it tells: any error code afterwards means it existed, a standard user's
// refused open of the service's mutex included. The probe is closed at once.
bool ServicePresent();
