// The configuration file's backend contract beyond the public routines that its backends
// (config_posix.cpp, config_win32.cpp) implement: only the configuration's rules and its tests
// include it.
#pragma once

// The file's name relative to the working directory, used when configBuildPath gives NULL.
extern const char CONFIG_FALLBACK_PATH[];
