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
inline void write_test_module(const std::string& path)
{
    std::vector<uint8_t> f;
    auto u8 = [&](int v) { f.push_back(static_cast<uint8_t>(v)); };
    auto u16 = [&](int v) { u8(v & 255); u8((v >> 8) & 255); };
    auto u32 = [&](long v) { u16(static_cast<int>(v & 0xFFFF)); u16(static_cast<int>((v >> 16) & 0xFFFF)); };
    auto text = [&](const char* s, size_t n) {
        for (size_t i = 0; i < n; i++)
            u8(i < std::char_traits<char>::length(s) ? s[i] : 0);
    };

    const long sample_header = 0xC0 + 2 + 4 + 4;
    const long pattern = sample_header + 0x50;
    const int pattern_bytes = 5 + 63;
    const long sample_data = pattern + 8 + pattern_bytes;
    const int sample_len = 64;

    text("IMPM", 4);
    text("record test", 26);
    u16(0x1004);           // row highlights
    u16(2);                // orders
    u16(0);                // instruments: sample mode
    u16(1);                // samples
    u16(1);                // patterns
    u16(0x0214);           // made with
    u16(0x0214);           // compatible with
    u16(0x0001 | 0x0008);  // stereo, linear slides
    u16(0);                // no message
    u8(128); u8(48); u8(6); u8(125); u8(128); u8(0);  // global vol, mix vol, speed, tempo, sep, pwd
    u16(0); u32(0); u32(0);
    for (int c = 0; c < 64; c++)
        u8(c == 0 ? 32 : 32 | 128);  // channel 1 centred, the others off
    for (int c = 0; c < 64; c++)
        u8(64);
    u8(0); u8(255);  // orders: pattern 0, end
    u32(sample_header);
    u32(pattern);

    text("IMPS", 4);
    text("square.raw", 12);
    u8(0); u8(64); u8(0x01 | 0x10); u8(64);  // global vol, flags: data present, looped; volume
    text("square", 26);
    u8(0x01); u8(32);  // signed samples; default pan unused
    u32(sample_len); u32(0); u32(sample_len); u32(8363 * 4);
    u32(0); u32(0); u32(sample_data);
    u8(0); u8(0); u8(0); u8(0);

    u16(pattern_bytes); u16(64); u32(0);
    u8(0x81); u8(0x03); u8(60); u8(1); u8(0);  // row 0, channel 1: C-5 with sample 1
    for (int r = 1; r < 64; r++)
        u8(0);

    for (int i = 0; i < sample_len; i++)
        u8(i < sample_len / 2 ? 100 : 256 - 100);

    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(f.data()),
                                                static_cast<std::streamsize>(f.size()));
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
