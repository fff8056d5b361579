#include "common/png_writer.h"

#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/partial_file.h"

namespace {

// A full quota, where the system has one apart from a full disk.
#ifdef EDQUOT
constexpr int kQuotaErrno = EDQUOT;
#else
constexpr int kQuotaErrno = ENOSPC;
#endif

void put32(std::vector<unsigned char>& v, uint32_t x)
{
    v.push_back(static_cast<unsigned char>(x >> 24));
    v.push_back(static_cast<unsigned char>(x >> 16));
    v.push_back(static_cast<unsigned char>(x >> 8));
    v.push_back(static_cast<unsigned char>(x));
}

void chunk(std::vector<unsigned char>& out, const char* type, const unsigned char* data, size_t len)
{
    put32(out, static_cast<uint32_t>(len));
    size_t body = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + len);
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, out.data() + body, static_cast<uInt>(4 + len));
    put32(out, static_cast<uint32_t>(crc));
}

}  // namespace

bool write_png(const std::string& path, BITMAP* bmp, std::string& error)
{
    const int w = bmp->w, h = bmp->h;
    const int depth = bitmap_color_depth(bmp);

    // Rows of filter byte 0 followed by R, G, B.
    std::vector<unsigned char> raw(static_cast<size_t>(h) * (1 + 3 * w));
    unsigned char* p = raw.data();
    for (int y = 0; y < h; y++) {
        *p++ = 0;
        for (int x = 0; x < w; x++) {
            int c = getpixel(bmp, x, y);
            if (depth == 32 || depth == 24) {
                *p++ = static_cast<unsigned char>((c >> 16) & 0xFF);
                *p++ = static_cast<unsigned char>((c >> 8) & 0xFF);
                *p++ = static_cast<unsigned char>(c & 0xFF);
            } else {
                *p++ = static_cast<unsigned char>(getr_depth(depth, c));
                *p++ = static_cast<unsigned char>(getg_depth(depth, c));
                *p++ = static_cast<unsigned char>(getb_depth(depth, c));
            }
        }
    }
    uLongf packed_len = compressBound(static_cast<uLong>(raw.size()));
    std::vector<unsigned char> packed(packed_len);
    if (compress2(packed.data(), &packed_len, raw.data(), static_cast<uLong>(raw.size()), 6) !=
        Z_OK) {
        error = path + ": compression failed";
        return false;
    }

    std::vector<unsigned char> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> ihdr;
    put32(ihdr, static_cast<uint32_t>(w));
    put32(ihdr, static_cast<uint32_t>(h));
    ihdr.insert(ihdr.end(),
                {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter choice, no interlace
    chunk(out, "IHDR", ihdr.data(), ihdr.size());
    chunk(out, "IDAT", packed.data(), packed_len);
    chunk(out, "IEND", nullptr, 0);

    // Beside its name until whole: a failure leaves the previous picture as it was.
    PartialFile file;
    if (!file.open(path, error))
        return false;
    bool ok = true;
    for (size_t done = 0; ok && done < out.size();) {
        const ssize_t n = ::write(file.fd(), out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    if (!ok) {
        const size_t slash = path.rfind('/');
        error = "cannot write " + path + ": " +
                (errno == ENOSPC || errno == kQuotaErrno
                     ? "no space left on the device holding " +
                           (slash == std::string::npos ? "." : path.substr(0, slash))
                     : std::string(std::strerror(errno)));
        return false;
    }
    return file.commit(error);
}
