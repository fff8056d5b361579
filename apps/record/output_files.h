// What the video encoder needs of the system beyond the standard library: free space, the size
// limit on files, finding programs, telling a killed recorder's files from a running one's, making
// the scratch directory and the temporary output, and putting the finished file on the disk.
// One implementation per system (output_files_posix.cpp, output_files_windows.cpp).
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
long process_id();
// `path`, named after the recorder `pid`, was left by a recorder that was killed: it is a
// directory (or a regular file, as asked) of this user, older than this process, and that
// recorder is no longer running.
bool stale_leftover(const std::string& path, long pid, bool directory);
// Makes a new directory or a new empty file from `name` ending in "XXXXXX", and sets `name` to
// it; false with errno set. The file gets the mode the output `like` would have.
bool make_unique_directory(std::string& name);
bool make_unique_file(std::string& name, const std::string& like);
// Why the existing `out` may not be replaced by the video ("it is a directory"); empty when it
// may, or does not exist.
std::string output_refusal(const std::string& out);
// Puts what was written to `path` on the disk and reads its size; false with errno set.
bool sync_file(const std::string& path, long long& size);
// Puts the directory's entries (a rename) on the disk, where the system allows it.
void sync_directory(const std::string& dir);

}  // namespace output_files
