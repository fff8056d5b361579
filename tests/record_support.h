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

#include "music/it_layout.h"
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
    namespace song = it::song;
    namespace ins = it::instrument;
    namespace smp = it::sample;
    if (pattern.empty()) {
        pattern = {0x81, 0x03, 60, 1, 0};  // row 0, channel 1: C-5 with sample 1
        pattern.resize(5 + 63, 0);
    }
    const bool instruments = envelope_nodes >= 0;
    const unsigned sample_len = 64;
    it::Image f;

    f.append(song::kSize);
    f.text(song::kSignature, "IMPM", 4);
    f.text(song::kName, "record test", 26);
    f.u16(song::kHighlight, 0x1004);
    f.u16(song::kOrders, orders);
    f.u16(song::kInstruments, instruments ? 1 : 0);
    f.u16(song::kSamples, 1);
    f.u16(song::kPatterns, 1);
    f.u16(song::kCreatedWith, 0x0214);
    f.u16(song::kCompatibleWith, 0x0214);
    f.u16(song::kFlags,
          song::kStereo | song::kLinearSlides | (instruments ? song::kUseInstruments : 0));
    f.u8(song::kGlobalVolume, 128);
    f.u8(song::kMixVolume, 48);
    f.u8(song::kSpeed, 6);
    f.u8(song::kTempo, 125);
    f.u8(song::kSeparation, 128);
    for (size_t c = 0; c < song::kChannels; c++) {
        f.u8(song::kChannelPan + c, c == 0 ? 32 : 32 | song::kChannelOff);  // channel 1 centred
        f.u8(song::kChannelVolume + c, 64);
    }
    const size_t order_list = f.append(static_cast<size_t>(orders));  // pattern 0, then end marks
    for (int i = 1; i < orders; i++)
        f.u8(order_list + static_cast<size_t>(i), song::kOrderEnd);
    const size_t tables = f.append(4 * (instruments ? 3 : 2));

    if (instruments) {
        const size_t at = f.append(ins::kSize);
        f.u32(tables, static_cast<uint32_t>(at));
        f.text(at + ins::kSignature, "IMPI", 4);
        f.u16(at + ins::kFadeout, 256);
        f.u8(at + ins::kPitchPanCentre, 60);
        f.u8(at + ins::kGlobalVolume, 128);
        f.u8(at + ins::kPan, 32 | 128);  // pan off
        f.u16(at + ins::kCreatedWith, 0x0214);
        f.u8(at + ins::kSampleCount, 1);
        f.text(at + ins::kName, "instrument", 26);
        for (int n = 0; n < ins::kKeys; n++) {
            f.u8(at + ins::kKeyboard + 2 * n, n);
            f.u8(at + ins::kKeyboard + 2 * n + 1, 1);
        }
        for (size_t e = 0; e < 3; e++) {
            const size_t env = at + ins::kEnvelopes + e * ins::kEnvelopeSize;
            const int nodes = e == 0 ? envelope_nodes : 0;
            f.u8(env + ins::kEnvelopeFlags, nodes > 0 ? ins::kEnvelopeOn : 0);
            f.u8(env + ins::kEnvelopeNodeCount, nodes);
            for (size_t i = 0; i < ins::kMaxNodes; i++) {
                f.u8(env + ins::kEnvelopeNodes + ins::kNodeSize * i, 64);
                f.u16(env + ins::kEnvelopeNodes + ins::kNodeSize * i + 1, 4 * i);
            }
        }
    }

    const size_t sample = f.append(smp::kSize);
    f.u32(tables + (instruments ? 4 : 0), static_cast<uint32_t>(sample));
    f.text(sample + smp::kSignature, "IMPS", 4);
    f.text(sample + smp::kFileName, "square.raw", 12);
    f.u8(sample + smp::kGlobalVolume, 64);
    f.u8(sample + smp::kFlags, smp::kHasData | smp::kLooped);
    f.u8(sample + smp::kVolume, 64);
    f.text(sample + smp::kName, "square", 26);
    f.u8(sample + smp::kConvert, smp::kSigned);
    f.u8(sample + smp::kPan, 32);  // unused
    f.u32(sample + smp::kLength, sample_len);
    f.u32(sample + smp::kLoopEnd, sample_len);
    f.u32(sample + smp::kRate, 8363 * 4);

    const size_t pattern_at = f.append(it::pattern::kSize);
    f.u32(tables + (instruments ? 8 : 4), static_cast<uint32_t>(pattern_at));
    f.u16(pattern_at + it::pattern::kLength, static_cast<unsigned>(pattern.size()));
    f.u16(pattern_at + it::pattern::kRows, 64);
    f.bytes.insert(f.bytes.end(), pattern.begin(), pattern.end());

    const size_t data = f.append(sample_len);
    f.u32(sample + smp::kDataOffset, static_cast<uint32_t>(data));
    for (unsigned i = 0; i < sample_len; i++)  // a square wave of +-100
        f.u8(data + i, i < sample_len / 2 ? 100 : 256 - 100);
    return f.bytes;
}

inline void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
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
