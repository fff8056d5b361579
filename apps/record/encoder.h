// The video encoder: ffmpeg taking raw frames through a pipe, the sound collected beside it, both
// muxed into the output at the end. Everything is written in a scratch directory and under a
// temporary name beside the output, which is renamed only when the video is whole; until then a
// failure or an interruption leaves nothing behind (the destructor removes it all).
#pragma once
#include <allegro.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/partial_file.h"
#include "platform/subprocess.h"
#include "record/options.h"

// Where the video goes: an --out that names a symlink becomes the file the link names. False with
// `error` set when `out` exists and is not a regular file (a device or FIFO would be replaced by
// the finished video) or is read-only; the recorder then stops before rendering.
bool resolve_output(std::string& out, std::string& error);

class VideoEncoder {
public:
    explicit VideoEncoder(const RecordOptions& opts) : opts_(opts) {}
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Makes the scratch directory and the temporary output, starts ffmpeg and opens the sound
    // file. False with `error` set.
    bool open(std::string& error);
    // One 640x480 frame of the show, and the sound that goes with it (interleaved stereo).
    bool write_frame(BITMAP* frame, std::string& error);
    bool write_sound(const std::vector<int16_t>& samples, std::string& error);

    // The end, in three steps so that the caller can stop between them: ffmpeg finishes the
    // frames; the sound is muxed in under the temporary name; the video is read back and, when it
    // holds what was recorded, the temporary name becomes the output. A failed step leaves the
    // output as it was.
    bool finish_video(std::string& error);
    bool add_sound(std::string& error);
    bool publish(std::string& error);

    // What open() removed that recorders killed earlier had left behind.
    const std::vector<std::string>& leftovers_removed() const { return removed_; }

private:
    // open()'s steps, in order.
    bool find_ffprobe(std::string& error);
    bool make_scratch(std::string& error);
    bool start_encoder(std::string& error);
    // check_video()'s steps, in order; `not_kept` ends each message.
    bool check_video(std::string& error);
    bool check_on_disk(const std::string& not_kept, std::string& error);
    bool check_streams(const std::string& not_kept, std::string& error);
    bool check_decodes(const std::string& not_kept, std::string& error);

    const RecordOptions& opts_;
    std::string out_;  // the output, symlinks followed
    LockedDirectory scratch_dir_;
    std::string scratch_;
    PartialFile partial_file_;
    std::string partial_;  // its temporary name
    std::string ffprobe_;
    long frames_ = 0;  // frames ffmpeg has taken
    std::vector<std::string> removed_;
    Subprocess encoder_;
    FILE* sound_ = nullptr;
    std::vector<unsigned char> pixels_;
};
