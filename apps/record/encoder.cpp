#include "record/encoder.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "music/module_audio.h"
#include "platform/output_files.h"
#include "platform/partial_file.h"

namespace fs = std::filesystem;
using output_files::disk_full;
using output_files::find_program;
using output_files::no_space_errno;

namespace {
constexpr int kWidth = 640;
constexpr int kHeight = 480;

// ffmpeg reads a name with a colon before any slash as a URL ("file:x.mp4", "http:...") and a
// name that starts with '-' as an option; the file protocol takes every name as a path.
std::string media_path(const std::string& path)
{
    return "file:" + path;
}

std::string directory_of(const std::string& path)
{
    const std::string dir = fs::path(path).parent_path().string();
    return dir.empty() ? "." : dir;
}

std::string no_space(const std::string& dir)
{
    return "no space left on the device holding " + dir;
}

// `what` failed with `err` while writing into `dir`.
std::string write_failure(const std::string& what, const std::string& dir, int err)
{
    return what + ": " + (no_space_errno(err) ? no_space(dir) : std::string(std::strerror(err)));
}

// ffmpeg wrote into `dirs` (the first is the one its output goes to). A full disk comes first: the
// log may then be empty, or ffmpeg may even have exited 0 after failing to write its trailer.
std::string ffmpeg_failure(const std::string& what, const Subprocess& p, const std::string& log,
                           const std::vector<std::string>& dirs)
{
    const std::string tail = tail_of_file(log);
    for (const std::string& dir : dirs)
        if (disk_full(dir))
            return "ffmpeg " + what + ": " + no_space(dir);
    if (tail.find("No space left on device") != std::string::npos)
        return "ffmpeg " + what + ": " + no_space(dirs.front());
    const long long limit = output_files::file_size_limit();
    if (tail.empty() && limit >= 0)
        return "ffmpeg " + what + " (" + p.how_it_ended() + "): files may not grow past " +
               std::to_string(limit) + " bytes here (ulimit -f)";
    return "ffmpeg " + what + " (" + p.how_it_ended() + ")" +
           (tail.empty() ? std::string(", with no message") : ":\n" + tail);
}

// The last value of `key` in ffmpeg's progress report, or -1; only a report that reached its end.
long long progress_value(const std::string& path, const std::string& key)
{
    std::ifstream in(path);
    long long value = -1;
    bool ended = false;
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, key.size() + 1, key + "=") == 0)
            value = std::atoll(line.c_str() + key.size() + 1);
        ended = line == "progress=end";
    }
    return ended ? value : -1;
}
// What ffprobe's compact listing in `log` says of the video's streams.
struct ProbedStreams {
    long streams = 0;
    long video_packets = -1;
    double video_seconds = -1, audio_seconds = -1;
};

ProbedStreams read_probed_streams(const std::string& log)
{
    ProbedStreams got;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        std::map<std::string, std::string> kv;
        std::istringstream fields(line);
        for (std::string f; std::getline(fields, f, '|');)
            if (f.find('=') != std::string::npos)
                kv[f.substr(0, f.find('='))] = f.substr(f.find('=') + 1);
        if (kv.count("codec_type"))
            got.streams++;
        if (kv["codec_type"] == "video") {
            got.video_packets = std::atol(kv["nb_read_packets"].c_str());
            got.video_seconds = std::atof(kv["duration"].c_str());
        } else if (kv["codec_type"] == "audio") {
            got.audio_seconds = std::atof(kv["duration"].c_str());
        }
    }
    return got;
}

}  // namespace

bool resolve_output(std::string& out, std::string& error)
{
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(out, ec))) {
        // The video replaces the file the link names; the link stays.
        const fs::path target = fs::read_symlink(out, ec);
        const fs::path resolved =
            fs::exists(out, ec) ? fs::canonical(out, ec) : fs::path(out).parent_path() / target;
        if (ec) {
            error = "cannot write the video " + out + ": " + ec.message();
            return false;
        }
        out = resolved.string();
    }
    const std::string refusal = output_files::output_refusal(out);
    if (!refusal.empty())
        error = "cannot write the video " + out + ": " + refusal;
    return refusal.empty();
}

VideoEncoder::~VideoEncoder()
{
    encoder_.finish();
    if (sound_)
        std::fclose(sound_);
    scratch_dir_.remove();
    partial_file_.abandon();
}

bool VideoEncoder::find_ffprobe(std::string& error)
{
    // The finished video is read back with the ffprobe that came with the ffmpeg in use.
    const std::string ffmpeg = find_program(opts_.ffmpeg);
    if (!ffmpeg.empty())
        ffprobe_ = find_program((fs::path(ffmpeg).parent_path() / "ffprobe").string());
    if (ffprobe_.empty())
        ffprobe_ = find_program("ffprobe");
    if (ffprobe_.empty()) {
        error = "cannot find ffprobe beside " + opts_.ffmpeg +
                " or on PATH: the recorder reads the "
                "finished video back with it (it comes with ffmpeg: install it, e.g. apt-get "
                "install ffmpeg)";
        return false;
    }
    return true;
}

bool VideoEncoder::make_scratch(std::string& error)
{
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    if (ec) {
        const char* tmpdir = std::getenv("TMPDIR");
        error = "cannot make a scratch directory in TMPDIR '" + std::string(tmpdir ? tmpdir : "") +
                "': " + ec.message();
        return false;
    }
    // What recorders that were killed left behind is what no running recorder holds locked.
    remove_unlocked_leftovers(temp.string(), "stream8-record-", removed_);
    if (!scratch_dir_.make(temp.string(), "stream8-record-")) {
        error = write_failure("cannot make a scratch directory in " + temp.string(), temp.string(),
                              errno);
        return false;
    }
    scratch_ = scratch_dir_.path();
    return true;
}

bool VideoEncoder::start_encoder(std::string& error)
{
    std::vector<std::string> argv = {opts_.ffmpeg,
                                     "-hide_banner",
                                     "-loglevel",
                                     "warning",
                                     "-y",
                                     "-f",
                                     "rawvideo",
                                     "-pix_fmt",
                                     "bgr0",
                                     "-s",
                                     std::to_string(kWidth) + "x" + std::to_string(kHeight),
                                     "-framerate",
                                     std::to_string(kFrameRate),
                                     "-i",
                                     "pipe:0"};
    if (opts_.scale > 1) {
        // Pixel repetition before the chroma is halved: one-pixel detail stays sharp in players
        // and on video sites that would otherwise smear a 640x480 picture.
        argv.insert(argv.end(),
                    {"-vf", "scale=" + std::to_string(kWidth * opts_.scale) + ":" +
                                std::to_string(kHeight * opts_.scale) + ":flags=neighbor"});
    }
    argv.insert(argv.end(),
                {"-c:v", "libx264", "-preset", opts_.preset, "-crf", std::to_string(opts_.crf),
                 "-pix_fmt", "yuv420p", "-f", "mp4", media_path(scratch_ + "/video.mp4")});
    if (!encoder_.start(argv, true, scratch_ + "/encode.log", error)) {
        error += " (the recorder needs ffmpeg: install it, e.g. apt-get install ffmpeg, or name it "
                 "with --ffmpeg)";
        return false;
    }
    return true;
}

bool VideoEncoder::open(std::string& error)
{
    out_ = opts_.out;
    // The scratch directory before the video's file: a bad TMPDIR then leaves nothing behind.
    if (!resolve_output(out_, error) || !find_ffprobe(error) || !make_scratch(error))
        return false;
    // The video is written under a temporary name of its own beside the final one and renamed at
    // the end, so a run that fails or is cut short never leaves a half-written file under that
    // name, and no file that happens to exist is taken over.
    if (!partial_file_.open(out_, error, &removed_)) {
        error = write_failure("cannot write the video " + out_, directory_of(out_), errno);
        return false;
    }
    partial_ = partial_file_.temp_path();

    if (!start_encoder(error))
        return false;
    sound_ = std::fopen((scratch_ + "/sound.raw").c_str(), "wb");
    if (!sound_) {
        error = write_failure("cannot write the scratch sound file", scratch_, errno);
        return false;
    }
    return true;
}

bool VideoEncoder::write_frame(BITMAP* frame, std::string& error)
{
    if (frame->w != kWidth || frame->h != kHeight) {
        error = "the show presented a " + std::to_string(frame->w) + "x" +
                std::to_string(frame->h) + " bitmap; the video is 640x480";
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
        error =
            ffmpeg_failure("stopped taking frames", encoder_, scratch_ + "/encode.log", {scratch_});
        return false;
    }
    frames_++;
    return true;
}

bool VideoEncoder::write_sound(const std::vector<int16_t>& samples, std::string& error)
{
    if (std::fwrite(samples.data(), sizeof(int16_t), samples.size(), sound_) == samples.size())
        return true;
    error = write_failure("cannot write the scratch sound file", scratch_, errno);
    return false;
}

bool VideoEncoder::finish_video(std::string& error)
{
    if (encoder_.finish())
        return true;
    error = ffmpeg_failure("failed to encode the frames", encoder_, scratch_ + "/encode.log",
                           {scratch_});
    return false;
}

bool VideoEncoder::add_sound(std::string& error)
{
    bool sound_ok = std::fflush(sound_) == 0;
    sound_ok = (std::fclose(sound_) == 0) && sound_ok;
    sound_ = nullptr;
    if (!sound_ok) {
        error = write_failure("cannot write the scratch sound file", scratch_, errno);
        return false;
    }

    const std::vector<std::string> argv = {opts_.ffmpeg,
                                           "-hide_banner",
                                           "-nostdin",
                                           "-loglevel",
                                           "warning",
                                           "-y",
                                           "-progress",
                                           media_path(scratch_ + "/mux.progress"),
                                           "-i",
                                           media_path(scratch_ + "/video.mp4"),
                                           "-f",
                                           "s16le",
                                           "-ar",
                                           std::to_string(kSampleRate),
                                           "-ac",
                                           "2",
                                           "-i",
                                           media_path(scratch_ + "/sound.raw"),
                                           "-map",
                                           "0:v:0",
                                           "-map",
                                           "1:a:0",
                                           "-c:v",
                                           "copy",
                                           "-c:a",
                                           "aac",
                                           "-b:a",
                                           "192k",
                                           "-movflags",
                                           "+faststart",
                                           "-f",
                                           "mp4",
                                           media_path(partial_)};
    Subprocess mux;
    if (!mux.start(argv, false, scratch_ + "/mux.log", error))
        return false;
    const bool muxed = mux.finish();
    // ffmpeg exits 0 when only its trailer could not be written to a full disk.
    if (!muxed ||
        tail_of_file(scratch_ + "/mux.log").find("No space left on device") != std::string::npos) {
        error = ffmpeg_failure("failed to add the sound", mux, scratch_ + "/mux.log",
                               {directory_of(partial_), scratch_});
        return false;
    }
    return true;
}

// The bytes ffmpeg wrote are on the disk under the video's temporary name.
bool VideoEncoder::check_on_disk(const std::string& not_kept, std::string& error)
{
    const std::string dir = directory_of(partial_);
    long long on_disk = 0;
    if (!output_files::sync_file(partial_, on_disk)) {
        error = write_failure("cannot write the video " + out_, dir, errno) + not_kept;
        return false;
    }

    const long long written = progress_value(scratch_ + "/mux.progress", "total_size");
    if (written < 0 || on_disk != written) {
        error = "cannot write the video " + out_ + ": " +
                (disk_full(dir) ? no_space(dir)
                 : written < 0  ? std::string("ffmpeg did not report the size it wrote")
                                : "ffmpeg wrote " + std::to_string(written) + " bytes and " +
                                     std::to_string(on_disk) + " are on the disk") +
                not_kept;
        return false;
    }
    return true;
}

// The video reads back as as many frames and as long a sound track as were recorded.
bool VideoEncoder::check_streams(const std::string& not_kept, std::string& error)
{
    const std::string dir = directory_of(partial_);
    Subprocess probe;
    const std::string log = scratch_ + "/probe.txt";
    if (!probe.start({ffprobe_, "-v", "error", "-count_packets", "-show_entries",
                      "stream=codec_type,duration,nb_read_packets", "-of", "compact=p=0:nk=0",
                      media_path(partial_)},
                     false, log, error)) {
        error += not_kept;
        return false;
    }
    const bool probed = probe.finish();
    const ProbedStreams got = read_probed_streams(log);
    const double seconds = static_cast<double>(frames_) / kFrameRate;
    // Timestamps are kept to the millisecond; the sound ends within one AAC frame (1024 samples).
    if (!probed || got.streams != 2 || got.video_packets != frames_ ||
        std::fabs(got.video_seconds - seconds) > 0.5 / kFrameRate ||
        std::fabs(got.audio_seconds - seconds) > 1024.0 / kSampleRate) {
        std::ostringstream why;
        why.precision(3);
        why << std::fixed << "cannot write the video " << out_ << ": ";
        if (disk_full(dir))
            why << no_space(dir);
        else if (!probed)
            why << "it cannot be read back (ffprobe, " << probe.how_it_ended() << ")";
        else
            why << "it reads back as " << got.video_packets << " frames, " << got.video_seconds
                << " s of video and " << got.audio_seconds << " s of sound where " << frames_
                << " frames, " << seconds << " s were recorded";
        error = why.str() + not_kept;
        if (!probed)
            error += ":\n" + tail_of_file(log, 3);
        return false;
    }
    return true;
}

// Every frame and the whole sound decode cleanly.
bool VideoEncoder::check_decodes(const std::string& not_kept, std::string& error)
{
    const std::string dir = directory_of(partial_);
    // Every frame and the whole sound decoded: a file damaged after the mux can still read back
    // with the right counts and durations.
    Subprocess decode;
    const std::string decode_log = scratch_ + "/decode.txt";
    if (!decode.start({opts_.ffmpeg, "-hide_banner", "-nostdin", "-v", "error", "-i",
                       media_path(partial_), "-map", "0", "-f", "null", "-"},
                      false, decode_log, error)) {
        error += not_kept;
        return false;
    }
    const bool decoded = decode.finish();
    long errors = 0;
    std::ifstream decode_in(decode_log);
    for (std::string line; std::getline(decode_in, line);)
        errors += !line.empty();
    if (!decoded || errors > 0) {
        error = "cannot write the video " + out_ + ": " +
                (disk_full(dir) ? no_space(dir)
                                : "it does not decode cleanly (ffmpeg, " + decode.how_it_ended() +
                                      ", " + std::to_string(errors) + " error lines)") +
                not_kept;
        if (!disk_full(dir))
            error += ":\n" + tail_of_file(decode_log, 3);
        return false;
    }
    return true;
}

// The video under its temporary name against what was recorded: the bytes ffmpeg wrote are on the
// disk, and the file reads back as that many frames and that long a sound track.
bool VideoEncoder::check_video(std::string& error)
{
    const std::string not_kept = "; " + out_ + " is left as it was";
    return check_on_disk(not_kept, error) && check_streams(not_kept, error) &&
           check_decodes(not_kept, error);
}

bool VideoEncoder::publish(std::string& error)
{
    if (!check_video(error))
        return false;
    // Renamed, and the new name on the disk too, before the recorder says the video is written.
    return partial_file_.commit(error);
}
