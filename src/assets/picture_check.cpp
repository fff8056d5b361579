#include "assets/picture_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

struct Header {
    const std::vector<unsigned char>& b;
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

// A run-length coded BMP (RLE8 on 8-bit, RLE4 on 4-bit pictures) walked to its end code as the
// loader decodes it, bottom row first: no run, literal or move may leave the bitmap, and the
// stream must end inside the file.
std::string check_bmp_rle(const Header& h, size_t at, long long w, long long ht, bool four_bit)
{
    long long x = 0, y = 0;
    auto where = [&] { return " at row " + std::to_string(y) + ", column " + std::to_string(x); };
    const std::string past = "its run-length data runs past the end of the file";
    for (;;) {
        if (!h.has(at, 2))
            return past + " (no end code)";
        const unsigned count = h.b[at], value = h.b[at + 1];
        at += 2;
        if (count > 0) {  // a run of `count` pixels
            if (y >= ht || x + count > w)
                return "its run-length data overruns the picture" + where();
            x += count;
            continue;
        }
        if (value == 0) {  // end of row
            x = 0;
            y++;
        } else if (value == 1) {  // end of picture
            return "";
        } else if (value == 2) {  // move right and up
            if (!h.has(at, 2))
                return past;
            x += h.b[at];
            y += h.b[at + 1];
            at += 2;
            if (x > w || y > ht || (y == ht && x > 0))
                return "its run-length data moves outside the picture" + where();
        } else {  // `value` literal pixels, padded to a 16-bit boundary
            const size_t bytes = four_bit ? (value + 1) / 2 : value;
            if (y >= ht || x + value > w)
                return "its run-length data overruns the picture" + where();
            if (!h.has(at, bytes))
                return past;
            x += value;
            at += (bytes + 1) & ~size_t{1};
        }
        if (y > ht)
            return "its run-length data overruns the picture" + where();
    }
}

// The BMP file header, the Windows (40 bytes or more) or OS/2 (12 bytes) info header, and the
// pixel data: plain rows against the file's length, run-length data walked to its end.
std::string check_bmp(const Header& h)
{
    const std::string unreadable = "cannot be read as a BMP picture";
    if (!h.has(0, 26) || h.b[0] != 'B' || h.b[1] != 'M')
        return unreadable;
    const long long data_offset = h.u32le(10);
    const uint32_t info_size = h.u32le(14);
    long long w, ht;
    unsigned bpp;
    uint32_t compression = 0;
    bool top_down = false;
    if (info_size == 12) {
        w = h.u16le(18);
        ht = h.u16le(20);
        bpp = h.u16le(24);
    } else if (info_size >= 40 && h.has(0, 54)) {
        w = static_cast<int32_t>(h.u32le(18));
        ht = static_cast<int32_t>(h.u32le(22));
        bpp = h.u16le(28);
        compression = h.u32le(30);
        top_down = ht < 0;
        if (top_down)
            ht = -ht;
    } else {
        return unreadable;
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return unreadable;
    std::string fault = check_size(w, ht);
    if (!fault.empty())
        return fault;
    const long long file_size = static_cast<long long>(h.b.size());
    if (top_down && compression != 1 && compression != 2)
        return "is stored top down (a negative height), which the loader cannot read";
    if (compression == 1 || compression == 2) {
        const unsigned coded_bpp = compression == 1 ? 8 : 4;
        if (bpp != coded_bpp)
            return "is run-length coded for " + std::to_string(coded_bpp) + "-bit pixels but has " +
                   std::to_string(bpp) + "-bit pixels";
        if (top_down)
            return "is run-length coded and stored top down, which BMP does not allow";
        if (data_offset >= file_size)
            return "is cut short: its pixel data would start at byte " +
                   std::to_string(data_offset);
        return check_bmp_rle(h, static_cast<size_t>(data_offset), w, ht, compression == 2);
    }
    if (compression != 0 && compression != 3)
        return "uses compression " + std::to_string(compression) + ", which the loader cannot read";
    // Plain rows, each padded to 4 bytes.
    const long long needed = data_offset + (w * bpp + 31) / 32 * 4 * ht;
    if (file_size < needed)
        return "is cut short: " + std::to_string(file_size) + " bytes, its header needs " +
               std::to_string(needed);
    return "";
}

// What a JPEG has defined so far: Huffman DC (0) and AC (1) tables 0..3, and its frame.
struct JpegTables {
    bool huffman[2][4] = {};
    bool quantisation = false;
    bool quant_defined[4] = {};     // by a DQT segment so far
    unsigned restart_interval = 0;  // MCUs between restart markers (DRI); 0: none
    unsigned long mcus = 0;         // of a baseline frame's one scan
    bool progressive = false;
    unsigned components = 0;  // 0 until the frame header
    unsigned id[3] = {};      // the frame's component ids, in its order
    unsigned quant[3] = {};   // and the quantisation table of each
};

std::string sampling_text(unsigned factors)
{
    return std::to_string(factors >> 4) + "x" + std::to_string(factors & 15);
}

// The two chrominance components of a colour frame (its ids and tables in `t`) share one
// quantisation table, as the loader reads them.
std::string check_chroma_tables(const JpegTables& t)
{
    unsigned chroma[2], n = 0;
    for (unsigned c = 0; c < 3; c++)
        if (t.id[c] != 1)
            chroma[n++] = t.quant[c];
    if (chroma[0] != chroma[1])
        return "its two chrominance components use quantisation tables " +
               std::to_string(chroma[0]) + " and " + std::to_string(chroma[1]) +
               "; the loader reads both with one";
    return "";
}

// A frame header, against the layouts the loader decodes within its bitmap and buffers. It reads
// one (grey) or three (colour) 8-bit components: 1 is luminance, 2 and 3 chrominance, and a
// component of any other id is skipped by its reader, so 1, 2 and another id above 2 decode as
// 1, 2 and 3 do (the loader takes one set of chrominance tables for both; see check_sos). It
// takes the sampling of component 1 alone: luminance 1x1, 2x1, 1x2 or 2x2 over chrominance 1x1.
// A baseline grey picture is read as 1x1 whatever it claims; a progressive one is plotted by its
// claimed sampling as if it had colour, three bytes a pixel into one-byte rows. Luminance 4x1 and
// 1x4 place blocks outside the bitmap; chrominance other than 1x1 is read as 1x1 and comes out
// wrong.
std::string check_sof(const Header& h, unsigned m, size_t p, size_t length, JpegTables& t)
{
    const std::string unreadable = "cannot be read as a JPEG picture";
    if (length < 8 || length < 8 + 3 * size_t{h.b[p + 7]})
        return unreadable + " (its frame header is cut short)";
    const unsigned components = h.b[p + 7];
    const std::string fault = check_size(h.u16be(p + 5), h.u16be(p + 3));
    if (!fault.empty())
        return fault;
    if (m != 0xC0 && m != 0xC1 && m != 0xC2)
        return "is coded as SOF" + std::to_string(m - 0xC0) +
               " (lossless, hierarchical or arithmetic); the loader reads baseline and progressive "
               "Huffman coding only";
    if (h.b[p + 2] != 8)
        return "has " + std::to_string(h.b[p + 2]) +
               "-bit samples; the loader reads 8-bit ones only";
    if (components != 1 && components != 3)
        return "has " + std::to_string(components) +
               " components; the loader reads 1 (greyscale) or 3 (colour) only";
    const bool progressive = m == 0xC2;
    const std::string mode = progressive ? "progressive " : "baseline ";
    const std::string ids_read =
        "; the loader reads components 1 (greyscale) or 1, 2 and 3 (colour; "
        "in baseline, 1, 2 and one numbered above 2) only";
    unsigned seen = 0;  // ids 1 and 2
    for (unsigned c = 0; c < components; c++) {
        const unsigned id = h.b[p + 8 + 3 * c], factors = h.b[p + 9 + 3 * c];
        const unsigned across = factors >> 4, down = factors & 15;
        t.id[c] = id;
        t.quant[c] = h.b[p + 10 + 3 * c];
        if (t.quant[c] > 3)
            return "its component " + std::to_string(id) + " names quantisation table " +
                   std::to_string(t.quant[c]) + "; tables are numbered 0..3";
        const bool twice = (id == 1 || id == 2) && (seen & (1u << id));
        // The third colour component: 3, or in baseline any id above 2 (progressive scans of it
        // would be skipped).
        const bool third = components == 3 && (id == 3 || (!progressive && id > 3));
        if (id < 1 || (id > components && !third) || twice)
            return "its frame names component " + std::to_string(id) + (twice ? " twice" : "") +
                   ids_read;
        if (id <= 2)
            seen |= 1u << id;
        if (id != 1) {
            if (factors != 0x11)
                return "its chrominance sampling " + sampling_text(factors) +
                       " is read by the loader as 1x1, which misplaces the picture's colour";
            continue;
        }
        const unsigned product = across * down;
        if (product != 1 && product != 2 && product != 4)
            return "its luminance sampling " + sampling_text(factors) +
                   " is not one the loader reads (1x1, 2x1, 1x2 or 2x2)";
        if (components == 1 && progressive && factors != 0x11)
            return "is progressive greyscale with luminance sampling " + sampling_text(factors) +
                   ", which makes the loader write past the picture (it reads progressive "
                   "greyscale at 1x1 only)";
        if (components == 3 && (across > 2 || down > 2))
            return "its luminance sampling " + sampling_text(factors) + " in " + mode +
                   "colour makes the loader write past the picture (it reads 1x1, 2x1, 1x2 or 2x2)";
    }
    if (seen != (components == 1 ? 2u : 6u))  // two thirds
        return "its frame has no component " + std::string(seen & 2 ? "2" : "1") + ids_read;
    if (components == 3) {
        const std::string fault = check_chroma_tables(t);
        if (!fault.empty())
            return fault;
    }
    t.components = components;
    t.progressive = progressive;
    // One MCU a block of each component, or a luminance group of blocks over one of each
    // chrominance block.
    unsigned across = 1, down = 1;
    for (unsigned c = 0; c < components; c++)
        if (t.id[c] == 1 && components == 3) {
            across = h.b[p + 9 + 3 * c] >> 4;
            down = h.b[p + 9 + 3 * c] & 15;
        }
    const unsigned long width = h.u16be(p + 5), height = h.u16be(p + 3);
    t.mcus = ((width + 8 * across - 1) / (8 * across)) * ((height + 8 * down - 1) / (8 * down));
    return "";
}

// A DHT segment: each table's class and number, its 16 code counts and its symbols, which must
// fill the segment exactly; the counts must form a prefix code, or the loader writes past the
// lookup table of a code length.
std::string check_dht(const Header& h, size_t p, size_t end, JpegTables& t)
{
    const std::string bad = "its Huffman table ";
    while (p < end) {
        if (!h.has(p, 17) || p + 17 > end)
            return bad + "segment is cut short";
        const unsigned tc = h.b[p] >> 4, th = h.b[p] & 15;
        if (tc > 1 || th > 3)
            return bad + "has class " + std::to_string(tc) + " and number " + std::to_string(th);
        unsigned symbols = 0;
        uint32_t codes = 0;  // codes used of the current length, shifted on to the next
        for (int len = 1; len <= 16; len++) {
            const unsigned n = h.b[p + len];
            symbols += n;
            codes += n;
            if (codes > (uint32_t{1} << len))
                return bad + std::to_string(th) + " has more codes of length " +
                       std::to_string(len) + " than fit";
            codes <<= 1;
        }
        if (symbols > 256)
            return bad + std::to_string(th) + " has " + std::to_string(symbols) + " symbols";
        if (p + 17 + symbols > end)
            return bad + std::to_string(th) + " runs past its segment";
        // A DC symbol is a difference's size (0..11), an AC one a run of zeros and a size (0..10).
        for (unsigned i = 0; i < symbols; i++) {
            const unsigned v = h.b[p + 17 + i];
            if (tc == 0 && v > 11)
                return "its DC Huffman table " + std::to_string(th) + " holds the symbol " +
                       std::to_string(v) + "; DC symbols are 0..11";
            if (tc == 1 && (v & 15) > 10)
                return "its AC Huffman table " + std::to_string(th) + " holds the symbol " +
                       std::to_string(v) + " (a run of " + std::to_string(v >> 4) + ", size " +
                       std::to_string(v & 15) + "); AC sizes are 0..10";
        }
        t.huffman[tc][th] = true;
        p += 17 + symbols;
    }
    return "";
}

// A DQT segment: whole 8-bit tables numbered 0..3 that fill the segment exactly.
std::string check_dqt(const Header& h, size_t p, size_t end, JpegTables& t)
{
    t.quantisation = true;
    while (p < end) {
        if (h.b[p] > 3)
            return "its quantisation table " + std::to_string(h.b[p] & 15) + " (precision " +
                   std::to_string(h.b[p] >> 4) + ") cannot be read";
        if (p + 65 > end)
            return "its quantisation table runs past its segment";
        t.quant_defined[h.b[p]] = true;
        p += 65;
    }
    return "";
}

// A scan header: 1..3 components, each naming Huffman tables defined before it (a DC-only
// progressive scan uses no AC table, an AC scan no DC table, a refinement of DC neither).
std::string check_sos(const Header& h, size_t p, size_t end, const JpegTables& t)
{
    const bool progressive = t.progressive;
    if (p >= end)
        return "its scan header cannot be read";
    const unsigned n = h.b[p];
    if (n < 1 || n > 3 || p + 1 + 2 * n + 3 > end)
        return "its scan header cannot be read";
    const unsigned ss = h.b[p + 1 + 2 * n], ah = h.b[p + 3 + 2 * n] >> 4;
    const bool needs_dc = !progressive || (ss == 0 && ah == 0);
    const bool needs_ac = !progressive || ss > 0;
    auto undefined = [&](unsigned cls, unsigned id) { return id > 3 || !t.huffman[cls][id]; };
    // A baseline colour picture is decoded as one scan of all three components, luminance first:
    // a scan of fewer (legal, but not read so) makes the loader read one component's data as
    // another's and crash.
    if (!progressive && t.components == 3 && n != 3)
        return "its colour image is coded in separate scans (" + std::to_string(n) +
               " of its 3 components in a scan); the loader reads baseline colour only as one scan "
               "of all three";
    if (!progressive && t.components == 3 && h.b[p + 1] != 1)
        return "its scan puts component " + std::to_string(h.b[p + 1]) +
               " first; the loader reads baseline colour with luminance (1) first";
    int chroma_tables = -1;
    for (unsigned c = 0; c < n; c++) {
        const unsigned id = h.b[p + 1 + 2 * c];
        int in_frame = -1;
        for (unsigned f = 0; f < t.components; f++)
            if (t.id[f] == id)
                in_frame = static_cast<int>(f);
        if (in_frame < 0)
            return "its scan names component " + std::to_string(id) +
                   ", which its frame does not have";
        if (t.quantisation && !t.quant_defined[t.quant[in_frame]])
            return "its component " + std::to_string(id) + " uses quantisation table " +
                   std::to_string(t.quant[in_frame]) +
                   ", which the file does not define before its image data";
        if (id != 1) {
            const int tables = h.b[p + 2 + 2 * c];
            if (chroma_tables >= 0 && tables != chroma_tables)
                return "its scan codes its two chrominance components with different Huffman "
                       "tables; the loader reads both with one";
            chroma_tables = tables;
        }
        const unsigned td = h.b[p + 2 + 2 * c] >> 4, ta = h.b[p + 2 + 2 * c] & 15;
        const bool dc_missing = needs_dc && undefined(0, td),
                   ac_missing = needs_ac && undefined(1, ta);
        if (dc_missing || ac_missing)
            return std::string("its scan uses ") + (dc_missing ? "DC" : "AC") + " Huffman table " +
                   std::to_string(dc_missing ? td : ta) +
                   ", which the file does not define before it";
    }
    return "";
}

// The text an APPn segment starts with, for a message: up to `n` printable characters.
std::string app_text(const Header& h, size_t p, size_t end, size_t n)
{
    std::string text;
    for (; p < end && text.size() < n && h.b[p] >= 0x20 && h.b[p] < 0x7F; p++)
        text += static_cast<char>(h.b[p]);
    return "\"" + text + "\"";
}

// Where the walk over a JPEG's segments stands.
struct JpegWalk {
    JpegTables tables;
    bool app0 = false, app1 = false;  // an APPn the loader takes before the first scan
    bool scanned = false;             // a scan has begun
};

// The segment with marker `m` whose length field is at `p` (`length` bytes from there, all in the
// file), against what the loader makes of it; "" when it reads it soundly.
std::string check_segment(const Header& h, unsigned m, size_t p, size_t length, JpegWalk& w)
{
    const size_t body = p + 2, end = p + length;
    std::string fault;
    if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
        if (w.tables.components != 0)
            return "has a second frame header; the loader reads one frame only";
        fault = check_sof(h, m, p, length, w.tables);
    } else if (m == 0xC4) {
        fault = check_dht(h, body, end, w.tables);
    } else if (m == 0xDB) {
        fault = check_dqt(h, body, end, w.tables);
    } else if (m == 0xDA) {
        fault = check_sos(h, body, end, w.tables);
        if (fault.empty() && !w.scanned) {
            if (!w.tables.quantisation)
                fault = "its image data comes before any quantisation table";
            else if (!w.app0 && !w.app1)
                fault = "has no JFIF APP0, Exif APP1 or other APPn segment before its image data; "
                        "the loader reads none without one";
        }
        w.scanned = true;
    } else if (m == 0xDD) {
        if (length != 4)
            return "its restart interval segment has " + std::to_string(length) + " bytes, not 4";
        w.tables.restart_interval = h.u16be(body);
    } else if (m == 0xE0 && !w.app0 && !w.scanned) {
        if (length < 8 || std::memcmp(&h.b[body], "JFIF\0", 5) != 0 || h.b[body + 5] != 1)
            return "its first APP0 segment is " + app_text(h, body, end, 8) +
                   ", not JFIF 1.x; the loader reads an APP0 before any other APPn only as JFIF";
        w.app0 = true;
    } else if (m == 0xE1 && !w.app1 && !w.scanned) {
        if (length < 7 || std::memcmp(&h.b[body], "Exif\0", 5) != 0)
            return "its first APP1 segment is " + app_text(h, body, end, 30) +
                   ", not Exif; the loader reads its first APP1 only as Exif";
        w.app1 = true;
    } else if (m >= 0xE2 && m <= 0xEF) {
        w.app0 = true;
    }
    return fault;
}

// Moves `p` over a scan's coded data, to the next marker that is not a stuffed byte or a restart
// marker. A baseline scan with a restart interval shorter than its MCUs must hold restart markers:
// the loader reads one after every interval and loses its place without them.
std::string skip_scan_data(const Header& h, size_t& p, const JpegTables& t)
{
    unsigned long restarts = 0;
    for (; h.has(p, 2); p++) {
        if (h.b[p] != 0xFF || h.b[p + 1] == 0)
            continue;
        if (h.b[p + 1] < 0xD0 || h.b[p + 1] > 0xD7)
            break;
        restarts++;
    }
    if (!t.progressive && t.restart_interval > 0 && restarts == 0 && h.has(p, 2) &&
        t.mcus > t.restart_interval)
        return "it sets a restart interval of " + std::to_string(t.restart_interval) +
               " MCUs, but its image data holds no restart marker";
    return "";
}

// Walks the JPEG markers, over the coded data of each scan, and checks every frame header's
// layout and size, every Huffman and quantisation table and every scan's components and table
// references, up to the end marker or the end of the file. The loader reads headers until its
// first scan and stops at an APP0 it takes for JFIF or an APP1 it takes for Exif that is not;
// before that scan it needs a JFIF APP0, an Exif APP1 or any of APP2..APP15, or it reads on
// through the coded data and gives up.
std::string check_jpeg(const Header& h)
{
    const std::string unreadable = "cannot be read as a JPEG picture";
    if (!h.has(0, 2) || h.b[0] != 0xFF || h.b[1] != 0xD8)
        return unreadable;
    bool ended = false, in_data = false;
    JpegWalk walk;
    // A file that ends before its end marker is cut short: the loader would show what is there
    // and make up the rest.
    const std::string cut = "is cut short: its " + std::to_string(h.b.size()) + " bytes end ";
    size_t p = 2;
    while (h.has(p, 2)) {
        in_data = false;
        if (h.b[p] != 0xFF)
            return unreadable;
        const unsigned m = h.b[p + 1];
        p += 2;
        if (m == 0xFF) {
            p--;  // a fill byte
            continue;
        }
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) {  // markers without a segment
            if (!walk.scanned)
                return "has a restart or TEM marker before its image data, where the loader stops";
            continue;
        }
        if (m == 0xD9) {
            ended = true;
            break;
        }
        if (walk.tables.components == 0 && m == 0xDA)
            return unreadable + " (no frame header before its image data)";
        if (!h.has(p, 2))
            break;
        const size_t length = h.u16be(p);
        if (length < 2)
            return unreadable + " (a segment of length " + std::to_string(length) + ")";
        if (!h.has(p, length))
            return cut + "inside a segment of " + std::to_string(length) + " bytes at byte " +
                   std::to_string(p - 2);
        const std::string fault = check_segment(h, m, p, length, walk);
        if (!fault.empty())
            return fault;
        p += length;
        if (m == 0xDA) {
            const std::string fault = skip_scan_data(h, p, walk.tables);
            if (!fault.empty())
                return fault;
            in_data = true;
        }
    }
    if (!ended)
        return cut + (in_data ? "inside its image data" : "between its segments") +
               ", before its end-of-image marker";
    return walk.tables.components != 0 ? "" : unreadable + " (no frame header)";
}

// Reads the regular file `path` whole, once, into `bytes`; "" or the fault. Whatever is at `path`
// is opened without waiting (a FIFO swapped in for the file never blocks) and judged by what was
// opened, not by an earlier look at the name.
std::string read_whole(const std::string& path, std::vector<unsigned char>& bytes)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? "file is missing" : std::strerror(errno);
    if (S_ISDIR(st.st_mode))
        return "is a directory, not a file";
    int flags = O_RDONLY;
#ifdef O_NONBLOCK
    flags |= O_NONBLOCK;
#endif
#ifdef O_BINARY
    flags |= O_BINARY;
#endif
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0)
        return errno == ENOENT ? "file is missing"
                               : std::string("cannot be read: ") + std::strerror(errno);
    std::string fault;
    if (fstat(fd, &st) != 0)
        fault = std::string("cannot be read: ") + std::strerror(errno);
    else if (S_ISDIR(st.st_mode))
        fault = "is a directory, not a file";
    else if (!S_ISREG(st.st_mode))
        fault = "is not a regular file";
    else if (st.st_size > kMaxPictureFileSize)
        fault = "is " + std::to_string(st.st_size) + " bytes; pictures of up to " +
                std::to_string(kMaxPictureFileSize >> 20) + " MB are accepted";
    // The whole file: a JPEG's tables and scans may lie anywhere, after metadata of any size.
    // What it holds when read is what counts, should it have changed since its size was taken.
    if (fault.empty()) {
        // A byte more than its size: a file that has not grown is read without a second buffer.
        bytes.resize(static_cast<size_t>(st.st_size) + 1);
        size_t got = 0;
        for (;;) {
            if (got == bytes.size())
                bytes.resize(std::min<size_t>(bytes.size() * 2 + 4096, kMaxPictureFileSize + 1));
            const auto n =
                ::read(fd, bytes.data() + got, static_cast<unsigned>(bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                fault = std::string("cannot be read: ") + std::strerror(errno);
                break;
            }
            if (n == 0)
                break;
            got += static_cast<size_t>(n);
            if (got > static_cast<size_t>(kMaxPictureFileSize)) {
                fault = "grew past " + std::to_string(kMaxPictureFileSize >> 20) +
                        " MB while it was read";
                break;
            }
        }
        bytes.resize(got);
    }
    ::close(fd);
    return fault;
}

}  // namespace

std::string picture_fault(const std::vector<unsigned char>& bytes, bool jpeg)
{
    const Header h{bytes};
    return jpeg ? check_jpeg(h) : check_bmp(h);
}

bool check_picture_file(const std::string& path, bool jpeg, std::string& error)
{
    std::vector<unsigned char> bytes;
    return read_picture_file(path, jpeg, bytes, error);
}

bool read_picture_file(const std::string& path, bool jpeg, std::vector<unsigned char>& bytes,
                       std::string& error)
{
    bytes.clear();
    std::string fault = read_whole(path, bytes);
    if (fault.empty())
        fault = picture_fault(bytes, jpeg);
    if (fault.empty())
        return true;
    bytes.clear();
    error = path + ": " + fault;
    return false;
}
