// The recorder: runs the show on a virtual clock and turns its presented frames into a video
// (raw frames and raw sound through ffmpeg) and PNG pictures of chosen frames.
//
// Time model: every present is one frame of the video, 1/59 s. No tick accrues while a frame is
// presented, so the unpaced stretches (logo phase, smear, pause, fade) show exactly their nominal
// counts of frames (500, 600, 500, 900) and the main loop owes nothing when it starts; there every
// frame waits for exactly one tick. Sound is silent until the main loop's first frame, then the
// module rendered by DUMB at 48000 Hz stereo, 48000/59 samples a frame carried exactly, at the gain
// the show last set when the frame is presented.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/frame_list.h"
#include "common/module_audio.h"
#include "common/subprocess.h"
#include "frame/headless_host.h"

struct RecordOptions {
    std::string out = "stream8.mp4";
    bool video = true;
    FrameSet frames;
    std::string frames_dir = ".";
    bool has_until = false;
    FrameLabel until;
    std::string data_dir = "ruvo";
    std::string ffmpeg = "ffmpeg";
    std::string preset = "veryfast";
    int crf = 18;
    int scale = 1;  // the video is scale times 640x480, each show pixel a scale x scale block
    bool quiet = false;
};

// Parses the command line (without argv[0]). False with `error` set on a fault; `help` is set for
// -h/--help.
bool parse_record_options(const std::vector<std::string>& args, RecordOptions& opts, bool& help,
                          std::string& error);
const char* record_usage();

// Where the video goes: an --out that names a symlink becomes the file the link names. False with
// `error` set when `out` exists and is not a regular file (a device or FIFO would be replaced by
// the finished video) or is read-only; the recorder then stops before rendering.
bool resolve_output(std::string& out, std::string& error);

// Thrown out of a present to end the run early: after the last wanted frame, or on a fault.
struct StopShow {
    bool failed = false;
    std::string message;
};

class RecordingHost : public HeadlessHost {
public:
    explicit RecordingHost(const RecordOptions& opts);
    ~RecordingHost() override;

    // Prepares the output: checks that the video can be written, starts the encoder and opens the
    // sound file in a scratch directory. False with `error` set.
    bool open(std::string& error);
    // After the show: finishes the encoder, muxes sound and pictures into the output under a
    // temporary name, then renames it. False with `error` set.
    bool close(std::string& error);

    long frames_written() const { return frames_; }
    long pngs_written() const { return pngs_; }
    bool music_loaded() const { return audio_.loaded(); }
    FrameLabel last_label() const { return last_; }

    void start_music(const std::string& module_path) override;
    void set_music_volume(float volume) override;
    void present(BITMAP* frame) override;

private:
    void fail(const std::string& message);
    void write_video_frame(BITMAP* frame);

    RecordOptions opts_;
    bool has_stop_ = false;
    FrameLabel stop_;
    std::string scratch_;
    std::string partial_;
    Subprocess encoder_;
    bool encoder_running_ = false;
    FILE* sound_ = nullptr;
    ModuleAudio audio_;
    float volume_ = 1.0f;
    long frames_ = 0;
    long pngs_ = 0;
    FrameLabel last_;
    std::vector<unsigned char> pixels_;
    std::vector<int16_t> samples_;
};
