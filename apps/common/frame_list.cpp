#include "common/frame_list.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <utility>

namespace {

int order(Phase p)
{
    return static_cast<int>(p);
}

std::string trim(const std::string& s)
{
    size_t a = s.find_first_not_of(" \t");
    size_t b = s.find_last_not_of(" \t");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// A plain decimal number of at most 9 digits; no sign, no spaces.
bool parse_number(const std::string& s, long& out)
{
    if (s.empty() || s.size() > 9)
        return false;
    long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

std::string phase_list()
{
    std::string s;
    for (Phase p : all_phases()) {
        if (!s.empty())
            s += ", ";
        s += std::string(phase_name(p)) + " 1.." + std::to_string(phase_iterations(p));
    }
    return s;
}

bool parse_item(const std::string& item, FrameRange& out, bool allow_range, std::string& error)
{
    const std::string quoted = "'" + item + "'";
    size_t colon = item.find(':');
    if (colon == std::string::npos) {
        error = quoted + ": expected PHASE:N" + std::string(allow_range ? " or PHASE:A-B" : "");
        return false;
    }
    const std::string name = item.substr(0, colon);
    const std::string nums = item.substr(colon + 1);
    const Phase* phase = nullptr;
    for (const Phase& p : all_phases())
        if (name == phase_name(p))
            phase = &p;
    if (!phase) {
        error = quoted + ": unknown phase '" + name + "' (phases: " + phase_list() + ")";
        return false;
    }
    size_t dash = nums.find('-');
    long a = 0, b = 0;
    if (dash == std::string::npos) {
        if (!parse_number(nums, a)) {
            error = quoted + ": '" + nums + "' is not a frame number";
            return false;
        }
        b = a;
    } else {
        if (!allow_range) {
            error = quoted + ": a single frame is needed here, not a range";
            return false;
        }
        if (!parse_number(nums.substr(0, dash), a) || !parse_number(nums.substr(dash + 1), b)) {
            error = quoted + ": '" + nums + "' is not a range A-B of frame numbers";
            return false;
        }
        if (a > b) {
            error = quoted + ": the range runs backwards";
            return false;
        }
    }
    const long length = phase_iterations(*phase);
    if (a < 1 || b > length) {
        error = quoted + ": " + name + " frames are numbered 1.." + std::to_string(length);
        return false;
    }
    out = FrameRange{*phase, a, b};
    return true;
}

}  // namespace

bool operator==(const FrameLabel& a, const FrameLabel& b)
{
    return a.phase == b.phase && a.n == b.n;
}

bool operator<(const FrameLabel& a, const FrameLabel& b)
{
    return std::make_pair(order(a.phase), a.n) < std::make_pair(order(b.phase), b.n);
}

const std::vector<Phase>& all_phases()
{
    static const std::vector<Phase> phases = {Phase::Logo, Phase::Smear, Phase::Loop, Phase::Pause,
                                              Phase::Fade};
    return phases;
}

std::string label_text(const FrameLabel& f)
{
    return std::string(phase_name(f.phase)) + ":" + std::to_string(f.n);
}

std::string png_file_name(const FrameLabel& f)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s-%05ld.png", phase_name(f.phase), f.n);
    return buf;
}

bool FrameSet::contains(const FrameLabel& f) const
{
    for (const FrameRange& r : ranges)
        if (r.phase == f.phase && f.n >= r.first && f.n <= r.last)
            return true;
    return false;
}

FrameLabel FrameSet::last() const
{
    FrameLabel best{ranges.front().phase, ranges.front().last};
    for (const FrameRange& r : ranges) {
        FrameLabel f{r.phase, r.last};
        if (best < f)
            best = f;
    }
    return best;
}

long FrameSet::size() const
{
    std::set<std::pair<int, long>> seen;
    for (const FrameRange& r : ranges)
        for (long n = r.first; n <= r.last; n++)
            seen.insert({order(r.phase), n});
    return static_cast<long>(seen.size());
}

bool parse_frame_set(const std::string& list, FrameSet& out, std::string& error)
{
    FrameSet set;
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(',', start);
        std::string item = trim(
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (item.empty()) {
            error = "empty item in frame list '" + list + "'";
            return false;
        }
        FrameRange r;
        if (!parse_item(item, r, true, error))
            return false;
        set.ranges.push_back(r);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    out = set;
    return true;
}

bool parse_frame_label(const std::string& text, FrameLabel& out, std::string& error)
{
    FrameRange r;
    if (!parse_item(trim(text), r, false, error))
        return false;
    out = FrameLabel{r.phase, r.first};
    return true;
}
