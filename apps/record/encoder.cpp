#include "record/encoder.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "common/module_audio.h"

namespace fs = std::filesystem;

namespace {
constexpr int kWidth = 640;
constexpr int kHeight = 480;

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

VideoEncoder::~VideoEncoder()
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

bool VideoEncoder::open(std::string& error)
{
    out_ = opts_.out;
    if (!resolve_output(out_, error))
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
    std::string partial = out_ + ".partial-XXXXXX";
    int fd = mkstemp(partial.data());
    if (fd < 0) {
        error = "cannot write the video " + out_ + ": " + std::strerror(errno);
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

    sound_ = std::fopen((scratch_ + "/sound.raw").c_str(), "wb");
    if (!sound_) {
        error = std::string("cannot write the scratch sound file: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool VideoEncoder::write_frame(BITMAP* frame, std::string& error)
{
    if (frame->w != kWidth || frame->h != kHeight) {
        error = "the show presented a " + std::to_string(frame->w) + "x" + std::to_string(frame->h) +
                " bitmap; the video is 640x480";
        return false;
    }
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
        error = ffmpeg_failure("stopped taking frames", encoder_, scratch_ + "/encode.log", scratch_);
        return false;
    }
    return true;
}

bool VideoEncoder::write_sound(const std::vector<int16_t>& samples, std::string& error)
{
    if (std::fwrite(samples.data(), sizeof(int16_t), samples.size(), sound_) == samples.size())
        return true;
    error = std::string("cannot write the scratch sound file: ") + std::strerror(errno);
    return false;
}

bool VideoEncoder::finish_video(std::string& error)
{
    if (encoder_.finish())
        return true;
    error = ffmpeg_failure("failed to encode the frames", encoder_, scratch_ + "/encode.log",
                           scratch_);
    return false;
}

bool VideoEncoder::add_sound(std::string& error)
{
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
    return true;
}

bool VideoEncoder::publish(std::string& error)
{
    std::error_code ec;
    fs::rename(partial_, out_, ec);
    if (ec) {
        error = "cannot rename " + partial_ + " to " + out_ + ": " + ec.message();
        return false;
    }
    partial_.clear();
    return true;
}
