// Names of presented frames (`loop:160`) and lists of them (`loop:160-165,fade:130`), as the
// recorder and the benchmark take them on the command line.
#pragma once
#include <string>
#include <vector>

#include "host/host.h"

// One iteration of the show, shown or not: its phase and its number within the phase, from 1.
struct FrameLabel {
    Phase phase = Phase::Logo;
    long n = 0;
};

bool operator==(const FrameLabel& a, const FrameLabel& b);
// Show order: by phase (logo, smear, loop, pause, fade), then by number.
bool operator<(const FrameLabel& a, const FrameLabel& b);

// All five phases in show order.
const std::vector<Phase>& all_phases();

// "loop:160".
std::string label_text(const FrameLabel& f);
// "loop-00160.png".
std::string png_file_name(const FrameLabel& f);

// A set of frames: inclusive ranges within one phase each.
struct FrameRange {
    Phase phase = Phase::Logo;
    long first = 0;
    long last = 0;
};

class FrameSet {
public:
    std::vector<FrameRange> ranges;

    bool empty() const { return ranges.empty(); }
    bool contains(const FrameLabel& f) const;
    // The latest frame of the set in show order; undefined for an empty set.
    FrameLabel last() const;
    long size() const;  // frames, overlaps counted once
};

// Parses "PHASE:N" or "PHASE:A-B" items separated by commas. On a fault returns false and sets
// `error` to a message that quotes the offending item.
bool parse_frame_set(const std::string& list, FrameSet& out, std::string& error);
// Parses one "PHASE:N".
bool parse_frame_label(const std::string& text, FrameLabel& out, std::string& error);
