// The recorder's command line: what to write (video, pictures of chosen frames), where, and how.
#pragma once
#include <string>
#include <vector>

#include "common/frame_list.h"

struct RecordOptions {
    std::string out = "stream8.mp4";
    bool video = true;
    FrameSet frames;
    std::string frames_dir = ".";
    bool has_until = false;
    FrameLabel until;
    std::string hash_log;   // empty: none
    std::string sound_raw;  // empty: none
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
