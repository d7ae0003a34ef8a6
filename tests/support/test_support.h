// Helpers shared by the tests: temporary folders, files, captured output.
#pragma once

#include <string>

#include "outgauge/packet.h"

// A new empty folder under the system's temporary folder.
std::string testTempDir(const std::string &tag);

// Writes content to path exactly as given (binary).
void testWriteFile(const std::string &path, const std::string &content);

// Reads a whole file; empty when it cannot be read.
std::string testReadFile(const std::string &path);

// A UDP port on this machine that was free a moment ago.
int testFreeUdpPort();

// A record of zeros with the given fields.
OutGaugePacket testPacket(const char *car, unsigned flags, float rpm, float fuel);

// Starts and ends capturing the program's standard output.
void testCaptureBegin();
std::string testCaptureEnd();
