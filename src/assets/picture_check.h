// Checks a picture file the way its loader will read it, before the loader sees it: a header
// that makes a loader's size arithmetic wrap, a table or run that makes it write past its memory.
#pragma once
#include <string>
#include <vector>

// The largest width or height a picture of the show may claim, and the largest file read.
constexpr int kMaxPictureSide = 8192;
constexpr long long kMaxPictureFileSize = 64LL << 20;

// Called by load_pictures for each file before it is loaded: true when `path` is a regular file
// of at most kMaxPictureFileSize bytes that reads as a BMP (`jpeg` false) or JPEG the way its
// loader reads it, claiming a size within kMaxPictureSide: a bottom-up BMP long enough for its
// plain rows, or whose run-length data stays inside the bitmap up to its end code; a JPEG that
// reaches its end marker, in a layout the loader decodes within its buffers and reads right
// (8-bit, baseline or progressive, component 1, or components 1, 2 and 3 (baseline: 1, 2 and one
// above 2) with the samplings it handles and one set of chrominance tables, baseline colour in
// one scan of all three, after an APPn it accepts), whose Huffman and quantisation tables are
// well formed and whose scans use only components and tables defined before them.
// Otherwise false with `error` set to "PATH: fault".
bool check_picture_file(const std::string& path, bool jpeg, std::string& error);
// The same, handing over the very bytes it checked: the decoder reads those, never the file again,
// so a file changed or swapped after its check changes nothing. A FIFO put in its place is never
// waited on.
bool read_picture_file(const std::string& path, bool jpeg, std::vector<unsigned char>& bytes,
                       std::string& error);

// The same check on a whole file already in memory, without the size limit on files: "" when
// the loader reads it safely, else the fault.
std::string picture_fault(const std::vector<unsigned char>& bytes, bool jpeg);
