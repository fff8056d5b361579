#include "record/recorder.h"

#include <allegro.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "common/png_writer.h"

namespace fs = std::filesystem;

namespace {
constexpr int kWidth = 640;
constexpr int kHeight = 480;

volatile std::sig_atomic_t interrupted = 0;

void on_signal(int sig)
{
    interrupted = sig;
}

// ffmpeg writes into `dir`; when that disk is full its log may be empty, so say so first.
std::string ffmpeg_failure(const std::string& what, const Subprocess& p, const std::string& log,
                           const std::string& dir)
{
    struct statvfs fs_info;
    if (statvfs(dir.c_str(), &fs_info) == 0 && fs_info.f_bavail == 0)
        return "ffmpeg " + what + ": the disk holding " + dir + " is full (no space left on device)";
    std::string tail = tail_of_file(log);
    rlimit limit;
    if (tail.empty() && getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return "ffmpeg " + what + " (" + p.how_it_ended() + "): files may not grow past " +
               std::to_string(limit.rlim_cur) + " bytes here (ulimit -f)";
    return "ffmpeg " + what + " (" + p.how_it_ended() + ")" +
           (tail.empty() ? std::string(", with no message") : ":\n" + tail);
}
}  // namespace

bool resolve_output(std::string& out, std::string& error)
{
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(out, ec))) {
        // The video replaces the file the link names; the link stays.
        const fs::path target = fs::read_symlink(out, ec);
        const fs::path resolved = fs::exists(out, ec) ? fs::canonical(out, ec)
                                                      : fs::path(out).parent_path() / target;
        if (ec) {
            error = "cannot write the video " + out + ": " + ec.message();
            return false;
        }
        out = resolved.string();
    }
    struct stat st;
    if (stat(out.c_str(), &st) != 0)
        return true;  // a new file
    const std::string cannot = "cannot write the video " + out + ": ";
    if (S_ISDIR(st.st_mode))
        error = cannot + "it is a directory";
    else if (!S_ISREG(st.st_mode))
        error = cannot + "it exists and is not a regular file (" +
                (S_ISFIFO(st.st_mode) ? "a FIFO" : S_ISSOCK(st.st_mode) ? "a socket" : "a device") +
                "); it is left alone";
    else if (access(out.c_str(), W_OK) != 0 || !(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)))
        error = cannot + "the file is read-only; it is left alone";
    return error.empty();
}

const char* record_usage()
{
    return "usage: stream8-record [--out FILE.mp4] [--frames LIST [--frames-dir DIR]] [--no-video]\n"
           "                      [--until PHASE:N] [--data DIR] [--ffmpeg PROGRAM]\n"
           "                      [--preset NAME] [--crf N] [--scale N] [--quiet]\n"
           "\n"
           "Renders the whole show on a virtual clock, one video frame per presented frame at 59\n"
           "frames per second, with the music from the main loop's first frame on.\n"
           "\n"
           "  --out FILE.mp4      the video (H.264 and AAC; default stream8.mp4)\n"
           "  --frames LIST       also write these frames as PNG pictures; LIST is a comma list of\n"
           "                      PHASE:N or PHASE:A-B with the phases logo (1..500), smear (1..600),\n"
           "                      loop (1..2099, the frame's laiskuri), pause (1..500), fade (1..900),\n"
           "                      e.g. loop:160-165,fade:130; files are named like loop-00160.png\n"
           "  --frames-dir DIR    where the pictures go (default: the current directory)\n"
           "  --no-video          write only the pictures, stopping after the last one\n"
           "  --until PHASE:N     stop after this frame (the video ends with it)\n"
           "  --data DIR          the show's data directory (default ruvo)\n"
           "  --ffmpeg PROGRAM    the ffmpeg program to encode with (default ffmpeg)\n"
           "  --preset NAME       x264 preset (default veryfast); --crf N its quality (default 18)\n"
           "  --scale N           a video N times larger each way (1..4, default 1), every pixel of\n"
           "                      the show an exact NxN block; pictures stay 640x480\n"
           "  --quiet             no progress report\n";
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
    if (!opts.video && !frames_given) {
        error = "--no-video needs --frames LIST (there would be nothing to write)";
        return false;
    }
    return true;
}

RecordingHost::RecordingHost(const RecordOptions& opts) : opts_(opts)
{
    // Ctrl-C and kill end the run at the next frame, through the same clean-up as a fault.
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::signal(SIGHUP, on_signal);
    // Past a file-size limit a write fails with EFBIG instead of killing the recorder, so the
    // error path below removes what it wrote.
    std::signal(SIGXFSZ, SIG_IGN);
    if (opts_.has_until) {
        has_stop_ = true;
        stop_ = opts_.until;
    }
    if (!opts_.video) {
        FrameLabel last = opts_.frames.last();
        if (!has_stop_ || last < stop_)
            stop_ = last;
        has_stop_ = true;
    }
}

RecordingHost::~RecordingHost()
{
    encoder_.finish();
    if (sound_)
        std::fclose(sound_);
    std::error_code ec;
    if (!scratch_.empty())
        fs::remove_all(scratch_, ec);
    if (!partial_.empty())
        fs::remove(partial_, ec);
}

bool RecordingHost::open(std::string& error)
{
    if (!opts_.frames.empty()) {
        std::error_code ec;
        fs::create_directories(opts_.frames_dir, ec);
        if (!fs::is_directory(opts_.frames_dir)) {
            error = "cannot make the frames directory " + opts_.frames_dir +
                    (ec ? ": " + ec.message() : std::string());
            return false;
        }
    }
    if (!opts_.video)
        return true;

    if (!resolve_output(opts_.out, error))
        return false;
    std::error_code ec;

    // The scratch directory comes first: a bad TMPDIR then leaves nothing behind.
    const fs::path temp = fs::temp_directory_path(ec);
    if (ec) {
        const char* tmpdir = std::getenv("TMPDIR");
        error = "cannot make a scratch directory in TMPDIR '" + std::string(tmpdir ? tmpdir : "") +
                "': " + ec.message();
        return false;
    }
    std::string tmpl = (temp / "stream8-record-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) {
        error = "cannot make a scratch directory in " + temp.string() + ": " + std::strerror(errno);
        return false;
    }
    scratch_ = tmpl;

    // The video is written under a temporary name of its own beside the final one and renamed at
    // the end, so a run that fails or is cut short never leaves a half-written file under that
    // name, and no file that happens to exist is taken over.
    std::string partial = opts_.out + ".partial-XXXXXX";
    int fd = mkstemp(partial.data());
    if (fd < 0) {
        error = "cannot write the video " + opts_.out + ": " + std::strerror(errno);
        return false;
    }
    fchmod(fd, 0644);
    ::close(fd);
    partial_ = partial;

    std::vector<std::string> argv = {
        opts_.ffmpeg, "-hide_banner", "-loglevel", "warning", "-y",
        "-f", "rawvideo", "-pix_fmt", "bgr0", "-s", std::to_string(kWidth) + "x" + std::to_string(kHeight),
        "-framerate", std::to_string(kFrameRate), "-i", "pipe:0"};
    if (opts_.scale > 1) {
        // Pixel repetition before the chroma is halved: one-pixel detail stays sharp in players
        // and on video sites that would otherwise smear a 640x480 picture.
        argv.insert(argv.end(), {"-vf", "scale=" + std::to_string(kWidth * opts_.scale) + ":" +
                                             std::to_string(kHeight * opts_.scale) + ":flags=neighbor"});
    }
    argv.insert(argv.end(), {"-c:v", "libx264", "-preset", opts_.preset, "-crf", std::to_string(opts_.crf),
                             "-pix_fmt", "yuv420p", "-f", "mp4", scratch_ + "/video.mp4"});
    if (!encoder_.start(argv, true, scratch_ + "/encode.log", error)) {
        error += " (the recorder needs ffmpeg: install it, e.g. apt-get install ffmpeg, or name it "
                 "with --ffmpeg)";
        return false;
    }
    encoder_running_ = true;

    sound_ = std::fopen((scratch_ + "/sound.raw").c_str(), "wb");
    if (!sound_) {
        error = std::string("cannot write the scratch sound file: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool RecordingHost::close(std::string& error)
{
    if (!opts_.video)
        return true;
    if (frames_ == 0) {
        error = "the show presented no frame";
        return false;
    }
    encoder_running_ = false;
    if (!encoder_.finish()) {
        error = ffmpeg_failure("failed to encode the frames", encoder_, scratch_ + "/encode.log",
                               scratch_);
        return false;
    }
    if (interrupted) {
        error = "interrupted by signal " + std::to_string(interrupted) + " while finishing the video";
        return false;
    }
    bool sound_ok = std::fflush(sound_) == 0;
    sound_ok = (std::fclose(sound_) == 0) && sound_ok;
    sound_ = nullptr;
    if (!sound_ok) {
        error = std::string("cannot write the scratch sound file: ") + std::strerror(errno);
        return false;
    }

    const std::vector<std::string> argv = {
        opts_.ffmpeg, "-hide_banner", "-nostdin", "-loglevel", "warning", "-y",
        "-i", scratch_ + "/video.mp4",
        "-f", "s16le", "-ar", std::to_string(kSampleRate), "-ac", "2", "-i", scratch_ + "/sound.raw",
        "-map", "0:v:0", "-map", "1:a:0", "-c:v", "copy", "-c:a", "aac", "-b:a", "192k",
        "-movflags", "+faststart", "-f", "mp4", partial_};
    Subprocess mux;
    if (!mux.start(argv, false, scratch_ + "/mux.log", error))
        return false;
    if (!mux.finish()) {
        error = ffmpeg_failure("failed to add the sound", mux, scratch_ + "/mux.log",
                               fs::path(partial_).parent_path().string());
        return false;
    }
    // A signal during the mux counts as at any other time: nothing under the final name.
    if (interrupted) {
        error = "interrupted by signal " + std::to_string(interrupted) + " while adding the sound";
        return false;
    }
    std::error_code ec;
    fs::rename(partial_, opts_.out, ec);
    if (ec) {
        error = "cannot rename " + partial_ + " to " + opts_.out + ": " + ec.message();
        return false;
    }
    partial_.clear();
    return true;
}

void RecordingHost::start_music(const std::string& module_path)
{
    HeadlessHost::start_music(module_path);
    if (!opts_.video)
        return;
    if (audio_.load(module_path))
        return;
    if (audio_.problem() == "file is missing")
        std::fprintf(stderr, "stream8-record: no module at %s: the sound track is silent\n",
                     module_path.c_str());
    else
        std::fprintf(stderr, "stream8-record: %s: cannot load the module (%s): the sound track is silent\n",
                     module_path.c_str(), audio_.problem().c_str());
}

void RecordingHost::set_music_volume(float volume)
{
    HeadlessHost::set_music_volume(volume);
    volume_ = volume;
}

void RecordingHost::fail(const std::string& message)
{
    throw StopShow{true, message};
}

void RecordingHost::write_video_frame(BITMAP* frame)
{
    if (frame->w != kWidth || frame->h != kHeight)
        fail("the show presented a " + std::to_string(frame->w) + "x" + std::to_string(frame->h) +
             " bitmap; the video is 640x480");
    const int depth = bitmap_color_depth(frame);
    pixels_.resize(static_cast<size_t>(kWidth) * kHeight * 4);
    unsigned char* p = pixels_.data();
    for (int y = 0; y < kHeight; y++) {
        if (depth == 32) {
            // red << 16 | green << 8 | blue, stored little-endian: B, G, R, unused.
            std::memcpy(p, frame->line[y], kWidth * 4);
            p += kWidth * 4;
        } else {
            for (int x = 0; x < kWidth; x++) {
                int c = getpixel(frame, x, y);
                *p++ = static_cast<unsigned char>(getb_depth(depth, c));
                *p++ = static_cast<unsigned char>(getg_depth(depth, c));
                *p++ = static_cast<unsigned char>(getr_depth(depth, c));
                *p++ = 0;
            }
        }
    }
    if (!encoder_.write(pixels_.data(), pixels_.size())) {
        encoder_.finish();
        fail(ffmpeg_failure("stopped taking frames", encoder_, scratch_ + "/encode.log", scratch_));
    }
}

void RecordingHost::present(BITMAP* frame)
{
    HeadlessHost::present(frame);
    frames_++;
    last_ = FrameLabel{phase, phase_presents};
    if (interrupted)
        fail("interrupted by signal " + std::to_string(interrupted) + " at " + label_text(last_));

    // On the virtual clock every phase has its fixed count of frames. A show that presents far
    // more has lost its way; stop before the disk fills.
    const long nominal = phase_length(phase);
    if (phase_presents == nominal + 1)
        std::fprintf(stderr, "stream8-record: warning: more than %ld %s frames\n", nominal,
                     phase_name(phase));
    if (phase_presents > 10 * nominal)
        fail("the show presented " + std::to_string(phase_presents) + " " + phase_name(phase) +
             " frames, ten times the " + std::to_string(nominal) + " it should; giving up");

    if (opts_.video) {
        write_video_frame(frame);
        samples_.clear();
        const long n = samples_of_frame(frames_);
        if (in_loop)
            audio_.render(n, volume_, samples_);
        else
            samples_.assign(static_cast<size_t>(n) * 2, 0);
        if (std::fwrite(samples_.data(), sizeof(int16_t), samples_.size(), sound_) != samples_.size())
            fail(std::string("cannot write the scratch sound file: ") + std::strerror(errno));
    }

    if (opts_.frames.contains(last_)) {
        std::string error;
        if (!write_png(opts_.frames_dir + "/" + png_file_name(last_), frame, error))
            fail(error);
        pngs_++;
    }

    if (!opts_.quiet && frames_ % 500 == 0)
        std::fprintf(stderr, "stream8-record: %ld frames (%s)\n", frames_, label_text(last_).c_str());

    if (has_stop_ && last_ == stop_)
        throw StopShow{};
}
