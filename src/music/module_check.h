// Checks an Impulse Tracker module before DUMB 0.9.3 reads it: the header, orders, offset tables,
// instruments, sample headers and data, and the packed patterns, against the format and against
// what makes that DUMB crash, abort, hang or write debug files into the working directory.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The whole file in memory. True when DUMB can load and play it safely; otherwise false with
// `problem` saying the first fault found ("pattern 3, row 12: two events on channel 5").
bool check_module(const std::vector<uint8_t>& file, std::string& problem);

// Reads `path` and checks it. The hosts call this before handing the module to DUMB (unless the
// start-up probe's verdict already refused it); a missing or unreadable file is a fault too
// ("file is missing", "is not a file").
bool check_module_file(const std::string& path, std::string& problem);
