#include "record/recording_host.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "common/png_writer.h"
#include "platform/output_files.h"

namespace fs = std::filesystem;

namespace {
volatile std::sig_atomic_t interrupted = 0;

void on_signal(int sig)
{
    interrupted = sig;
}

std::string interrupted_message(const std::string& when)
{
    return "interrupted by signal " + std::to_string(interrupted) + " " + when;
}
// Opens `file` for the output `path`, named `what` in a refusal ("cannot write the hash log X:
// the file is read-only; it is left alone").
bool open_output(PartialFile& file, const std::string& path, const std::string& what,
                 std::vector<std::string>& removed, std::string& error)
{
    if (file.open(path, error, &removed))
        return true;
    const std::string plain = "cannot write " + path + ": ";
    const std::string reason =
        error.compare(0, plain.size(), plain) == 0 ? error.substr(plain.size()) : error;
    error = "cannot write " + what + " " + path + ": " + reason;
    return false;
}
}  // namespace

RecordingHost::RecordingHost(const RecordOptions& opts) : opts_(opts), encoder_(opts_)
{
    // Ctrl-C and kill end the run at the next frame, through the same clean-up as a fault.
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
#ifdef SIGHUP
    std::signal(SIGHUP, on_signal);
#endif
#ifdef SIGXFSZ
    // Past a file-size limit a write fails with EFBIG instead of killing the recorder, so the
    // error path removes what it wrote.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    if (opts_.has_until) {
        has_stop_ = true;
        stop_ = opts_.until;
    }
    if (!opts_.video && opts_.hash_log.empty() && opts_.sound_raw.empty()) {
        FrameLabel last = opts_.frames.last();
        if (!has_stop_ || last < stop_)
            stop_ = last;
        has_stop_ = true;
    }
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
        // A frame's picture follows the rule of every output; a name it refuses is refused now,
        // not when the show reaches that frame.
        for (const FrameRange& r : opts_.frames.ranges)
            for (long n = r.first; n <= r.last; n++) {
                const std::string path = opts_.frames_dir + "/" + png_file_name({r.phase, n});
                const std::string refusal = output_files::output_refusal(path);
                if (!refusal.empty()) {
                    error = "cannot write the frame picture " + path + ": " + refusal;
                    return false;
                }
            }
    }
    // The sound track and the hash log are written beside their names, renamed when whole.
    std::vector<std::string> removed;
    if (!opts_.sound_raw.empty() &&
        !open_output(sound_raw_file_, opts_.sound_raw, "the sound track", removed, error))
        return false;
    if (!opts_.sound_raw.empty() &&
        !(sound_raw_ = std::fopen(sound_raw_file_.temp_path().c_str(), "wb"))) {
        error = "cannot write the sound track " + opts_.sound_raw + ": " + std::strerror(errno);
        return false;
    }
    if (!opts_.hash_log.empty() &&
        !open_output(hash_file_, opts_.hash_log, "the hash log", removed, error))
        return false;
    if (!opts_.hash_log.empty() && !hashes_.open(hash_file_.temp_path())) {
        error = "cannot write the hash log " + opts_.hash_log + ": " + std::strerror(errno);
        return false;
    }
    bool opened = true;
    if (opts_.video) {
        opened = encoder_.open(error);
        removed.insert(removed.end(), encoder_.leftovers_removed().begin(),
                       encoder_.leftovers_removed().end());
    }
    if (!opts_.quiet)
        for (const std::string& path : removed)
            std::fprintf(stderr, "stream8-record: removed %s, left by a recorder that was killed\n",
                         path.c_str());
    return opened;
}

bool RecordingHost::close(std::string& error)
{
    if (failed_) {
        error = failure_;
        return false;
    }
    if (sound_raw_) {
        const bool written = std::fclose(sound_raw_) == 0 && sound_raw_good_;
        sound_raw_ = nullptr;
        if (!written) {
            error = "cannot write the sound track " + opts_.sound_raw;
            return false;
        }
    }
    if (hashes_.is_open()) {
        hashes_.finish();
        if (!hashes_.good()) {
            error = "cannot write the hash log " + opts_.hash_log;
            return false;
        }
    }
    if (opts_.video && !close_video(error))
        return false;
    // The video is in place: the other outputs follow it.
    return (!sound_raw_file_.is_open() || sound_raw_file_.commit(error)) &&
           (!hash_file_.is_open() || hash_file_.commit(error));
}

bool RecordingHost::close_video(std::string& error)
{
    if (frames_ == 0) {
        error = "the show presented no frame";
        return false;
    }
    if (!encoder_.finish_video(error))
        return false;
    if (interrupted) {
        error = interrupted_message("while finishing the video");
        return false;
    }
    if (!encoder_.add_sound(error))
        return false;
    // A signal during the mux counts as at any other time: nothing under the final name.
    if (interrupted) {
        error = interrupted_message("while adding the sound");
        return false;
    }
    return encoder_.publish(error);
}

void RecordingHost::start_music(const std::vector<int16_t>& track, const std::string& module_path,
                                const std::string& problem)
{
    if (!opts_.video && !hashes_.is_open() && !sound_raw_)
        return;
    audio_.load(track);
    if (audio_.loaded())
        return;
    if (problem == "file is missing")
        std::fprintf(stderr, "stream8-record: no module at %s: the sound track is silent\n",
                     module_path.c_str());
    else
        std::fprintf(stderr,
                     "stream8-record: %s: cannot load the module (%s): the sound track is silent\n",
                     module_path.c_str(), problem.c_str());
}

void RecordingHost::set_music_volume(float volume)
{
    volume_ = volume;
}

bool RecordingHost::esc_held()
{
    return stopped_;
}

void RecordingHost::fail(const std::string& message)
{
    failed_ = true;
    failure_ = message;
    stopped_ = true;
}

void RecordingHost::after_iteration(BITMAP* frame, bool shown)
{
    if (stopped_)
        return;  // drawn on the way to the show's next Esc test
    const FrameLabel label{phase(), phase_iteration()};
    if (interrupted)
        return fail(interrupted_message("at " + label_text(label)));

    // On the virtual clock every phase has its fixed count of iterations. A show that draws far
    // more has lost its way; stop before the disk fills.
    const long nominal = phase_iterations(label.phase);
    if (label.n == nominal + 1)
        std::fprintf(stderr, "stream8-record: warning: more than %ld %s frames\n", nominal,
                     phase_name(label.phase));
    if (label.n > 10 * nominal)
        return fail("the show drew " + std::to_string(label.n) + " " + phase_name(label.phase) +
                    " frames, ten times the " + std::to_string(nominal) + " it should; giving up");

    std::string error;
    if (shown) {
        frames_++;
        last_ = label;
        if (!write_video_frame(frame, error))
            return fail(error);
        if (!opts_.quiet && frames_ % 500 == 0)
            std::fprintf(stderr, "stream8-record: %ld frames (%s)\n", frames_,
                         label_text(last_).c_str());
    }
    if (opts_.frames.contains(label)) {
        if (!write_png(opts_.frames_dir + "/" + png_file_name(label), frame, error))
            return fail(error);
        pngs_++;
    }
    if (has_stop_ && label == stop_)
        stopped_ = true;
}

// One tick of the video: the frame the screen shows, with its sound, into the encoder and the
// hash log.
bool RecordingHost::write_video_frame(BITMAP* frame, std::string& error)
{
    if (!opts_.video && !hashes_.is_open() && !sound_raw_)
        return true;
    samples_.clear();
    const long n = samples_of_frame(frames_);
    if (in_loop())
        audio_.render(n, volume_, samples_);
    else
        samples_.assign(static_cast<size_t>(n) * 2, 0);
    if (hashes_.is_open()) {
        hashes_.frame(last_.phase, last_.n, frame);
        hashes_.sound(samples_.data(), static_cast<size_t>(n));
    }
    // Little-endian on every machine the recorder builds for.
    if (sound_raw_ && std::fwrite(samples_.data(), sizeof(int16_t), samples_.size(), sound_raw_) !=
                          samples_.size())
        sound_raw_good_ = false;
    return !opts_.video ||
           (encoder_.write_frame(frame, error) && encoder_.write_sound(samples_, error));
}
