// The golden table: the real show, every frame and every second of its sound, against the hashes
// committed in tests/golden/show.txt.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "record_support.h"

namespace {

const std::string kRecorder = STREAM8_RECORD_BIN;

std::string quote(const std::string& s)
{
    return "'" + s + "'";
}

// The real show, frame by frame and second by second of sound, is the one in the committed table
// (tests/golden/show.txt, written by `./demo golden`). On a mismatch the first differing frames are
// written as PNG, named in the failure, for a person to look at; a deliberate change of the show
// regenerates the table in the commit that makes it.
TEST(Golden, TheShowIsTheCommittedShow)
{
    TempDir dir;
    const std::string log = dir.file("show.txt"),
                      golden = std::string(STREAM8_SOURCE_DIR) + "/tests/golden/show.txt";
    std::string out;
    ASSERT_EQ(run_command(kRecorder + " --no-video --quiet --data " + quote(repo_data_dir()) +
                              " --hash-log " + quote(log),
                          out),
              0)
        << out;
    std::istringstream want(read_file(golden)), got(read_file(log));
    std::vector<std::string> frames, seconds;
    long lines = 0;
    for (;; lines++) {
        std::string a, b;
        const bool more_wanted = static_cast<bool>(std::getline(want, a));
        const bool more_got = static_cast<bool>(std::getline(got, b));
        if (!more_wanted && !more_got)
            break;
        if (a == b)
            continue;
        const std::string label = (a.empty() ? b : a).substr(0, (a.empty() ? b : a).find(' '));
        (label.rfind("sound:", 0) == 0 ? seconds : frames).push_back(a + " | " + b);
    }
    EXPECT_GT(lines, 3267) << "every frame and every second of sound";
    if (frames.empty() && seconds.empty())
        return;
    std::string dumped;
    if (!frames.empty()) {
        std::string list;
        for (size_t i = 0; i < frames.size() && i < 4; i++)
            list += (i ? "," : "") + frames[i].substr(0, frames[i].find(' '));
        const std::string pngs =
            std::filesystem::temp_directory_path().string() + "/stream8-golden";
        run_command(kRecorder + " --no-video --quiet --data " + quote(repo_data_dir()) +
                        " --frames " + list + " --frames-dir " + quote(pngs),
                    out);
        dumped = "; the first of them are written as PNG to " + pngs;
    }
    ADD_FAILURE() << frames.size() << " frames and " << seconds.size()
                  << " seconds of sound differ from the committed table (committed | now); first: "
                  << (frames.empty() ? seconds.front() : frames.front()) << dumped;
}

}  // namespace
