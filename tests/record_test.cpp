// Recorder and benchmark building blocks: frame lists, the sound schedule,
// PNG output and the module renderer; the start-up probe that decodes the pictures for them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <thread>

#include <dumb.h>

#include "bench/frame_stats.h"
#include "common/frame_list.h"
#include "common/png_writer.h"
#include "music/module_audio.h"
#include "music/module_check.h"
#include "music/module_player.h"
#include "platform/subprocess.h"
#include "record/recording_host.h"
#include "record_support.h"

namespace {

FrameSet parse_ok(const std::string& list)
{
    FrameSet set;
    std::string error;
    EXPECT_TRUE(parse_frame_set(list, set, error)) << list << ": " << error;
    return set;
}

std::string parse_error(const std::string& list)
{
    FrameSet set;
    std::string error;
    EXPECT_FALSE(parse_frame_set(list, set, error)) << list << " was accepted";
    return error;
}

TEST(FrameList, ListsRangesAndSinglesAcrossPhases)
{
    FrameSet set = parse_ok("loop:160-165,fade:130, logo:1 ,smear:600,pause:500,loop:2099");
    EXPECT_EQ(set.size(), 6 + 5);
    EXPECT_TRUE(set.contains({Phase::Loop, 160}));
    EXPECT_TRUE(set.contains({Phase::Loop, 165}));
    EXPECT_FALSE(set.contains({Phase::Loop, 166}));
    EXPECT_FALSE(set.contains({Phase::Fade, 160})) << "ranges belong to their own phase";
    EXPECT_TRUE(set.contains({Phase::Fade, 130}));
    EXPECT_TRUE(set.contains({Phase::Logo, 1}));
    // The last frame in show order, wherever it stands in the list.
    EXPECT_TRUE(set.last() == (FrameLabel{Phase::Fade, 130}));
    EXPECT_TRUE(parse_ok("loop:5-9,logo:3,loop:7").last() == (FrameLabel{Phase::Loop, 9}));
    EXPECT_EQ(parse_ok("loop:5-9,loop:7-12").size(), 8) << "overlaps count once";
    const FrameSet one = parse_ok("loop:5-5");
    EXPECT_EQ(one.size(), 1) << "a range of one frame";
    EXPECT_TRUE(one.contains({Phase::Loop, 5}));

    EXPECT_EQ(png_file_name({Phase::Loop, 160}), "loop-00160.png");
    EXPECT_EQ(png_file_name({Phase::Fade, 7}), "fade-00007.png");
    EXPECT_EQ(label_text({Phase::Smear, 600}), "smear:600");
}

TEST(FrameList, BadListsAreRefusedWithTheReason)
{
    EXPECT_NE(parse_error("loop:0").find("loop frames are numbered 1..2099"), std::string::npos);
    EXPECT_NE(parse_error("loop:2100").find("1..2099"), std::string::npos);
    EXPECT_NE(parse_error("logo:709").find("1..708"), std::string::npos);
    EXPECT_NE(parse_error("smear:601").find("1..600"), std::string::npos);
    EXPECT_NE(parse_error("pause:709").find("1..708"), std::string::npos);
    EXPECT_NE(parse_error("fade:1-901").find("1..900"), std::string::npos);
    EXPECT_NE(parse_error("scene:3").find("unknown phase 'scene'"), std::string::npos);
    EXPECT_NE(parse_error("LOOP:3").find("unknown phase"), std::string::npos);
    EXPECT_NE(parse_error("loop:9-5").find("backwards"), std::string::npos);
    EXPECT_NE(parse_error("loop160").find("expected PHASE:N"), std::string::npos);
    EXPECT_NE(parse_error("loop:1,,loop:2").find("empty item"), std::string::npos);
    EXPECT_NE(parse_error("").find("empty item"), std::string::npos);
    EXPECT_NE(parse_error("loop:1,").find("empty item"), std::string::npos);
    EXPECT_NE(parse_error("loop:x").find("not a frame number"), std::string::npos);
    EXPECT_NE(parse_error("loop:-3").find("not a range"), std::string::npos);
    EXPECT_NE(parse_error("loop:+3").find("not a frame number"), std::string::npos);
    EXPECT_NE(parse_error("loop:3-").find("not a range"), std::string::npos);
    EXPECT_NE(parse_error("loop:99999999999").find("not a frame number"), std::string::npos);
    EXPECT_NE(parse_error("fade:1,loop:0").find("'loop:0'"), std::string::npos)
        << "the message quotes the bad item";

    FrameLabel f;
    std::string error;
    EXPECT_TRUE(parse_frame_label("loop:60", f, error));
    EXPECT_TRUE(f == (FrameLabel{Phase::Loop, 60}));
    EXPECT_FALSE(parse_frame_label("loop:1-60", f, error));
    EXPECT_FALSE(parse_frame_label("loop:1,fade:2", f, error));
}

TEST(RecordOptions, CommandLine)
{
    RecordOptions o;
    bool help = false;
    std::string error;
    ASSERT_TRUE(parse_record_options({"--out=a.mp4", "--frames", "loop:3", "--until", "loop:60",
                                      "--data", "d", "--frames-dir", "f"},
                                     o, help, error))
        << error;
    EXPECT_EQ(o.out, "a.mp4");
    EXPECT_TRUE(o.video);
    EXPECT_TRUE(o.has_until);
    EXPECT_EQ(o.data_dir, "d");
    EXPECT_EQ(o.frames_dir, "f");
    EXPECT_EQ(o.scale, 1);
    ASSERT_TRUE(parse_record_options({"--scale", "4"}, o, help, error)) << error;
    EXPECT_EQ(o.scale, 4);

    ASSERT_TRUE(parse_record_options({"--quiet", "--no-video", "--frames=logo:1", "--crf=0"}, o,
                                     help, error))
        << error;
    EXPECT_TRUE(o.quiet);
    EXPECT_FALSE(o.video);
    EXPECT_EQ(o.crf, 0);
    ASSERT_TRUE(parse_record_options({"--no-video", "--sound-raw", "s.raw"}, o, help, error))
        << error;
    EXPECT_EQ(o.sound_raw, "s.raw");
    ASSERT_TRUE(parse_record_options({"--out", "x.mp4", "-h", "--fps"}, o, help, error)) << error;
    EXPECT_TRUE(help) << "help ends the parse";

    const struct {
        std::vector<std::string> args;
        const char* message;
    } bad_lines[] = {
        {{"--scale", "0"}, "bad --scale '0': a number 1..4"},
        {{"--scale", "5"}, "bad --scale '5': a number 1..4"},
        {{"--scale=2x"}, "bad --scale '2x': a number 1..4"},
        {{"--scale", ""}, "bad --scale '': a number 1..4"},
        {{"--crf", "52"}, "bad --crf '52': a number 0..51"},
        {{"--no-video"},
         "--no-video needs --frames LIST, --hash-log FILE or --sound-raw FILE (there would be "
         "nothing to write)"},
        {{"--no-video", "--sound-raw="}, "--sound-raw needs a file name"},
        {{"--frames", "loop:0"}, "bad --frames: 'loop:0': loop frames are numbered 1..2099"},
        {{"--until", "loop:1-2"},
         "bad --until: 'loop:1-2': a single frame is needed here, not a range"},
        {{"--out"}, "--out needs a value"},
        {{"--out", ""}, "--out needs a file name"},
        {{"--out="}, "--out needs a file name"},
        {{"--quiet=yes"}, "--quiet takes no value"},
        {{"--fps", "30"}, "unknown option '--fps'"},
        {{"--fps=30"}, "unknown option '--fps=30'"},
        {{"-q"}, "unknown option '-q'"},
        {{"--quiet", "v.mp4"}, "unexpected argument 'v.mp4'"},
    };
    for (const auto& line : bad_lines) {
        RecordOptions bad;
        error.clear();
        EXPECT_FALSE(parse_record_options(line.args, bad, help, error)) << line.message;
        EXPECT_EQ(error, line.message);
    }
}

// The helper's status is the only word on whether its work was done: a child that took every byte
// and then failed is a failure, however it ended.
TEST(Subprocess, StatusIsReportedAfterTheChildTookAllItsInput)
{
    const std::vector<char> input(1 << 20, 'x');  // far more than a pipe holds
    TempDir dir;
    const struct {
        const char* script;
        bool ok;
        const char* ended;
    } rows[] = {
        {"cat >/dev/null", true, "exit status 0"},
        {"cat >/dev/null; exit 3", false, "exit status 3"},
        {"cat >/dev/null; kill -KILL $$", false, "killed by signal 9"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        Subprocess p;
        std::string error;
        ASSERT_TRUE(p.start({"sh", "-c", row.script}, true, dir.file("log"), error)) << error;
        EXPECT_TRUE(p.write(input.data(), input.size())) << "the child reads everything";
        EXPECT_EQ(p.finish(), row.ok);
        EXPECT_EQ(p.how_it_ended(), row.ended);
    }
    // A child that stops reading: the write fails instead of ending the caller by SIGPIPE.
    Subprocess quitter;
    std::string error;
    ASSERT_TRUE(quitter.start({"sh", "-c", "exit 0"}, true, dir.file("log"), error)) << error;
    EXPECT_FALSE(quitter.write(input.data(), input.size()));
    quitter.finish();
}

TEST(SoundSchedule, FramesCarryTheFractionalSamplesExactly)
{
    EXPECT_EQ(samples_through_frame(0), 0);
    EXPECT_EQ(samples_through_frame(1), 813);  // 813.56 rounded down
    EXPECT_EQ(samples_through_frame(59), 48000);
    EXPECT_EQ(samples_through_frame(4599), 3741559);  // a whole show: 4599 * 48000 / 59 = 3741559.3
    long sum = 0;
    for (long k = 1; k <= 590; k++) {
        long n = samples_of_frame(k);
        EXPECT_TRUE(n == 813 || n == 814) << k;
        sum += n;
    }
    EXPECT_EQ(sum, 480000) << "ten seconds of frames are ten seconds of sound";
}

// Decodes a PNG with ffmpeg into packed RGB bytes.
std::string decode_png_rgb(const std::string& path)
{
    std::string out;
    run_command("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt rgb24 -", out, false);
    return out;
}

TEST(Png, DecodesToTheBitmapsPixels)
{
    start_headless_allegro(32);
    TempDir dir;
    BITMAP* b = create_bitmap_ex(32, 37, 11);  // odd sizes: no row padding may creep in
    for (int y = 0; y < b->h; y++)
        for (int x = 0; x < b->w; x++)
            putpixel(b, x, y, makecol32(x * 7 & 255, y * 23 & 255, (x * y) & 255));
    std::string error;
    ASSERT_TRUE(write_png(dir.file("a.png"), b, error)) << error;
    std::string rgb = decode_png_rgb(dir.file("a.png"));
    ASSERT_EQ(rgb.size(), 37u * 11 * 3);
    for (int y = 0; y < b->h; y++)
        for (int x = 0; x < b->w; x++) {
            const unsigned char* p =
                reinterpret_cast<const unsigned char*>(rgb.data()) + (y * 37 + x) * 3;
            ASSERT_EQ((p[0] << 16) | (p[1] << 8) | p[2], getpixel(b, x, y)) << x << "," << y;
        }
    destroy_bitmap(b);

    BITMAP* tiny = create_bitmap_ex(32, 1, 1);
    EXPECT_FALSE(write_png(dir.file("missing/a.png"), tiny, error));
    destroy_bitmap(tiny);
    EXPECT_NE(error.find("cannot write"), std::string::npos);
}

// The live stream's gain: a new volume is reached in equal steps over a buffer; an end ramps from
// the gain the sound had, never jumping up first (late in the fade a ramp from full volume would be
// heard), to exactly 0, and stays there.
TEST(StreamGain, StepsToEachVolumeAndRampsFromWhereItWasToSilence)
{
    StreamGain gain(4);
    std::vector<float> fed;
    const auto buffer = [&](long frames) {
        for (long i = 0; i < frames; i++)
            fed.push_back(gain.next(i, frames));
        gain.buffer_fed();
    };
    buffer(4);
    gain.set_volume(0.25f);
    buffer(4);
    gain.start_ramp();
    gain.set_volume(1.0f);  // the show asks for nothing more once the ramp has begun
    gain.start_ramp();      // nor does a second end restart it
    EXPECT_FALSE(gain.silent());
    buffer(6);
    EXPECT_TRUE(gain.silent());
    const std::vector<float> expected = {1,     1,     1,       1,      0.8125f, 0.625f, 0.4375f,
                                         0.25f, 0.25f, 0.1875f, 0.125f, 0.0625f, 0,      0};
    EXPECT_EQ(fed, expected);
}

TEST(ModuleAudio, RendersTheModuleAtTheGivenGainAndSilenceWithoutOne)
{
    start_headless_allegro(32);
    TempDir dir;
    write_test_module(dir.file("m.it"));
    std::vector<uint8_t> bytes;
    std::string problem;
    ASSERT_TRUE(read_module_bytes(dir.file("m.it"), bytes, problem)) << problem;
    std::vector<int16_t> track, no_track;
    ASSERT_TRUE(render_module(bytes, 4800, track));
    ModuleAudio full, quiet, none;
    full.load(track);
    quiet.load(track);
    none.load(no_track);
    EXPECT_FALSE(none.loaded());

    std::vector<int16_t> a, b, c;
    full.render(4800, 1.0f, a);
    quiet.render(0, 0.25f, b);  // the gain set, reached at once when nothing plays yet
    quiet.render(4800, 0.25f, b);
    none.render(4800, 1.0f, c);
    ASSERT_EQ(a.size(), 9600u);
    ASSERT_EQ(c.size(), 9600u);
    long peak_a = 0, peak_b = 0, peak_c = 0;
    for (size_t i = 0; i < a.size(); i++) {
        peak_a = std::max<long>(peak_a, std::abs(a[i]));
        peak_b = std::max<long>(peak_b, std::abs(b[i]));
        peak_c = std::max<long>(peak_c, std::abs(c[i]));
    }
    EXPECT_GT(peak_a, 2000);
    EXPECT_NEAR(static_cast<double>(peak_b), peak_a / 4.0, peak_a * 0.02);
    EXPECT_EQ(peak_c, 0);

    // The level is what the live show's mixer plays: DUMB's samples times 65276/65536 on the left
    // and 65535/65536 on the right (the one centred voice at full scale, the right side's gain
    // clamped below one as the mixer clamps it), rounded down.
    dumb_register_stdfiles();
    DUH* duh = dumb_load_it_quick(dir.file("m.it").c_str());
    ASSERT_NE(duh, nullptr);
    DUH_SIGRENDERER* sr = duh_start_sigrenderer(duh, 0, 2, 0);
    std::vector<int16_t> raw(9600);
    duh_render(sr, 16, 0, 1.0f, 65536.0f / kSampleRate, 4800, raw.data());
    long wrong = 0;
    for (size_t i = 0; i < raw.size(); i += 2)
        wrong += a[i] != static_cast<int>(std::floor(raw[i] * 65276 / 65536.0)) ||
                 a[i + 1] != static_cast<int>(std::floor(raw[i + 1] * 65535 / 65536.0));
    EXPECT_EQ(wrong, 0) << "samples off the live mixer's level";
    duh_end_sigrenderer(sr);
    unload_duh(duh);

    // A module at full scale (mixing volume 128, a square wave of +-127 on four centred
    // channels): DUMB's samples sit at the 16-bit limits. Through the mixer's gains they stay
    // within them, as in the live show's mixer; nothing wraps.
    std::vector<uint8_t> four = {0x81, 3, 60, 1, 0x82, 3, 60, 1, 0x83, 3, 60, 1, 0x84, 3, 60, 1, 0};
    four.resize(four.size() + 63, 0);
    std::vector<uint8_t> loud = test_module_bytes(four);
    loud[0x31] = 128;
    for (size_t c = 0; c < 4; c++)
        loud[0x40 + c] = 32;
    for (size_t i = loud.size() - 64; i < loud.size(); i++)
        loud[i] = i < loud.size() - 32 ? 127 : 0x81;
    write_bytes(dir.file("loud.it"), loud);
    ModuleAudio at_full_scale;
    std::vector<int16_t> loud_track;
    ASSERT_TRUE(render_module(loud, 4800, loud_track));
    at_full_scale.load(loud_track);
    std::vector<int16_t> mixed;
    at_full_scale.render(4800, 1.0f, mixed);
    duh = dumb_load_it_quick(dir.file("loud.it").c_str());
    ASSERT_NE(duh, nullptr);
    sr = duh_start_sigrenderer(duh, 0, 2, 0);
    duh_render(sr, 16, 0, 1.0f, 65536.0f / kSampleRate, 4800, raw.data());
    auto clipped = [](double v) {
        return static_cast<int>(std::max(-32768.0, std::min(32767.0, std::floor(v))));
    };
    long wrong_loud = 0, at_limits = 0;
    for (size_t i = 0; i < raw.size(); i += 2) {
        at_limits +=
            raw[i] == 32767 || raw[i] == -32768 || raw[i + 1] == 32767 || raw[i + 1] == -32768;
        wrong_loud += mixed[i] != clipped(raw[i] * 65276.0 / 65536) ||
                      mixed[i + 1] != clipped(raw[i + 1] * 65535.0 / 65536);
    }
    EXPECT_GT(at_limits, 1000) << "the module does not reach the 16-bit limits";
    EXPECT_EQ(wrong_loud, 0) << "samples at full scale not clipped as the live mixer clips";
    duh_end_sigrenderer(sr);
    unload_duh(duh);
}

// The module checker in front of DUMB: well-formed modules pass, at the edges of what the player
// reads and plays; each crafted fault is refused with its first fault named, and the module audio
// then stays silent without DUMB reading the file.
TEST(ModuleCheck, WellFormedModulesPassAndEachCraftedFaultIsNamed)
{
    std::string problem;
    std::ifstream in(std::string(STREAM8_SOURCE_DIR) + "/ruvo/80S5.IT", std::ios::binary);
    const std::vector<uint8_t> committed((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    auto rows = [](std::vector<uint8_t> first, int more_rows) {
        first.resize(first.size() + static_cast<size_t>(more_rows), 0);
        return test_module_bytes(first);
    };
    auto patched = [](std::vector<uint8_t> f, size_t at, std::vector<uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), f.begin() + static_cast<long>(at));
        return f;
    };
    // In sample mode with two orders: the tables (the sample's offset, the pattern's), the sample
    // header, the pattern. The record sizes are the format's own, written out here rather than
    // taken from the layout the checker reads by: a wrong size there shows.
    const size_t sample = 0xC0 + 2 + 2 * 4, pattern = sample + 0x50;
    std::vector<uint8_t> short_header = test_module_bytes();
    short_header.resize(100);
    std::vector<uint8_t> stereo_packed = test_module_bytes();
    stereo_packed[sample + it::sample::kFlags] |= it::sample::kStereo | it::sample::kCompressed;
    const std::vector<uint8_t> old_instruments =
        patched(test_module_bytes({}, 25), it::song::kCompatibleWith, {0x00, 0x01});
    // 17 million 8-bit frames: more than the player's tables of 2^24, still a valid sample.
    std::vector<uint8_t> long_sample =
        patched(test_module_bytes(), sample + it::sample::kLength, {0x40, 0x66, 0x03, 0x01});
    long_sample.resize(long_sample.size() - 64 + 17000000, 100);
    // The sample's 64 bytes of data replaced: 0x4001 16-bit frames in two compressed blocks of
    // two bytes each, or cut after the first; 32 stereo 8-bit frames; 64 stereo ones.
    const size_t data = test_module_bytes().size() - 64;
    std::vector<uint8_t> packed16 =
        patched(test_module_bytes(), sample + it::sample::kLength, {0x01, 0x40, 0, 0});
    packed16[sample + it::sample::kFlags] |= it::sample::k16Bit | it::sample::kCompressed;
    packed16 = patched(packed16, data, {2, 0, 0, 0, 2, 0, 0, 0});
    packed16.resize(data + 8);
    std::vector<uint8_t> packed16_cut = packed16;
    packed16_cut.resize(data + 4);
    std::vector<uint8_t> stereo32 =
        patched(test_module_bytes(), sample + it::sample::kLength, {32, 0, 0, 0});
    stereo32[sample + it::sample::kFlags] |= it::sample::kStereo;
    std::vector<uint8_t> stereo64 = test_module_bytes();
    stereo64[sample + it::sample::kFlags] |= it::sample::kStereo;
    // The instrument read again from the file's last 550 bytes (all the player takes), or 549.
    std::vector<uint8_t> last_instrument = test_module_bytes({}, 25);
    const size_t instrument = it::get32(last_instrument, 0xC0 + 2);
    const size_t moved = last_instrument.size();
    last_instrument.insert(last_instrument.end(),
                           last_instrument.begin() + static_cast<long>(instrument),
                           last_instrument.begin() + static_cast<long>(instrument + 550));
    last_instrument = patched(last_instrument, 0xC0 + 2,
                              {uint8_t(moved), uint8_t(moved >> 8), uint8_t(moved >> 16), 0});
    std::vector<uint8_t> instrument_cut = last_instrument;
    instrument_cut.pop_back();

    // Accepted: the committed module, the test module in sample and instrument mode, instruments
    // in the format of trackers before 2.00, the longest order list, the highest sample rate.
    for (const auto& file :
         {committed, test_module_bytes(), test_module_bytes({}, 25), old_instruments,
          test_module_bytes({}, -1, 256), long_sample, packed16, stereo32, last_instrument,
          patched(test_module_bytes(), 0xC0, {5, 0}),  // a missing pattern, then 0
          rows({0x81, 0x0B, 60, 1, 26, 0, 0}, 63),     // Z, the last command
          patched(test_module_bytes(), sample + it::sample::kRate, {0x7F, 0x96, 0x98, 0x00}),
          patched(test_module_bytes(), sample + it::sample::kRate, {0x58, 0x02, 0, 0})})
        EXPECT_TRUE(check_module(file, problem)) << problem;
    const struct {
        std::vector<uint8_t> file;
        const char* fault;
    } cases[] = {
        {rows({0x81, 3, 60, 1, 0x81, 3, 62, 1, 0}, 63),
         "pattern 0, row 0: two events on channel 1"},
        {rows({0, 0x82, 3, 60, 1, 0x02, 62, 1, 0}, 62),
         "pattern 0, row 1: two events on channel 2"},
        {rows({0x81, 0x0B, 60, 1, 27, 0, 0}, 63),
         "pattern 0, row 0, channel 1: effect byte 27 is not a command A..Z"},
        {patched(test_module_bytes(), 0xC0, {5, 255}),
         "has no pattern in its order list before the end mark"},
        {patched(test_module_bytes(), 0xC0, {1, 255}),
         "has no pattern in its order list before the end mark"},
        {patched(test_module_bytes({}, 25), instrument + it::instrument::kKeyboard + 2 * 119,
                 {120}),
         "instrument 1: its keyboard table maps to note 120"},
        {patched(test_module_bytes(), sample + it::sample::kDataOffset,
                 {uint8_t(data - 1), uint8_t((data - 1) >> 8), 0, 0}),
         "the data of sample 1 overlaps pattern 0"},
        {patched(test_module_bytes(), 0xC0, {199, 200}), "order 1 is 200, not a pattern number"},
        {packed16_cut, "sample 1: its compressed data runs past the end of the file"},
        {stereo64, "sample 1: its data runs past the end of the file"},
        {instrument_cut, "instrument 1 lies outside the file"},
        {rows({0x81, 3, 60}, 0), "pattern 0, row 0: an event is cut off at the end of the pattern"},
        {rows({0x81, 3, 60, 1, 0}, 0), "pattern 0 ends after 1 of its 64 rows"},
        {patched(test_module_bytes(), it::song::kTempo, {0}),
         "has an initial tempo of 0, which the player divides by"},
        {test_module_bytes({}, 26),
         "instrument 1: its volume envelope has 26 nodes, at most 25 are allowed"},
        {patched(test_module_bytes(), sample + it::sample::kDataOffset, {0xFF, 0xFF, 0xFF, 0x7F}),
         "sample 1: its data runs past the end of the file"},
        {patched(test_module_bytes(), sample - 4,
                 {0xFF, 0xFF, 0xFF, 0x00}),  // the pattern's offset
         "pattern 0 lies outside the file"},
        {patched(test_module_bytes(), 0xC0, {255, 0}),
         "has no pattern in its order list before the end mark"},
        {stereo_packed, "sample 1 is compressed stereo, which the player cannot read"},
        {short_header, "is too short for a module header"},
        {patched(test_module_bytes(), pattern + it::pattern::kLength, {0xFF, 0xFF}),
         "pattern 0 runs past the end of the file"},
        {test_module_bytes({}, -1, 257), "has 257 orders (1..256 allowed)"},
        {patched(test_module_bytes(), sample + it::sample::kRate, {0, 0, 0, 0}),
         "sample 1 has a playback rate of 0 Hz: played low, the player would step through it by 0 and divide by "
         "that step (600..9999999 Hz allowed)"},
        {patched(test_module_bytes(), sample + it::sample::kRate, {1, 0, 0, 0}),
         "sample 1 has a playback rate of 1 Hz: played low, the player would step through it by 0 and divide by "
         "that step (600..9999999 Hz allowed)"},
        {patched(test_module_bytes(), sample + it::sample::kRate, {0x57, 0x02, 0, 0}),
         "sample 1 has a playback rate of 599 Hz: played low, the player would step through it by 0 and divide "
         "by that step (600..9999999 Hz allowed)"},
        {patched(test_module_bytes(), sample + it::sample::kRate, {0xFF, 0xFF, 0xFF, 0x7F}),
         "sample 1 has a playback rate of 2147483647 Hz: the player's resampler would spin on it (600..9999999 Hz "
         "allowed)"},
        {patched(test_module_bytes(), 0, {'I', 'M', 'P', 'X'}),
         "is not an Impulse Tracker module (no IMPM signature)"},
    };
    start_headless_allegro(32);
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        EXPECT_FALSE(check_module(c.file, problem));
        EXPECT_EQ(problem, c.fault);
    }
    // The player loads and plays these; the effect byte past Z is refused all the same (the
    // probe's test holds the show to the check's verdict on it).
    for (const auto& file :
         {test_module_bytes({}, 25), old_instruments, rows({0x81, 0x0B, 60, 1, 27, 0, 0}, 63)}) {
        std::vector<int16_t> out;
        EXPECT_TRUE(render_module(file, 4800, out));
        EXPECT_GT(*std::max_element(out.begin(), out.end()), 1000) << "the instrument plays";
    }
    // Read once, without waiting: a missing file, a directory and a FIFO (no writer) are refused.
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(read_module_bytes(dir.file("none.it"), bytes, problem));
    EXPECT_EQ(problem, "file is missing");
    EXPECT_FALSE(read_module_bytes(dir.path(), bytes, problem));
    EXPECT_EQ(problem, "is a directory, not a file");
    ASSERT_EQ(mkfifo(dir.file("fifo.it").c_str(), 0600), 0);
    EXPECT_FALSE(read_module_bytes(dir.file("fifo.it"), bytes, problem));
    EXPECT_EQ(problem, "is not a file");
}

TEST(FrameStats, MedianPercentileMaximumAndFramesOverTheTick)
{
    std::vector<double> ms;
    for (int i = 100; i >= 1; i--)
        ms.push_back(i * 0.25);  // 0.25 .. 25 ms, unsorted
    TimeSummary s = summarize(ms);
    EXPECT_EQ(s.count, 100);
    EXPECT_DOUBLE_EQ(s.median, (50 + 51) * 0.25 / 2);
    EXPECT_DOUBLE_EQ(s.p99, 99 * 0.25);
    EXPECT_DOUBLE_EQ(s.max, 25.0);
    EXPECT_EQ(s.over_tick, 100 - 67) << "17.0 ms and up exceed the 16.95 ms tick";
    EXPECT_NEAR(kTickMs, 16.949, 0.001);

    TimeSummary odd = summarize({3.0, 1.0, 2.0});
    EXPECT_DOUBLE_EQ(odd.median, 2.0);
    EXPECT_DOUBLE_EQ(odd.p99, 3.0);
    EXPECT_EQ(summarize({}).count, 0);
    EXPECT_EQ(summarize({kTickMs}).over_tick, 0) << "a frame of exactly one tick is on time";
}

// --- The start-up probe ---

using ProbeBody = std::function<void(ProbeReport&, const std::string&)>;

// Uses `s` seconds of CPU time.
void spin_s(double s)
{
    const std::clock_t until = std::clock() + static_cast<std::clock_t>(s * CLOCKS_PER_SEC);
    for (volatile unsigned x = 0; std::clock() < until; x = x + 1) {
    }
}

// A child that reports every picture (1x1) with `picture_s` seconds of CPU time on each (the
// `slow` one takes 1.2 times that), then the module with `module_s`.
ProbeBody child_taking(double picture_s, double module_s = 0, int slow = -1)
{
    return [=](ProbeReport& r, const std::string& dir) {
        for (int i = 0; i < kPictureCount; i++) {
            r.picture_start(i, dir + "/" + picture_name(i));
            spin_s(i == slow ? picture_s * 1.2 : picture_s);
            r.picture(i, DecodedPicture{1, 1, {0xFF123456u}});
        }
        r.module_start();
        spin_s(module_s);
        r.music_rendered(7);
        r.done();
    };
}

// The case the watcher test is on, for a watcher that hangs: SIGALRM names it and fails the test
// at once, well before the test's own time-out would.
const char* g_watched_case = "";

void on_watcher_hang(int)
{
    const char head[] = "the watcher hung on the case: ";
    if (write(2, head, sizeof head - 1) > 0 &&
        write(2, g_watched_case, std::strlen(g_watched_case)) > 0 && write(2, "\n", 1) > 0) {
    }
    _exit(1);
}

// The watcher's verdicts, driven by children of the test's own: each item's CPU time and the
// whole start-up's, a child that stops, files written, memory taken (just under and over its
// limit), crashes and aborts, a kill from outside and reports cut short or garbled. Every child
// runs set up as the real one. The limits count CPU time, so the verdicts hold on a loaded
// machine; each case has 30 s of wall time, so a watcher that hangs fails in that time.
TEST(Probe, WatcherNamesEachWayItsChildFails)
{
    TempDir dir, elsewhere;
    const std::string outside = elsewhere.file("written");
    ProbeLimits quick;
    quick.picture_cpu_seconds = 1;
    quick.module_cpu_seconds = 2;
    quick.cpu_seconds = 3;
    quick.stall_seconds = 0.5;
    const ProbeBody hang_in_afro = [](ProbeReport& r, const std::string& d) {
        r.picture_start(0, d + "/afro.jpg");
        pause();
    };
    struct Case {
        const char* what;
        ProbeBody body;
        std::string failure;       // empty: none; else a part of it
        const char* module_fault;  // likewise
    } cases[] = {
        {"a clean run", child_taking(0.01), "", ""},
        {"pictures over one picture's limit together, within the start-up's", child_taking(0.2), "",
         ""},
        {"a picture that blocks", hang_in_afro,
         "/afro.jpg: the picture loader stopped: it used no CPU time and said nothing for 0.5 s",
         ""},
        {"a picture that runs away",
         [](ProbeReport& r, const std::string& d) {
             r.picture_start(2, d + "/face1.jpg");
             spin_s(30);
         },
         "/face1.jpg: the picture loader ran out of CPU time (1.0 s)", ""},
        {"pictures each within their limit, over the start-up's together", child_taking(0.35, 0, 3),
         "the start-up used more than 3.0 s of CPU time; the slowest file, " + dir.path() + "/" +
             picture_name(3) + ", took 0.4 s of it",
         ""},
        {"a module slower than a picture may be, within its own limit", child_taking(0.01, 1.3), "",
         ""},
        {"a module that blocks",
         [](ProbeReport& r, const std::string& d) {
             for (int i = 0; i < kPictureCount; i++)
                 r.picture(i, DecodedPicture{1, 1, {0}});
             r.module_start();
             pause();
         },
         "", "the player stopped: it used no CPU time"},
        {"a module that crashes",
         [](ProbeReport& r, const std::string&) {
             for (int i = 0; i < kPictureCount; i++)
                 r.picture(i, DecodedPicture{1, 1, {0}});
             r.module_start();
             raise(SIGSEGV);
         },
         "", "the player crashed on it with signal 11"},
        {"a module that crashes before every picture is there",
         [](ProbeReport& r, const std::string&) {
             r.module_start();
             raise(SIGSEGV);
         },
         "the start-up probe ended without every picture", ""},
        {"a child killed from outside while it reads a picture",
         [](ProbeReport& r, const std::string& d) {
             r.picture_start(4, d + "/logo.jpg");
             kill(getpid(), SIGKILL);
         },
         "the start-up probe was killed from outside (signal 9, Killed) while it read ", ""},
        {"a child that makes a file in its directory, then writes one elsewhere",
         [outside](ProbeReport& r, const std::string& d) {
             r.picture_start(1, d + "/logo.jpg");
             if (FILE* f = std::fopen("made-here", "w")) {  // its directory is gone: cannot
                 std::fclose(f);
                 child_taking(0)(r, d);
                 return;
             }
             const int fd = open(outside.c_str(), O_WRONLY | O_CREAT, 0600);
             if (fd >= 0 && write(fd, "x", 1) == 1)  // no file may grow: SIGXFSZ ends it
                 child_taking(0)(r, d);
         },
         "/logo.jpg: the picture loader tried to write a file", ""},
        {"a child that takes more memory than it may",
         [&quick](ProbeReport& r, const std::string& d) {
             r.picture_start(0, d + "/afro.jpg");
             if (void* p = std::malloc(static_cast<size_t>(quick.memory_bytes) + (64 << 20))) {
                 std::free(p);
                 return;  // ends before its last report
             }
             child_taking(0)(r, d);
         },
         "", ""},
        {"a child that crashes before its first report",
         [](ProbeReport&, const std::string&) { raise(SIGSEGV); },
         "the start-up probe ended before its first report (crashed on it with signal 11", ""},
        {"a picture whose decoder aborts",
         [](ProbeReport& r, const std::string& d) {
             r.picture_start(6, d + "/porras.bmp");
             std::abort();
         },
         "/porras.bmp: the picture loader crashed on it with signal 6", ""},
        {"a child that takes just under its memory limit",
         [&quick](ProbeReport& r, const std::string& d) {
             r.picture_start(0, d + "/afro.jpg");
             void* p = std::malloc(static_cast<size_t>(quick.memory_bytes) - (4 << 20));
             if (!p)
                 return;  // ends before its last report
             std::free(p);
             child_taking(0)(r, d);
         },
         "", ""},
        {"a child that ends before its last report",
         [](ProbeReport& r, const std::string&) {
             for (int i = 0; i < kPictureCount; i++)
                 r.picture(i, DecodedPicture{1, 1, {0}});
         },
         "the start-up probe ended before its last report (ended the process (status 0))", ""},
        {"a picture whose pixels do not match its size",
         [](ProbeReport& r, const std::string& d) {
             r.picture(0, DecodedPicture{2, 2, {0}});
             child_taking(0)(r, d);
         },
         "the start-up probe's report cannot be read", ""},
        {"a picture numbered past the last",
         [](ProbeReport& r, const std::string& d) {
             r.picture(kPictureCount, DecodedPicture{1, 1, {0}});
             child_taking(0)(r, d);
         },
         "the start-up probe's report cannot be read", ""},
    };
    struct sigaction hang {
    }, before{};
    hang.sa_handler = on_watcher_hang;
    sigaction(SIGALRM, &hang, &before);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_watched_case = c.what;
        alarm(30);
        const ProbeResult r = run_probe(dir.path(), c.body, quick);
        alarm(0);
        if (c.failure.empty())
            EXPECT_EQ(r.failure, "");
        else
            EXPECT_NE(r.failure.find(c.failure), std::string::npos) << r.failure;
        if (!*c.module_fault)
            EXPECT_EQ(r.module_fault, "");
        else
            EXPECT_NE(r.module_fault.find(c.module_fault), std::string::npos) << r.module_fault;
        if (r.failure.empty() && r.module_fault.empty()) {
            EXPECT_EQ(r.music_frames, 7);
            EXPECT_EQ(r.pictures.picture[10].argb, std::vector<uint32_t>{0xFF123456u});
        }
    }
    sigaction(SIGALRM, &before, nullptr);
    EXPECT_EQ(fs::file_size(outside), 0u) << "the child wrote past its limit";
}

// The same verdict whatever the load: a child that needs 0.8 s of CPU time on a picture whose
// limit is 1 s passes while a hog of the same priority competes for the same core, and one that
// needs 1.5 s does not.
TEST(Probe, VerdictsCountCpuTimeNotLoad)
{
    TempDir dir;
    ProbeLimits limits;
    limits.picture_cpu_seconds = 1;
    limits.cpu_seconds = 30;
    // The hog shares this process's CPU (affinity included), so the child gets a fraction of it.
    const pid_t hog = fork();
    if (hog == 0) {
        for (;;) {
        }
    }
    ASSERT_GT(hog, 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    if (sched_getaffinity(0, sizeof one, &one) == 0) {
        cpu_set_t first;
        CPU_ZERO(&first);
        for (int c = 0; c < CPU_SETSIZE; c++)
            if (CPU_ISSET(c, &one)) {
                CPU_SET(c, &first);
                break;
            }
        sched_setaffinity(hog, sizeof first, &first);
        sched_setaffinity(0, sizeof first, &first);
    }
    auto taking = [](double s) -> ProbeBody {
        return [s](ProbeReport& r, const std::string& d) {
            r.picture_start(0, d + "/afro.jpg");
            spin_s(s);
            child_taking(0)(r, d);
        };
    };
    const ProbeResult within = run_probe(dir.path(), taking(0.8), limits);
    const ProbeResult too_long = run_probe(dir.path(), taking(2.5), limits);
    sched_setaffinity(0, sizeof one, &one);
    kill(hog, SIGKILL);
    waitpid(hog, nullptr, 0);
    EXPECT_EQ(within.failure, "");
    EXPECT_NE(too_long.failure.find("/afro.jpg: the picture loader ran out of CPU time"),
              std::string::npos)
        << too_long.failure;
}

// A JPEG of w x h whose every block is DC 0 (and end of block): baseline with one scan, or
// progressive with its DC scan only; `comps` components with ids from `id`, the first sampled
// `luma` (horizontal << 4 | vertical), the others 1x1.
std::string zero_jpeg(int w, int h, bool progressive, int comps, unsigned luma, int id = 1)
{
    auto be16 = [](unsigned v) {
        return std::string{static_cast<char>(v >> 8), static_cast<char>(v & 255)};
    };
    auto seg = [&](unsigned m, const std::string& body) {
        return std::string("\xFF") + static_cast<char>(m) + be16(body.size() + 2) + body;
    };
    std::string f = "\xFF\xD8" + seg(0xE0, std::string("JFIF\0\1\1\0\0\1\0\1\0\0", 14)) +
                    seg(0xDB, std::string(1, '\0') + std::string(64, '\1'));
    std::string sof = "\x08" + be16(h) + be16(w) + static_cast<char>(comps);
    std::string sos(1, static_cast<char>(comps));
    int blocks = 0;
    for (int c = 0; c < comps; c++) {
        const unsigned s = c == 0 ? luma : 0x11;
        sof += {static_cast<char>(id + c), static_cast<char>(s), 0};
        sos += {static_cast<char>(id + c), 0};
        blocks += static_cast<int>((s >> 4) * (s & 15));
    }
    const int hmax = std::max(1u, luma >> 4), vmax = std::max(1u, luma & 15);
    const long units = comps == 1 ? static_cast<long>((w + 7) / 8) * ((h + 7) / 8)
                                  : static_cast<long>((w + 8 * hmax - 1) / (8 * hmax)) *
                                        ((h + 8 * vmax - 1) / (8 * vmax)) * blocks;
    const std::string dht = std::string("\x00\x01", 2) + std::string(15, '\0') + '\0' +
                            std::string("\x10\x01", 2) + std::string(15, '\0') + '\0';
    f += seg(progressive ? 0xC2 : 0xC0, sof) + seg(0xC4, dht);
    f += seg(0xDA, sos + std::string(1, '\0') + static_cast<char>(progressive ? 0 : 63) + '\0');
    // Exactly the scan's bits (the progressive decoder reads no further), padded with ones.
    const long bits = units * (progressive ? 1 : 2);
    std::string data((bits + 7) / 8, '\0');
    if (bits % 8)
        data.back() = static_cast<char>((1 << (8 - bits % 8)) - 1);
    return f + data + "\xFF\xD9";
}

// The show's data through the probe: the real pictures decoded in the child as this process
// would decode them, all the music the show can play rendered; hostile pictures refused, shown or
// named with their decoder's crash, and never decoded in this process; a set of picture bombs
// stopped within the start-up's limit.
TEST(Probe, PicturesAreDecodedInTheChildOnly)
{
    start_headless_allegro(32);
    const DecodedPictures here = decoded_pictures(repo_data_dir());
    const long decodes_before = picture_decodes(), loads_before = module_loads();
    const ProbeResult real = probe_show_data(repo_data_dir());
    EXPECT_EQ(picture_decodes(), decodes_before) << "this process ran a picture decoder";
    EXPECT_EQ(module_loads(), loads_before) << "this process loaded the module into the player";
    EXPECT_EQ(real.music.size(), 2u * kProbeMusicFrames);
    ASSERT_EQ(real.failure, "");
    EXPECT_EQ(real.module_fault, "");
    EXPECT_EQ(real.pictures.error, "");
    std::printf("the probe of the show's data took %.0f ms\n", real.seconds * 1000);
    // The show's player renders the loop, the pause and the fade, two buffers ahead and three
    // of silence after the last frame.
    EXPECT_EQ(real.music_frames, kProbeMusicFrames);
    EXPECT_GE(kProbeMusicFrames, kMusicTicks * kSampleRate / kFrameRate + 5 * kStreamBuffer);
    for (int i = 0; i < kPictureCount; i++) {
        EXPECT_EQ(real.pictures.picture[i].w, here.picture[i].w) << picture_name(i);
        EXPECT_TRUE(real.pictures.picture[i].argb == here.picture[i].argb) << picture_name(i);
    }

    // The show's own afro.jpg with its third component numbered 4 decodes to the same pixels;
    // cut to 9159 bytes, it is refused as cut short.
    {
        TempDir copy;
        fs::copy(repo_data_dir(), copy.path(), fs::copy_options::recursive);
        std::string afro = read_file(copy.file("afro.jpg"));
        const size_t sof = afro.find("\xFF\xC0"), sos = afro.find("\xFF\xDA");
        ASSERT_EQ(afro[sof + 16], 3);
        ASSERT_EQ(afro[sos + 9], 3);
        afro[sof + 16] = afro[sos + 9] = 4;
        std::ofstream(copy.file("afro.jpg"), std::ios::binary | std::ios::trunc) << afro;
        const ProbeResult four = probe_show_data(copy.path());
        ASSERT_EQ(four.failure + four.pictures.error, "");
        int i = 0;
        while (picture_name(i) != std::string("afro.jpg"))
            i++;
        EXPECT_TRUE(four.pictures.picture[i].argb == real.pictures.picture[i].argb);
        std::ofstream(copy.file("afro.jpg"), std::ios::binary | std::ios::trunc)
            << afro.substr(0, 9159);
        const ProbeResult cut = probe_show_data(copy.path());
        EXPECT_NE(cut.pictures.error.find(
                      "afro.jpg: is cut short: its 9159 bytes end inside its image data"),
                  std::string::npos)
            << cut.pictures.error << cut.failure;
    }

    // A module the check refuses though the player would load and play it (an effect byte past
    // Z): the child never gets it, so the show runs silent with the check's reason.
    {
        TempDir data;
        write_stand_in_pictures(data.path());
        std::vector<uint8_t> past_z = {0x81, 0x0B, 60, 1, 27, 0, 0};
        past_z.resize(past_z.size() + 63, 0);
        write_bytes(module_file(data.path()), test_module_bytes(past_z));
        const ProbeResult r = probe_show_data(data.path());
        EXPECT_EQ(r.failure, "");
        EXPECT_EQ(r.module_problem,
                  "pattern 0, row 0, channel 1: effect byte 27 is not a command A..Z");
        EXPECT_EQ(r.module_fault, "");
        EXPECT_TRUE(r.music.empty()) << "the child played a module the check refused";
    }

    struct Case {
        const char* what;
        const char* file;
        std::string bytes;
        const char* failure;  // null: refused cleanly or shown; else part of the probe's failure
    } cases[] = {
        {"progressive grey, luminance 2x2", "afro.jpg", zero_jpeg(272, 480, true, 1, 0x22),
         nullptr},
        {"progressive grey, luminance 2x1", "afro.jpg", zero_jpeg(272, 480, true, 1, 0x21),
         nullptr},
        {"progressive grey, luminance 1x2", "afro.jpg", zero_jpeg(272, 480, true, 1, 0x12),
         nullptr},
        {"baseline colour, luminance 1x4", "afro.jpg", zero_jpeg(272, 480, false, 3, 0x14),
         nullptr},
        {"progressive colour, luminance 1x4", "face1.jpg", zero_jpeg(256, 256, true, 3, 0x14),
         nullptr},
        // Named by the check (in the child) before its decoder could divide by zero on it.
        {"components 4..6", "afro.jpg", zero_jpeg(270, 480, false, 3, 0x11, 4), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        write_stand_in_pictures(dir.path());
        std::ofstream(dir.file(c.file), std::ios::binary | std::ios::trunc) << c.bytes;
        const ProbeResult r = probe_show_data(dir.path());
        if (c.failure) {
            EXPECT_NE(r.failure.find(c.failure), std::string::npos) << r.failure;
        } else if (r.failure.empty()) {
            SpyHost host;
            host.esc = [](const SpyHost& h) { return h.presents() > 0; };
            const int status = run_show(host, dir.path(), r);
            EXPECT_EQ(status, r.pictures.error.empty() ? 0 : 1) << host.fatal_message();
        }
        EXPECT_EQ(picture_decodes(), decodes_before) << "this process ran a picture decoder";
    }

    // Bombs: big progressive JPEGs of a few hundred KB and a run-length BMP of 8192x8192 in a few
    // KB. The pictures' pixel budget or the start-up's limit stops them, with a message.
    TempDir bombs;
    write_stand_in_pictures(bombs.path());
    for (const char* name : {"afro.jpg", "logo.jpg", "face2.jpg"})
        std::ofstream(bombs.file(name), std::ios::binary | std::ios::trunc)
            << zero_jpeg(name[0] == 'f' ? 8192 : 4096, name[0] == 'f' ? 8192 : 4096, true, 3, 0x11);
    std::string rle;
    for (int y = 0; y < 8192; y++) {
        for (int x = 0; x < 8192; x += 255)
            rle += {static_cast<char>(std::min(255, 8192 - x)), 1};
        rle += std::string(2, '\0');
    }
    rle += std::string("\0\1", 2);
    const uint32_t off = 54 + 1024;
    auto le32 = [](uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    };
    std::ofstream(bombs.file("porras.bmp"), std::ios::binary | std::ios::trunc)
        << "BM" + le32(off + rle.size()) + le32(0) + le32(off) + le32(40) + le32(8192) +
               le32(8192) + std::string("\1\0\x08\0", 4) + le32(1) + le32(rle.size()) + le32(2835) +
               le32(2835) + le32(256) + le32(0) + std::string(1024, '\x40') + rle;
    const ProbeResult bomb = probe_show_data(bombs.path());
    const std::string said = bomb.failure + bomb.pictures.error;
    EXPECT_TRUE(said.find("is too large to decode") != std::string::npos ||
                said.find("of CPU time") != std::string::npos)
        << said;
    std::printf("the bomb set: %s (%.1f s)\n", said.c_str(), bomb.seconds);
}

}  // namespace
