// What the video encoder needs of the system beyond the standard library: free space, the size
// limit on files, finding programs, whether an existing output may be replaced, and putting the
// finished file on the disk.
// One implementation per system (posix/output_files.cpp, windows/output_files.cpp).
#pragma once
#include <string>

namespace output_files {

// The file system holding `dir` has no space left for this user.
bool disk_full(const std::string& dir);
// `err` (an errno value) says the disk or the user's quota is full.
bool no_space_errno(int err);
// The size past which this process may not grow a file (ulimit -f), or -1 when there is none.
long long file_size_limit();
// A program to run: a name with a directory as it is, else the first executable of that name on
// PATH; empty when there is none.
std::string find_program(const std::string& name);
// One rule for every output: a regular file is written beside its name and renamed over it when
// whole; a character device or a FIFO (a terminal, /dev/null, a pipe) is written to as a stream,
// never replaced; anything else is refused.
// Why `out` may not be written ("it is a directory", "the file is read-only"); empty when it may:
// it does not exist, is a writable regular file, or is a stream.
std::string output_refusal(const std::string& out);
// `out` exists and is a stream: written to, never replaced or removed.
bool is_stream(const std::string& out);
// Writes all of the regular file `from` to the existing stream `to`, neither created nor
// truncated; false with errno set.
bool copy_to_stream(const std::string& from, const std::string& to);
// Puts what was written to `path` on the disk and reads its size; false with errno set.
bool sync_file(const std::string& path, long long& size);

}  // namespace output_files
