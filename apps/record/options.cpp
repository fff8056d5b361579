#include "record/options.h"

#include <cstdlib>
#include <string>

#include "frame/timing.h"

const char* record_usage()
{
    static const std::string text =
        "usage: stream8-record [--out FILE.mp4] [--frames LIST [--frames-dir DIR]] [--no-video]\n"
        "                      [--until PHASE:N] [--hash-log FILE] [--data DIR] [--ffmpeg PROGRAM]\n"
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
        std::to_string(phase_iterations(Phase::Smear)) + "),\n"
        "                      loop (1.." + std::to_string(phase_iterations(Phase::Loop)) +
        ", the frame's laiskuri), pause (1.." + std::to_string(phase_iterations(Phase::Pause)) +
        "), fade (1.." + std::to_string(phase_iterations(Phase::Fade)) + "),\n"
        "                      e.g. loop:160-165,fade:130; files are named like loop-00160.png\n"
        "  --frames-dir DIR    where the pictures go (default: the current directory)\n"
        "  --no-video          no video: write only the pictures (stopping after the last one)\n"
        "                      and the hash log\n"
        "  --until PHASE:N     stop after this iteration (the video ends with it)\n"
        "  --hash-log FILE     write a hash of every video frame and of every second of the sound\n"
        "                      track to FILE, one line each (\"loop:160 <16 hex digits>\")\n"
        "  --data DIR          the show's data directory (default ruvo)\n"
        "  --ffmpeg PROGRAM    the ffmpeg program to encode with (default ffmpeg)\n"
        "  --preset NAME       x264 preset (default veryfast); --crf N its quality (default 18)\n"
        "  --scale N           a video N times larger each way (1..4, default 1), every pixel of\n"
        "                      the show an exact NxN block; pictures stay 640x480\n"
        "  --quiet             no progress report\n";
    return text.c_str();
}

bool parse_record_options(const std::vector<std::string>& args, RecordOptions& opts, bool& help,
                          std::string& error)
{
    help = false;
    bool frames_given = false;
    for (size_t i = 0; i < args.size(); i++) {
        std::string name = args[i];
        std::string value;
        bool has_value = false;
        size_t eq = name.find('=');
        if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            has_value = true;
        }
        auto take = [&](std::string& dest) {
            if (!has_value) {
                if (i + 1 >= args.size()) {
                    error = name + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            dest = value;
            return true;
        };
        // An option whose value is a whole number lo..hi.
        auto take_number = [&](int lo, int hi, int& dest) {
            std::string v;
            if (!take(v))
                return false;
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || n < lo || n > hi) {
                error = "bad " + name + " '" + v + "': a number " + std::to_string(lo) + ".." +
                        std::to_string(hi);
                return false;
            }
            dest = static_cast<int>(n);
            return true;
        };
        auto no_value = [&]() {
            if (has_value)
                error = name + " takes no value";
            return !has_value;
        };
        std::string v;
        if (name == "-h" || name == "--help") {
            help = true;
            return true;
        } else if (name == "--out") {
            if (!take(opts.out))
                return false;
            if (opts.out.empty()) {
                error = "--out needs a file name";
                return false;
            }
        } else if (name == "--frames") {
            if (!take(v))
                return false;
            if (!parse_frame_set(v, opts.frames, error)) {
                error = "bad --frames: " + error;
                return false;
            }
            frames_given = true;
        } else if (name == "--frames-dir") {
            if (!take(opts.frames_dir))
                return false;
        } else if (name == "--no-video") {
            if (!no_value())
                return false;
            opts.video = false;
        } else if (name == "--until") {
            if (!take(v))
                return false;
            if (!parse_frame_label(v, opts.until, error)) {
                error = "bad --until: " + error;
                return false;
            }
            opts.has_until = true;
        } else if (name == "--hash-log") {
            if (!take(opts.hash_log))
                return false;
            if (opts.hash_log.empty()) {
                error = "--hash-log needs a file name";
                return false;
            }
        } else if (name == "--data") {
            if (!take(opts.data_dir))
                return false;
        } else if (name == "--ffmpeg") {
            if (!take(opts.ffmpeg))
                return false;
        } else if (name == "--preset") {
            if (!take(opts.preset))
                return false;
        } else if (name == "--crf") {
            if (!take_number(0, 51, opts.crf))
                return false;
        } else if (name == "--scale") {
            if (!take_number(1, 4, opts.scale))
                return false;
        } else if (name == "--quiet") {
            if (!no_value())
                return false;
            opts.quiet = true;
        } else {
            error = "unknown option '" + args[i] + "'";
            return false;
        }
    }
    if (!opts.video && !frames_given && opts.hash_log.empty()) {
        error = "--no-video needs --frames LIST or --hash-log FILE (there would be nothing to write)";
        return false;
    }
    return true;
}
