// The recording host: runs the show on a virtual clock and hands its presented frames to the
// video encoder and the picture writer.
//
// Time model, the live show's: every present is the frame the screen shows for one tick, one frame
// of the video, 1/59 s; iterations the show passes (two a tick in the smear and the fade, most of
// the still holds) are numbered but never in the video. A present takes no virtual time and every
// frame waits for its own tick, so each phase shows its phase_ticks() frames (timing.h) and
// nothing owed carries over. Sound is silent until the main loop's first frame, then the module
// rendered by DUMB at 48000 Hz stereo, 48000/59 samples a frame carried exactly, at the gain the
// show last set when the frame is presented and at the level the live show's sound driver plays it.
//
// Ending early (after the last wanted frame, on a fault or a signal) is Esc held: the show leaves
// at its next Esc test, and frames presented until then are not written.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/frame_log.h"
#include "host/virtual_clock_host.h"
#include "music/module_audio.h"
#include "platform/partial_file.h"
#include "record/encoder.h"
#include "record/options.h"

class RecordingHost : public VirtualClockHost {
public:
    explicit RecordingHost(const RecordOptions& opts);

    // Prepares the output: the frames directory, and the encoder when there is a video. False with
    // `error` set.
    bool open(std::string& error);
    // After the show: the video is finished and renamed into place. False with `error` set.
    bool close(std::string& error);

    // A fault or a signal stopped the run; `failure()` says what.
    bool failed() const { return failed_; }
    const std::string& failure() const { return failure_; }

    long frames_written() const { return frames_; }
    long pngs_written() const { return pngs_; }
    bool music_loaded() const { return audio_.loaded(); }
    FrameLabel last_label() const { return last_; }

    void start_music(const std::vector<int16_t>& track, const std::string& module_path,
                     const std::string& problem) override;
    void set_music_volume(float volume) override;
    bool esc_held() override;

protected:
    void after_iteration(BITMAP* frame, bool shown) override;

private:
    void fail(const std::string& message);
    bool write_video_frame(BITMAP* frame, std::string& error);
    bool close_video(std::string& error);

    RecordOptions opts_;
    VideoEncoder encoder_;
    bool has_stop_ = false;
    FrameLabel stop_;
    bool stopped_ = false;
    bool failed_ = false;
    std::string failure_;
    ModuleAudio audio_;
    float volume_ = 1.0f;
    long frames_ = 0;
    long pngs_ = 0;
    FrameLabel last_;
    std::vector<int16_t> samples_;
    FrameLog hashes_;
    PartialFile hash_file_;           // --hash-log, renamed into place when whole
    std::FILE* sound_raw_ = nullptr;  // --sound-raw, likewise
    PartialFile sound_raw_file_;
    bool sound_raw_good_ = true;
};
