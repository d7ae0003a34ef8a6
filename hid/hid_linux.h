// Where the hidraw backend looks for devices; the defaults are the kernel's.
#pragma once

// classDir is the folder of hidraw entries ("/sys/class/hidraw"), devDir the
// folder of their device nodes ("/dev"). Passing NULL restores a default.
void hidSetPaths(const char *classDir, const char *devDir);
