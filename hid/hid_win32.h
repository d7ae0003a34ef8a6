// Opening a device by its path on Windows, outside the search by vendor and product ID.
#pragma once

// Opens path as the LED device, as initHID opens the interface it finds. Tests use it, as
// no HID device can be found where they run. False when a device is open already or the
// path cannot be opened.
bool hidOpenPath(const char *path);
