// Files that appear whole or not at all. A PartialFile is written under a temporary name beside
// the file it will become (".stream8-partial-XXXXXX": it fits beside any name the directory
// takes) and renamed over it only when whole, so the previous file survives any failure. While
// it is written, the writer holds a lock on it; a temporary file nobody holds a lock on was left
// by a writer that was killed, and the next writer in that directory removes it. A stream (a
// character device or a FIFO: output_files.h) is never replaced: its temporary file is made in
// the temporary directory and its contents written to the stream when whole. Any other name that
// is not a writable regular file is refused.
#pragma once
#include <string>
#include <vector>

class PartialFile {
public:
    PartialFile() = default;
    ~PartialFile();  // abandons a file not committed
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // Makes the temporary file beside `path` with `mode` (umask applied to a new file, the mode
    // of a regular file it replaces kept). First removes the leftovers of killed writers in that
    // directory, listing them in `removed`. False with `error` set ("cannot write PATH: ...").
    // Refuses a `path` that is neither a stream nor new nor a writable regular file.
    bool open(const std::string& path, std::string& error,
              std::vector<std::string>* removed = nullptr);
    // The temporary name: write to it (by name or through fd()).
    const std::string& temp_path() const { return temp_; }
    int fd() const { return fd_; }
    bool is_open() const { return fd_ >= 0; }
    // On the disk, then renamed to the final name, then the directory on the disk. False with
    // `error` set; the temporary file is then removed and the old file stays.
    bool commit(std::string& error);
    // Removes the temporary file.
    void abandon();

private:
    // Takes `path` as the output: a stream, or a name for a regular file; false with `error` set
    // when it is neither.
    bool take_target(const std::string& path, std::string& error);
    // commit() of a stream: the whole temporary file written to it, then removed.
    bool commit_stream(std::string& error);

    std::string path_, temp_;
    int fd_ = -1;
    bool stream_ = false;  // path_ is written to at commit, never renamed over
};

// Removes from `dir` the temporary files of PartialFile and the directories named `prefix` +
// "XXXXXX" (when `prefix` is not empty) that belong to this user and that no living writer
// holds locked; their paths are added to `removed`.
void remove_unlocked_leftovers(const std::string& dir, const std::string& prefix,
                               std::vector<std::string>& removed);

// A directory made as `parent`/`prefix`XXXXXX and locked while this object lives, so that
// remove_unlocked_leftovers leaves it alone until its maker ends. Empty path on failure (errno).
class LockedDirectory {
public:
    LockedDirectory() = default;
    ~LockedDirectory();
    LockedDirectory(const LockedDirectory&) = delete;
    LockedDirectory& operator=(const LockedDirectory&) = delete;
    bool make(const std::string& parent, const std::string& prefix);
    const std::string& path() const { return path_; }
    // Removes the directory and all in it.
    void remove();

private:
    std::string path_;
    int fd_ = -1;
};
