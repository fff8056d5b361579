#include "record/options.h"

#include <getopt.h>

#include <cstdlib>
#include <string>

#include "cli/command_line.h"
#include "host/timing.h"

const char* record_usage()
{
    static const std::string text =
        "usage: stream8-record [--out FILE.mp4] [--frames LIST [--frames-dir DIR]] [--no-video]\n"
        "                      [--until PHASE:N] [--hash-log FILE] [--sound-raw FILE] [--data DIR]\n"
        "                      [--ffmpeg PROGRAM]\n"
        "                      [--preset NAME] [--crf N] [--scale N] [--quiet]\n"
        "\n"
        "Renders the whole show on a virtual clock, one video frame per tick at 59 frames per\n"
        "second (the frame the screen shows at that tick), with the music from the main loop's\n"
        "first frame on.\n"
        "\n"
        "  --out FILE.mp4      the video (H.264 and AAC; default stream8.mp4)\n"
        "  --frames LIST       also write these iterations as PNG pictures, shown or not; LIST is a\n"
        "                      comma list of PHASE:N or PHASE:A-B with the phases logo (1.." +
        std::to_string(phase_iterations(Phase::Logo)) + "), smear (1.." +
        std::to_string(phase_iterations(Phase::Smear)) +
        "),\n"
        "                      loop (1.." +
        std::to_string(phase_iterations(Phase::Loop)) + ", the frame's laiskuri), pause (1.." +
        std::to_string(phase_iterations(Phase::Pause)) + "), fade (1.." +
        std::to_string(phase_iterations(Phase::Fade)) +
        "),\n"
        "                      e.g. loop:160-165,fade:130; files are named like loop-00160.png\n"
        "  --frames-dir DIR    where the pictures go (default: the current directory)\n"
        "  --no-video          no video: write only the pictures (stopping after the last one)\n"
        "                      and the hash log\n"
        "  --until PHASE:N     stop after this iteration (the video ends with it)\n"
        "  --hash-log FILE     write a hash of every video frame and of every second of the sound\n"
        "                      track to FILE, one line each (\"loop:160 <16 hex digits>\")\n"
        "  --sound-raw FILE    write the sound track as rendered to FILE: 16-bit stereo at 48000 Hz,\n"
        "                      little-endian, no header\n"
        "  --data DIR          the show's data directory (default ruvo)\n"
        "  --ffmpeg PROGRAM    the ffmpeg program to encode with (default ffmpeg)\n"
        "  --preset NAME       x264 preset (default veryfast); --crf N its quality (default 18)\n"
        "  --scale N           a video N times larger each way (1..4, default 1), every pixel of\n"
        "                      the show an exact NxN block; pictures stay 640x480\n"
        "  --quiet             no progress report\n";
    return text.c_str();
}

namespace {
// The options table: each option's id, and its name and whether it takes a value.
enum OptionId {
    kOut = 1000,
    kFrames,
    kFramesDir,
    kNoVideo,
    kUntil,
    kHashLog,
    kSoundRaw,
    kData,
    kFfmpeg,
    kPreset,
    kCrf,
    kScale,
    kQuiet
};

const option kOptions[] = {
    {"out", required_argument, nullptr, kOut},
    {"frames", required_argument, nullptr, kFrames},
    {"frames-dir", required_argument, nullptr, kFramesDir},
    {"no-video", no_argument, nullptr, kNoVideo},
    {"until", required_argument, nullptr, kUntil},
    {"hash-log", required_argument, nullptr, kHashLog},
    {"sound-raw", required_argument, nullptr, kSoundRaw},
    {"data", required_argument, nullptr, kData},
    {"ffmpeg", required_argument, nullptr, kFfmpeg},
    {"preset", required_argument, nullptr, kPreset},
    {"crf", required_argument, nullptr, kCrf},
    {"scale", required_argument, nullptr, kScale},
    {"quiet", no_argument, nullptr, kQuiet},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

// "--name" of an option of the table.
std::string option_name(int id)
{
    for (const option& o : kOptions)
        if (o.name && o.val == id)
            return std::string("--") + o.name;
    return "";
}

// A whole number lo..hi.
bool parse_number(const std::string& name, const char* v, int lo, int hi, int& dest,
                  std::string& error)
{
    char* end = nullptr;
    const long n = std::strtol(v, &end, 10);
    if (!*v || *end || n < lo || n > hi) {
        error = "bad " + name + " '" + v + "': a number " + std::to_string(lo) + ".." +
                std::to_string(hi);
        return false;
    }
    dest = static_cast<int>(n);
    return true;
}

// One option of the table, with its value (nullptr for a flag): sets what it stands for in
// `opts`. False with `error` set when the value is refused.
bool apply_option(int id, const char* value, RecordOptions& opts, std::string& error)
{
    switch (id) {
    case kOut:
        opts.out = value;
        if (opts.out.empty()) {
            error = "--out needs a file name";
            return false;
        }
        return true;
    case kFrames:
        if (!parse_frame_set(value, opts.frames, error)) {
            error = "bad --frames: " + error;
            return false;
        }
        return true;
    case kFramesDir:
        opts.frames_dir = value;
        return true;
    case kNoVideo:
        opts.video = false;
        return true;
    case kUntil:
        if (!parse_frame_label(value, opts.until, error)) {
            error = "bad --until: " + error;
            return false;
        }
        opts.has_until = true;
        return true;
    case kHashLog:
        opts.hash_log = value;
        if (opts.hash_log.empty()) {
            error = "--hash-log needs a file name";
            return false;
        }
        return true;
    case kSoundRaw:
        opts.sound_raw = value;
        if (opts.sound_raw.empty()) {
            error = "--sound-raw needs a file name";
            return false;
        }
        return true;
    case kData:
        opts.data_dir = value;
        return true;
    case kFfmpeg:
        opts.ffmpeg = value;
        return true;
    case kPreset:
        opts.preset = value;
        return true;
    case kCrf:
        return parse_number(option_name(id), value, 0, 51, opts.crf, error);
    case kScale:
        return parse_number(option_name(id), value, 1, 4, opts.scale, error);
    case kQuiet:
        opts.quiet = true;
        return true;
    }
    return true;
}

// What no single option can refuse: a run with nothing to write.
bool check_options(const RecordOptions& opts, bool frames_given, std::string& error)
{
    if (!opts.video && !frames_given && opts.hash_log.empty() && opts.sound_raw.empty()) {
        error = "--no-video needs --frames LIST, --hash-log FILE or --sound-raw FILE (there would "
                "be nothing to write)";
        return false;
    }
    return true;
}
}  // namespace

bool parse_record_options(const std::vector<std::string>& args, RecordOptions& opts, bool& help,
                          std::string& error)
{
    help = false;
    bool frames_given = false;
    std::vector<std::string> words = args;
    words.insert(words.begin(), "stream8-record");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());

    // Errors are reported here, not by getopt; the scan stops at the first word that is not an
    // option, which is then refused.
    opterr = 0;
    optind = 0;
    for (;;) {
        const int previous = optind ? optind : 1;
        const int id = getopt_long(argc, argv.data(), "+:h", kOptions, nullptr);
        if (id == -1)
            break;
        if (id == 'h') {
            help = true;
            return true;
        }
        if (id == ':' || id == '?') {
            error = cli::getopt_fault(id, kOptions, argv.data(), previous);
            return false;
        }
        if (!apply_option(id, optarg, opts, error))
            return false;
        frames_given = frames_given || id == kFrames;
    }
    if (optind < argc) {
        error = cli::stray_word(argv[optind]);
        return false;
    }
    return check_options(opts, frames_given, error);
}
