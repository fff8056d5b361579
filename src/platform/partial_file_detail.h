// What the platforms' partial files share (partial_file_common.cpp) and what each supplies.
#pragma once
#include <string>

namespace partial_file_detail {

extern const std::string kPartialPrefix;  // ".stream8-partial-"

// The directory `path` is in ("." for a bare name).
std::string directory_of(const std::string& path);

// Where a stream's contents wait until they are whole: the temporary directory.
std::string stream_scratch_directory();

// A name made from `prefix` + six letters or digits, as the temporary files and directories are.
bool made_name(const std::string& name, const std::string& prefix);

// Per platform: removes the leftover at `path` (a regular file when `file`, else a directory of
// this user's) when no living writer holds it; true when it is gone.
bool remove_if_unlocked(const std::string& path, bool file);

}  // namespace partial_file_detail
