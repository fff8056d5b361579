#include "assets/picture_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

struct Header {
    std::vector<unsigned char> b;
    uint32_t u16le(size_t at) const { return b[at] | (b[at + 1] << 8); }
    uint32_t u32le(size_t at) const { return u16le(at) | (u16le(at + 2) << 16); }
    uint32_t u16be(size_t at) const { return (b[at] << 8) | b[at + 1]; }
    bool has(size_t at, size_t n) const { return at <= b.size() && n <= b.size() - at; }
};

std::string size_text(long long w, long long h)
{
    return std::to_string(w) + "x" + std::to_string(h);
}

// "" when the size is acceptable, else the fault.
std::string check_size(long long w, long long h)
{
    if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide)
        return "claims " + size_text(w, h) + " pixels; pictures of 1x1 to " +
               size_text(kMaxPictureSide, kMaxPictureSide) + " are accepted";
    return "";
}

// The BMP file header and the Windows (40 bytes or more) or OS/2 (12 bytes) info header.
std::string check_bmp(const Header& h, long long file_size)
{
    const std::string unreadable = "cannot be read as a BMP picture";
    if (!h.has(0, 26) || h.b[0] != 'B' || h.b[1] != 'M')
        return unreadable;
    const long long data_offset = h.u32le(10);
    const uint32_t info_size = h.u32le(14);
    long long w, ht;
    unsigned bpp;
    uint32_t compression = 0, image_size = 0;
    if (info_size == 12) {
        w = h.u16le(18);
        ht = h.u16le(20);
        bpp = h.u16le(24);
    } else if (info_size >= 40 && h.has(0, 54)) {
        w = static_cast<int32_t>(h.u32le(18));
        ht = static_cast<int32_t>(h.u32le(22));
        bpp = h.u16le(28);
        compression = h.u32le(30);
        image_size = h.u32le(34);
        if (ht < 0)
            ht = -ht;  // rows stored top down
    } else {
        return unreadable;
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return unreadable;
    std::string fault = check_size(w, ht);
    if (!fault.empty())
        return fault;
    long long needed;
    if (compression == 0 || compression == 3)  // plain rows, each padded to 4 bytes
        needed = data_offset + (w * bpp + 31) / 32 * 4 * ht;
    else  // run-length coded: only the size the header states can be checked
        needed = data_offset + (image_size ? image_size : 1);
    if (file_size < needed)
        return "is cut short: " + std::to_string(file_size) + " bytes, its header needs " +
               std::to_string(needed);
    return "";
}

bool is_frame_marker(unsigned m)
{
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

// Walks the JPEG markers, over the coded data of each scan, and checks the size of every frame
// header (SOFn). The file must have one before its first scan; what lies past the bytes read is
// left to the loader.
std::string check_jpeg(const Header& h)
{
    const std::string unreadable = "cannot be read as a JPEG picture";
    if (!h.has(0, 2) || h.b[0] != 0xFF || h.b[1] != 0xD8)
        return unreadable;
    bool framed = false;
    size_t p = 2;
    while (h.has(p, 2)) {
        if (h.b[p] != 0xFF)
            return unreadable;
        const unsigned m = h.b[p + 1];
        p += 2;
        if (m == 0xFF) {
            p--;  // a fill byte
            continue;
        }
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7))
            continue;  // markers without a segment
        if (m == 0xD9)
            break;
        if (!framed && m == 0xDA)
            return unreadable + " (no frame header before its image data)";
        if (!h.has(p, 2))
            break;
        const size_t length = h.u16be(p);
        if (length < 2)
            return unreadable;
        if (is_frame_marker(m)) {
            if (length < 7 || !h.has(p, 7))
                return unreadable;
            const std::string fault = check_size(h.u16be(p + 5), h.u16be(p + 3));
            if (!fault.empty())
                return fault;
            framed = true;
        }
        p += length;
        if (m == 0xDA)  // coded data runs to the next marker that is not a stuffed or restart byte
            while (h.has(p, 2) && !(h.b[p] == 0xFF && h.b[p + 1] != 0 &&
                                    !(h.b[p + 1] >= 0xD0 && h.b[p + 1] <= 0xD7)))
                p++;
    }
    return framed ? "" : unreadable + " (no frame header)";
}

}  // namespace

bool check_picture_file(const std::string& path, bool jpeg, std::string& error)
{
    struct stat st;
    std::string fault;
    if (stat(path.c_str(), &st) != 0)
        fault = errno == ENOENT ? "file is missing" : std::strerror(errno);
    else if (S_ISDIR(st.st_mode))
        fault = "is a directory, not a file";
    else if (!S_ISREG(st.st_mode))
        fault = "is not a regular file";
    if (fault.empty()) {
        // Headers come first; a JPEG may carry large metadata segments before its frame header.
        const long long limit = jpeg ? (4 << 20) : 54;
        Header h;
        h.b.resize(static_cast<size_t>(std::min<long long>(limit, st.st_size)));
        std::ifstream in(path, std::ios::binary);
        if (!in.read(reinterpret_cast<char*>(h.b.data()), static_cast<std::streamsize>(h.b.size())))
            fault = std::string("cannot be read: ") + std::strerror(errno);
        else
            fault = jpeg ? check_jpeg(h) : check_bmp(h, static_cast<long long>(st.st_size));
    }
    if (fault.empty())
        return true;
    error = path + ": " + fault;
    return false;
}
