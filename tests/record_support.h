// Helpers for the recorder tests: a data directory with patterned stand-in pictures and a tiny
// Impulse Tracker module, and running programs with their output captured.
#pragma once
#include <allegro.h>
#include <jpgalleg.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "show_support.h"

// Writes a w x h picture with a diagonal colour pattern, so smears and blends have edges to move.
inline void write_pattern_picture(const std::string& path, int w, int h)
{
    BITMAP* b = create_bitmap_ex(32, w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            putpixel(b, x, y, makecol32((x * 5) & 255, (y * 3) & 255, ((x + y) / 8 % 2) * 200));
    if (path.size() > 4 && path.substr(path.size() - 4) == ".jpg")
        save_jpg(path.c_str(), b, nullptr);
    else
        save_bitmap(path.c_str(), b, nullptr);
    destroy_bitmap(b);
}

// A one-channel Impulse Tracker module that holds a looped square wave from its first row on.
// `pattern` replaces its packed pattern data (64 rows); `envelope_nodes` >= 0 makes it an
// instrument-mode module whose one instrument has a volume envelope of that many nodes; `orders`
// is the length of its order list (pattern 0, then end marks).
inline std::vector<uint8_t> test_module_bytes(std::vector<uint8_t> pattern = {},
                                              int envelope_nodes = -1, int orders = 2)
{
    std::vector<uint8_t> f;
    auto u8 = [&](int v) { f.push_back(static_cast<uint8_t>(v)); };
    auto u16 = [&](int v) { u8(v & 255); u8((v >> 8) & 255); };
    auto u32 = [&](long v) { u16(static_cast<int>(v & 0xFFFF)); u16(static_cast<int>((v >> 16) & 0xFFFF)); };
    auto text = [&](const char* s, size_t n) {
        for (size_t i = 0; i < n; i++)
            u8(i < std::char_traits<char>::length(s) ? s[i] : 0);
    };
    if (pattern.empty()) {
        pattern = {0x81, 0x03, 60, 1, 0};  // row 0, channel 1: C-5 with sample 1
        pattern.resize(5 + 63, 0);
    }

    const bool instruments = envelope_nodes >= 0;
    const long instrument = 0xC0 + orders + 4 + 4 + (instruments ? 4 : 0);
    const long sample_header = instrument + (instruments ? 554 : 0);
    const long pattern_at = sample_header + 0x50;
    const long sample_data = pattern_at + 8 + static_cast<long>(pattern.size());
    const int sample_len = 64;

    text("IMPM", 4);
    text("record test", 26);
    u16(0x1004);           // row highlights
    u16(orders);
    u16(instruments ? 1 : 0);
    u16(1);                // samples
    u16(1);                // patterns
    u16(0x0214);           // made with
    u16(0x0214);           // compatible with
    u16(0x0001 | 0x0008 | (instruments ? 0x0004 : 0));  // stereo, linear slides
    u16(0);                // no message
    u8(128); u8(48); u8(6); u8(125); u8(128); u8(0);  // global vol, mix vol, speed, tempo, sep, pwd
    u16(0); u32(0); u32(0);
    for (int c = 0; c < 64; c++)
        u8(c == 0 ? 32 : 32 | 128);  // channel 1 centred, the others off
    for (int c = 0; c < 64; c++)
        u8(64);
    u8(0);  // orders: pattern 0, then end marks
    for (int i = 1; i < orders; i++)
        u8(255);
    if (instruments)
        u32(instrument);
    u32(sample_header);
    u32(pattern_at);

    if (instruments) {
        text("IMPI", 4);
        text("", 13);
        u8(0); u8(0); u8(0); u16(256);          // NNA, DCT, DCA, fadeout
        u8(0); u8(60); u8(128); u8(32 | 128);   // pitch-pan separation and centre, volume, pan off
        u8(0); u8(0); u16(0x0214); u8(1); u8(0);
        text("instrument", 26);
        u8(0); u8(0); u8(0); u8(0); u16(0);     // filter, MIDI
        for (int n = 0; n < 120; n++) {
            u8(n);
            u8(1);
        }
        for (int e = 0; e < 3; e++) {
            const int nodes = e == 0 ? envelope_nodes : 0;
            u8(e == 0 && nodes > 0 ? 1 : 0); u8(nodes); u8(0); u8(0); u8(0); u8(0);
            for (int i = 0; i < 25; i++) {
                u8(64); u16(i * 4);
            }
            u8(0);
        }
        text("", 4);
    }

    text("IMPS", 4);
    text("square.raw", 12);
    u8(0); u8(64); u8(0x01 | 0x10); u8(64);  // global vol, flags: data present, looped; volume
    text("square", 26);
    u8(0x01); u8(32);  // signed samples; default pan unused
    u32(sample_len); u32(0); u32(sample_len); u32(8363 * 4);
    u32(0); u32(0); u32(sample_data);
    u8(0); u8(0); u8(0); u8(0);

    u16(static_cast<int>(pattern.size())); u16(64); u32(0);
    f.insert(f.end(), pattern.begin(), pattern.end());

    for (int i = 0; i < sample_len; i++)
        u8(i < sample_len / 2 ? 100 : 256 - 100);
    return f;
}

inline void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

inline void write_test_module(const std::string& path)
{
    write_bytes(path, test_module_bytes());
}

// Stand-in pictures (patterned where the intro and scene 0 show them) plus the test module.
inline void write_record_data(const std::string& dir, bool with_module = true)
{
    start_headless_allegro(32);
    write_stand_in_pictures(dir);
    write_pattern_picture(dir + "/logo.jpg", 640, 200);
    write_pattern_picture(dir + "/ruvo2.jpg", 640, 480);
    if (with_module)
        write_test_module(dir + "/80S5.IT");
}

// Runs a shell command; returns its exit status and its standard output (errors appended when
// `with_errors`).
inline int run_command(const std::string& cmd, std::string& output, bool with_errors = true)
{
    output.clear();
    FILE* p = popen((cmd + (with_errors ? " 2>&1" : "")).c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        output.append(buf, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads a file whole.
inline std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
