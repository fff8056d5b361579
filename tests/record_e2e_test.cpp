// The recorder as a program: a short recording is a playable video with the right sound, dumped
// pictures are the show's own frames, and faults end with a message, a non-zero status and no
// file under the output's name.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "common/frame_list.h"
#include "music/it_layout.h"
#include "music/module_audio.h"
#include "music/module_check.h"
#include "music/module_player.h"
#include "record/recording_host.h"
#include "record_support.h"
#include "show/probe.h"
#include "show/show.h"

namespace {

const std::string kRecorder = STREAM8_RECORD_BIN;
const std::string kBench = STREAM8_BENCH_BIN;

std::string quote(const std::string& s)
{
    return "'" + s + "'";
}

// ffprobe's view of one stream, as key=value pairs.
std::map<std::string, std::string> probe_stream(const std::string& file, const std::string& which)
{
    std::string out;
    run_command("ffprobe -v error -select_streams " + which +
                    " -show_entries stream=codec_type,codec_name,width,height,pix_fmt,r_frame_rate,"
                    "nb_frames,sample_rate,channels -of default=noprint_wrappers=1 " +
                    quote(file),
                out, false);
    std::map<std::string, std::string> kv;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        std::string line =
            out.substr(start, end == std::string::npos ? std::string::npos : end - start);
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            kv[line.substr(0, eq)] = line.substr(eq + 1);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return kv;
}

std::string png_pixels(const std::string& path);

// Mean difference per colour component between frame n of a video and a dumped 640x480 picture,
// each picture pixel standing for a scale x scale block of the video; a size that disagrees fails.
double video_frame_difference(const std::string& video, long n, const std::string& png_path,
                              size_t scale = 1)
{
    std::string frame;
    run_command("ffmpeg -v error -i " + quote(video) + " -vf 'select=eq(n\\," + std::to_string(n) +
                    ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 -",
                frame, false);
    const std::string png = png_pixels(png_path);
    const size_t w = 640 * scale, h = 480 * scale;
    if (png.size() != 640u * 480 * 3 || frame.size() != w * h * 3) {
        ADD_FAILURE() << "picture of " << png.size() << " bytes, frame of " << frame.size();
        return 1e9;
    }
    double diff = 0;
    for (size_t y = 0; y < h; y++)
        for (size_t x = 0; x < w; x++)
            for (size_t c = 0; c < 3; c++)
                diff += std::abs(
                    static_cast<unsigned char>(frame[(y * w + x) * 3 + c]) -
                    static_cast<unsigned char>(png[((y / scale) * 640 + x / scale) * 3 + c]));
    return diff / static_cast<double>(frame.size());
}

long peak(const std::vector<int16_t>& s, long from, long to)  // stereo frames [from, to)
{
    long p = 0;
    for (long i = 2 * std::max(from, 0L); i < 2 * to && i < static_cast<long>(s.size()); i++)
        p = std::max<long>(p, std::abs(s[static_cast<size_t>(i)]));
    return p;
}

TEST(Recording, ShortRecordingIsA640x480VideoWithStereoSoundFromTheFirstLoopFrame)
{
    TempDir dir;
    write_record_data(dir.path());
    const std::string out = dir.file("short.mp4");
    std::string log;
    ASSERT_EQ(run_command(kRecorder + " --quiet --data " + quote(dir.path()) + " --out " +
                              quote(out) + " --until loop:60 --frames loop:60 --frames-dir " +
                              quote(dir.path()),
                          log),
              0)
        << log;
    EXPECT_NE(log.find("wrote " + out + ": 569 frames (to loop:60), 0:09.64"), std::string::npos)
        << log;
    EXPECT_FALSE(std::filesystem::exists(out + ".partial"));

    auto v = probe_stream(out, "v");
    EXPECT_EQ(v["codec_name"], "h264");
    EXPECT_EQ(v["width"], "640");
    EXPECT_EQ(v["height"], "480");
    EXPECT_EQ(v["pix_fmt"], "yuv420p");
    EXPECT_EQ(v["r_frame_rate"], "59/1");
    EXPECT_EQ(v["nb_frames"], "569") << "209 logo + 300 smear + 60 loop frames";
    auto a = probe_stream(out, "a");
    EXPECT_EQ(a["codec_name"], "aac");
    EXPECT_EQ(a["sample_rate"], "48000");
    EXPECT_EQ(a["channels"], "2");

    // The video's last frame is the picture of loop:60, up to the encoder's loss. Fine stripes of
    // saturated colour lose about 7 levels a component in 4:2:0 H.264; a swapped channel or a
    // frame from elsewhere in the show loses far more.
    EXPECT_LT(video_frame_difference(out, 568, dir.file("loop-00060.png")), 10.0)
        << "mean difference per colour component";

    // The sound, decoded: silent through the intro, the module from the first loop frame on.
    std::string raw;
    run_command("ffmpeg -v error -i " + quote(out) + " -f s16le -ac 2 -ar 48000 -", raw, false);
    std::vector<int16_t> s(raw.size() / 2);
    std::memcpy(s.data(), raw.data(), s.size() * 2);
    const long total = samples_through_frame(569);
    const long loop_start = samples_through_frame(509);
    ASSERT_GE(static_cast<long>(s.size() / 2), total);
    EXPECT_LT(static_cast<long>(s.size() / 2), total + 2048)
        << "the sound ends with the last frame";
    const long aac_frame = 1024;  // the encoder smears an onset over about one of its frames
    EXPECT_LE(peak(s, 0, loop_start - 2 * aac_frame), 4) << "silence before loop:1";
    EXPECT_GT(peak(s, loop_start + aac_frame, loop_start + 4 * aac_frame), 2000)
        << "music from loop:1";
    EXPECT_GT(peak(s, total - 4 * aac_frame, total - aac_frame), 2000)
        << "and up to the last frame";
}

// --scale 2: a 1280x960 video whose every show pixel is a 2x2 block of the dumped picture's colour.
TEST(Recording, ScaledVideoRepeatsEveryPixel)
{
    TempDir dir;
    write_record_data(dir.path(), false);
    const std::string out = dir.file("scaled.mp4");
    std::string log;
    ASSERT_EQ(run_command(kRecorder + " --quiet --scale 2 --data " + quote(dir.path()) + " --out " +
                              quote(out) + " --until logo:7 --frames logo:7 --frames-dir " +
                              quote(dir.path()),
                          log),
              0)
        << log;
    EXPECT_NE(log.find("1280x960"), std::string::npos) << log;
    auto v = probe_stream(out, "v");
    EXPECT_EQ(v["width"], "1280");
    EXPECT_EQ(v["height"], "960");

    EXPECT_LT(video_frame_difference(out, 2, dir.file("logo-00007.png"), 2), 6.0)
        << "mean difference per colour component";
}

// Decodes a PNG with ffmpeg into packed RGB bytes.
std::string png_pixels(const std::string& path)
{
    std::string out;
    run_command("ffmpeg -v error -i " + quote(path) + " -f rawvideo -pix_fmt rgb24 -", out, false);
    return out;
}

std::string bitmap_pixels(BITMAP* b)
{
    std::string out;
    for (int y = 0; y < b->h; y++)
        for (int x = 0; x < b->w; x++) {
            int c = getpixel(b, x, y);
            out += static_cast<char>((c >> 16) & 255);
            out += static_cast<char>((c >> 8) & 255);
            out += static_cast<char>(c & 255);
        }
    return out;
}

TEST(Recording, DumpedFramesAreTheFramesAHeadlessRunPresents)
{
    TempDir dir;
    write_record_data(dir.path());
    const std::string list = "logo:1,smear:1-2,smear:600,loop:1,loop:2";
    const std::string frames = dir.file("frames");
    std::string log;
    ASSERT_EQ(run_command(kRecorder + " --quiet --no-video --data " + quote(dir.path()) +
                              " --frames " + list + " --frames-dir " + quote(frames),
                          log),
              0)
        << log;
    EXPECT_NE(log.find("wrote 6 of 6 requested pictures"), std::string::npos) << log;
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(frames)) {
        (void)e;
        files++;
    }
    EXPECT_EQ(files, 6);
    // --until ends a picture run before the last picture asked for.
    ASSERT_EQ(run_command(kRecorder + " --quiet --no-video --data " + quote(dir.path()) +
                              " --frames logo:1-9 --until logo:4 --frames-dir " +
                              quote(dir.file("until")),
                          log),
              0)
        << log;
    EXPECT_NE(log.find("wrote 4 of 9 requested pictures"), std::string::npos) << log;

    // The same show on the tests' spy host, stopped by Esc right after loop:2.
    FrameSet wanted;
    std::string error;
    ASSERT_TRUE(parse_frame_set(list, wanted, error));
    std::map<std::string, std::string> expected;
    SpyHost host;
    host.on_iteration = [&](BITMAP* b, Phase p, long n) {
        FrameLabel f{p, n};
        if (wanted.contains(f))
            expected[png_file_name(f)] = bitmap_pixels(b);
    };
    host.esc = [](const SpyHost& h) {
        return h.phase() == Phase::Loop && h.phase_iteration() >= 2;
    };
    run_show(host, dir.path(), probe_show_data(dir.path()));
    ASSERT_EQ(expected.size(), 6u);

    for (auto& [name, pixels] : expected) {
        std::string got = png_pixels(frames + "/" + name);
        ASSERT_EQ(got.size(), 640u * 480 * 3) << name;
        EXPECT_TRUE(got == pixels) << name << " differs from the presented frame";
    }
    // Sanity: the frames are not all alike (the smear moves, the loop draws a scene).
    EXPECT_NE(expected["smear-00001.png"], expected["smear-00600.png"]);
    EXPECT_NE(expected["smear-00600.png"], expected["loop-00001.png"]);
}

TEST(Recording, FaultsGiveAMessageAStatusAndNoFileUnderTheOutputName)
{
    TempDir dir;
    write_record_data(dir.path(), false);
    const std::string data = " --quiet --data " + quote(dir.path());
    const std::string out = dir.file("v.mp4");
    std::string log;

    // A bad frame list is refused before anything runs.
    EXPECT_EQ(run_command(kRecorder + data + " --frames loop:0-3", log), 2);
    EXPECT_NE(log.find("bad --frames: 'loop:0-3': loop frames are numbered 1..2099"),
              std::string::npos)
        << log;
    EXPECT_EQ(run_command(kRecorder + data + " --no-video --frames tunnel:3", log), 2);
    EXPECT_NE(log.find("unknown phase 'tunnel'"), std::string::npos) << log;

    // No ffmpeg to run.
    EXPECT_EQ(
        run_command(kRecorder + data + " --ffmpeg /nonexistent/ffmpeg --out " + quote(out), log),
        1);
    EXPECT_NE(log.find("cannot run '/nonexistent/ffmpeg'"), std::string::npos) << log;
    EXPECT_NE(log.find("needs ffmpeg"), std::string::npos) << log;

    // A small stack: a soft limit is raised and the show runs; a hard one is refused in a line.
    const std::string hashes = dir.file("h.txt");
    EXPECT_EQ(run_command("ulimit -Ss 64 && " + kRecorder + data +
                              " --until logo:3 --no-video --hash-log " + quote(hashes),
                          log),
              0)
        << log;
    EXPECT_EQ(read_file(hashes).rfind("logo:1 ", 0), 0u);
    std::filesystem::remove(hashes);
    EXPECT_EQ(run_command("ulimit -s 64 && " + kRecorder + data +
                              " --until logo:3 --no-video --hash-log " + quote(hashes),
                          log),
              1);
    EXPECT_NE(log.find("cannot start: the start-up probe needs a larger stack: ulimit -s allows "
                       "64 KB, at least 1024 KB are needed"),
              std::string::npos)
        << log;
    EXPECT_FALSE(std::filesystem::exists(hashes));

    // An ffmpeg that gives up at once.
    EXPECT_EQ(
        run_command(kRecorder + data + " --ffmpeg /bin/false --until logo:20 --out " + quote(out),
                    log),
        1);
    EXPECT_NE(log.find("ffmpeg"), std::string::npos) << log;

    // An ffmpeg that takes every frame and then fails: the status alone says the video is lost.
    const std::string reads_then_fails = dir.file("ffmpeg-reads-then-fails");
    std::ofstream(reads_then_fails) << "#!/bin/sh\ncat >/dev/null\nexit 1\n";
    std::filesystem::permissions(reads_then_fails, std::filesystem::perms::owner_all);
    EXPECT_EQ(run_command(kRecorder + data + " --ffmpeg " + quote(reads_then_fails) +
                              " --until logo:20 --out " + quote(out),
                          log),
              1);
    EXPECT_NE(log.find("stream8-record: ffmpeg failed to encode the frames (exit status 1)"),
              std::string::npos)
        << log;

    // Command-line faults of both programs: one line saying what, worded as the show's own
    // program words them, and status 2.
    const struct {
        std::string command;
        const char* message;
    } bad_lines[] = {
        {kRecorder + " --out ''", "stream8-record: --out needs a file name (try --help)\n"},
        {kRecorder + " --quiet extra",
         "stream8-record: unexpected argument 'extra' (try --help)\n"},
        {kBench + " --frobnicate", "stream8-bench: unknown option '--frobnicate' (try --help)\n"},
        {kBench + " --path", "stream8-bench: --path needs a value (try --help)\n"},
        {kBench + " --path=mmx", "stream8-bench: unknown path 'mmx' (try --help)\n"},
        {kBench + " --compare=yes", "stream8-bench: --compare takes no value (try --help)\n"},
        {kBench + " --data ''", "stream8-bench: --data needs a directory (try --help)\n"},
    };
    for (const auto& line : bad_lines) {
        EXPECT_EQ(run_command(line.command, log), 2) << line.command;
        EXPECT_EQ(log, line.message) << line.command;
    }

    // An output directory that does not exist.
    EXPECT_EQ(run_command(kRecorder + data + " --out " + quote(dir.file("no/such/dir/v.mp4")), log),
              1);
    EXPECT_NE(log.find("cannot write the video " + dir.file("no/such/dir/v.mp4")),
              std::string::npos)
        << log;

    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_FALSE(std::filesystem::exists(out + ".partial"));

    // A missing picture: the show's own start-up message.
    std::filesystem::remove(dir.file("tile.bmp"));
    EXPECT_EQ(run_command(kRecorder + data + " --no-video --frames logo:1 --frames-dir " +
                              quote(dir.file("f")),
                          log),
              1);
    EXPECT_NE(log.find("tile.bmp"), std::string::npos) << log;
}

// Files in `dir` whose names start with `prefix`.
std::vector<std::string> files_starting(const std::string& dir, const std::string& prefix)
{
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) == 0)
            names.push_back(name);
    }
    return names;
}

// A hostile environment: a bad TMPDIR, --out naming a directory, a FIFO, a read-only file or a
// symlink, a file-size limit, a file under the name the recorder might have used for its partial
// video, and a signal during the final mux. Each ends with its message and status, and nothing is
// left beside the output.
TEST(Recording, HostileEnvironmentEndsWithAMessageAndLeavesNothingBehind)
{
    TempDir dir;
    write_record_data(dir.path(), false);
    const std::string data = " --quiet --until logo:3 --data " + quote(dir.path());
    const std::string out = dir.file("v.mp4");
    std::string log;

    std::ofstream(dir.file("a-file")) << "x";
    for (const std::string& tmpdir : {dir.file("no-such-dir"), dir.file("a-file")}) {
        SCOPED_TRACE(tmpdir);
        EXPECT_EQ(
            run_command("TMPDIR=" + quote(tmpdir) + " " + kRecorder + data + " --out " + quote(out),
                        log),
            1);
        EXPECT_NE(log.find("stream8-record: cannot make a scratch directory in TMPDIR '" + tmpdir +
                           "': "),
                  std::string::npos)
            << log;
        EXPECT_TRUE(files_starting(dir.path(), "v.mp4").empty());
    }

    // Refused before anything runs: the missing ffmpeg is never reached.
    std::filesystem::create_directory(dir.file("out.mp4"));
    EXPECT_EQ(run_command(kRecorder + data + " --ffmpeg /nonexistent/ffmpeg --out " +
                              quote(dir.file("out.mp4")),
                          log),
              1);
    EXPECT_NE(log.find("stream8-record: cannot write the video " + dir.file("out.mp4") +
                       ": it is a directory"),
              std::string::npos)
        << log;

    // A read-only --out is left alone, refused before the show runs (every output's kinds of
    // name: EveryOutputStreamsOrRefusesWhatIsNoFile); a symlink is followed to the file it names,
    // which the video replaces.
    const std::string read_only = dir.file("ro.mp4");
    std::ofstream(read_only) << "keep";
    std::filesystem::permissions(read_only, std::filesystem::perms::owner_read);
    EXPECT_EQ(run_command(kRecorder + data + " --out " + quote(read_only), log), 1);
    EXPECT_NE(log.find("cannot write the video " + read_only + ": the file is read-only"),
              std::string::npos)
        << log;
    EXPECT_EQ(read_file(read_only), "keep");
    // A file this user may not write stays, even where the directory would let the video replace
    // it. Root writes anything, so that run goes as nobody, in a directory everyone may write.
    if (geteuid() == 0) {
        const std::string shared = dir.file("shared"), roots = dir.file("shared/roots.mp4");
        std::filesystem::permissions(dir.path(),
                                     std::filesystem::perms(0755));  // nobody reads the data
        std::filesystem::create_directory(shared);
        std::filesystem::permissions(shared, std::filesystem::perms::all);
        std::ofstream(roots) << "keep";
        std::filesystem::permissions(roots, std::filesystem::perms(0644));
        EXPECT_EQ(run_command("TMPDIR=" + quote(shared) +
                                  " setpriv --reuid=nobody --regid=nogroup --clear-groups " +
                                  kRecorder + data + " --out " + quote(roots),
                              log),
                  1)
            << log;
        EXPECT_NE(log.find("cannot write the video " + roots + ": the file is read-only"),
                  std::string::npos)
            << log;
        EXPECT_TRUE(read_file(roots) == "keep") << "the file is replaced";
        EXPECT_EQ(files_starting(shared, ""), std::vector<std::string>{"roots.mp4"});
    }

    // The video's mode: what the umask allows a new file, or the mode of the file it replaces.
    const struct {
        const char* umask;
        int existing_mode;  // -1: no file yet
        unsigned mode;
    } modes[] = {{"022", -1, 0644}, {"077", -1, 0600}, {"002", -1, 0664}, {"022", 0640, 0640}};
    for (const auto& row : modes) {
        SCOPED_TRACE(std::string("umask ") + row.umask + ", existing mode " +
                     std::to_string(row.existing_mode));
        std::filesystem::remove(out);
        if (row.existing_mode >= 0) {
            std::ofstream(out) << "old";
            std::filesystem::permissions(out, std::filesystem::perms(row.existing_mode));
        }
        ASSERT_EQ(run_command(std::string("umask ") + row.umask + "; " + kRecorder + data +
                                  " --out " + quote(out),
                              log),
                  0)
            << log;
        struct stat st;
        ASSERT_EQ(stat(out.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, row.mode);
    }
    std::filesystem::remove(out);

    // Names that ffmpeg would read as a URL or an option are files of that name.
    for (const std::string name : {"file:x.mp4", "-x.mp4", "pipe:1"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(run_command("cd " + quote(dir.path()) + " && " + kRecorder + data + " --out " +
                                  quote(name),
                              log),
                  0)
            << log;
        EXPECT_EQ(probe_stream(dir.file(name), "v")["nb_frames"], "1");
        EXPECT_EQ(files_starting(dir.path(), name), std::vector<std::string>{name});
    }

    // Standard input closed (no pipe may take fd 0), and an --out of 250 characters (the
    // temporary name beside it fits whatever the name).
    const std::string long_name = std::string(246, 'n') + ".mp4";
    EXPECT_EQ(run_command("cd " + quote(dir.path()) + " && " + kRecorder + data + " --out " +
                              quote(long_name) + " <&-",
                          log),
              0)
        << log;
    EXPECT_EQ(probe_stream(dir.file(long_name), "v")["nb_frames"], "1");
    EXPECT_EQ(files_starting(dir.path(), "nnn"), std::vector<std::string>{long_name});

    std::ofstream(dir.file("real.mp4")) << "old";
    std::filesystem::create_symlink("real.mp4", dir.file("link.mp4"));
    ASSERT_EQ(run_command(kRecorder + data + " --out " + quote(dir.file("link.mp4")), log), 0)
        << log;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.mp4")));
    EXPECT_GT(std::filesystem::file_size(dir.file("real.mp4")), 1000u);

    // Under a file-size limit of 0 every write fails: the run ends with status 1 and leaves no
    // video, no picture and no scratch directory.
    const std::string tmp = dir.file("tmp");
    std::filesystem::create_directory(tmp);
    EXPECT_EQ(run_command("ulimit -f 0; TMPDIR=" + quote(tmp) + " " + kRecorder + data +
                              " --frames logo:4 --frames-dir " + quote(dir.file("f")) + " --out " +
                              quote(out),
                          log),
              1)
        << log;
    EXPECT_NE(log.find("(ulimit -f)"), std::string::npos) << log;
    EXPECT_TRUE(files_starting(dir.path(), "v.mp4").empty());
    EXPECT_TRUE(std::filesystem::is_empty(tmp));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("f")));

    // A file that looks like a partial video is someone else's: left as it is.
    std::ofstream(out + ".partial") << "mine";
    ASSERT_EQ(run_command(kRecorder + data + " --out " + quote(out), log), 0) << log;
    EXPECT_TRUE(std::filesystem::exists(out));
    EXPECT_EQ(read_file(out + ".partial"), "mine");
    EXPECT_EQ(files_starting(dir.path(), "v.mp4").size(), 2u);
    std::filesystem::remove(out);

    // SIGTERM while ffmpeg muxes the sound in: sent by a stand-in ffmpeg as the mux starts.
    const std::string fake = dir.file("ffmpeg-wrapper");
    std::ofstream(fake)
        << "#!/bin/sh\ncase \" $* \" in *\" -movflags \"*) kill -TERM $PPID;; esac\n"
           "exec ffmpeg \"$@\"\n";
    std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
    EXPECT_EQ(
        run_command(kRecorder + data + " --ffmpeg " + quote(fake) + " --out " + quote(out), log),
        1);
    EXPECT_NE(log.find("stream8-record: interrupted by signal 15 while adding the sound"),
              std::string::npos)
        << log;
    EXPECT_EQ(files_starting(dir.path(), "v.mp4"), std::vector<std::string>{"v.mp4.partial"});
}

// One rule for every output (video, hash log, sound track, frame picture): a FIFO or a character
// device is written to as a stream and stays what it was; a read-only file, a directory or a
// socket is refused by name before the show runs and left as it was.
TEST(Recording, EveryOutputStreamsOrRefusesWhatIsNoFile)
{
    TempDir dir;
    write_record_data(dir.path(), false);
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));  // nobody reads it
    const std::string data = " --quiet --until logo:3 --data " + quote(dir.path());
    const std::string folder = dir.file("pictures"), picture = folder + "/logo-00002.png";
    const struct {
        const char* what;    // in the refusal
        const char* option;  // %s: the output's name
        size_t at;           // where `magic` stands in what it writes
        const char* magic;
    } outputs[] = {
        {"the video", "--out %s", 4, "ftyp"},
        {"the hash log", "--no-video --hash-log %s", 0, "logo:1 "},
        {"the sound track", "--no-video --sound-raw %s", 0, ""},
        {"the frame picture", "--no-video --frames logo:2 --frames-dir %s", 1, "PNG"},
    };
    for (const auto& output : outputs) {
        SCOPED_TRACE(output.option);
        const bool is_picture = std::string(output.what) == "the frame picture";
        // Runs the recorder onto `name`, which for a frame picture is moved to its place first
        // and back after; `reader` runs beside it (and is waited for).
        const auto run = [&](const std::string& name, const std::string& as,
                             const std::string& reader, std::string& log) {
            std::filesystem::create_directory(folder);
            std::filesystem::permissions(folder, std::filesystem::perms(0755));
            std::string option = output.option;
            option.replace(option.find("%s"), 2, quote(is_picture ? folder : name));
            if (is_picture)
                std::filesystem::rename(name, picture);
            const int status = run_command("{ " + reader + as + kRecorder + data + " " + option +
                                               "; status=$?; wait; exit $status; }",
                                           log);
            if (is_picture)
                std::filesystem::rename(picture, name);
            std::filesystem::remove_all(folder);
            return status;
        };
        std::string log;

        // A FIFO: its reader gets the whole output.
        const std::string fifo = dir.file("fifo"), got = dir.file("got");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
        const std::string reader =
            "(timeout 60 cat " + quote(is_picture ? picture : fifo) + " >" + quote(got) + ") & ";
        EXPECT_EQ(run(fifo, "", reader, log), 0) << log;
        EXPECT_TRUE(std::filesystem::is_fifo(fifo));
        const std::string content = read_file(got);
        EXPECT_GT(content.size(), std::strlen(output.magic) + output.at);
        EXPECT_EQ(content.compare(output.at, std::strlen(output.magic), output.magic), 0);
        std::filesystem::remove(fifo);

        // A character device (the null device's numbers) stays one.
        if (geteuid() == 0) {
            const std::string device = dir.file("null");
            ASSERT_EQ(mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
            EXPECT_EQ(run(device, "", "", log), 0) << log;
            EXPECT_TRUE(std::filesystem::is_character_file(device));
            std::filesystem::remove(device);
        }

        // Refused by name, each left as it was; run as nobody when root runs the test, for whom
        // the read-only file is read-only.
        const std::string read_only = dir.file("read-only"), directory = dir.file("directory"),
                          socket_name = dir.file("socket");
        std::ofstream(read_only) << "keep";
        std::filesystem::permissions(read_only, std::filesystem::perms(0444));
        std::filesystem::create_directory(directory);
        const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket_name.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        const std::string as =
            geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
        const struct {
            std::string name, reason;
        } refused[] = {{read_only, "the file is read-only; it is left alone"},
                       {directory, "it is a directory"},
                       {socket_name, "it is a socket, not a file; it is left alone"}};
        for (const auto& target : refused) {
            SCOPED_TRACE(target.name);
            EXPECT_EQ(run(target.name, as, "", log), 1) << log;
            const std::string shown = is_picture ? picture : target.name;
            EXPECT_NE(log.find("cannot write " + std::string(output.what) + " " + shown + ": " +
                               target.reason),
                      std::string::npos)
                << log;
        }
        EXPECT_EQ(read_file(read_only), "keep");
        EXPECT_TRUE(std::filesystem::is_directory(directory));
        EXPECT_TRUE(std::filesystem::is_socket(socket_name));
        ::close(sock);
        std::filesystem::remove(read_only);
        std::filesystem::remove(directory);
        std::filesystem::remove(socket_name);
    }
}

// A tmpfs of a few KiB mounted while it lives, a disk that fills up; only root may mount one.
class SmallDisk {
public:
    SmallDisk(const std::string& dir, int kib) : dir_(dir)
    {
        std::filesystem::create_directories(dir);
        std::string out;
        mounted_ = geteuid() == 0 && run_command("mount -t tmpfs -o size=" + std::to_string(kib) +
                                                     "k stream8-test " + quote(dir),
                                                 out) == 0;
    }
    ~SmallDisk()
    {
        std::string out;
        if (mounted_)
            run_command("umount " + quote(dir_), out);
    }
    bool mounted() const { return mounted_; }

private:
    std::string dir_;
    bool mounted_ = false;
};

// The video replaces --out only when it reads back as what was recorded: a full disk where the
// video, the scratch files or the pictures go, a mux that loses frames and a file cut short after
// the mux all end with status 1, their reason, the old video untouched and nothing left behind.
TEST(Recording, AVideoReplacesTheOutputOnlyWhenItReadsBackWhole)
{
    TempDir dir;
    write_record_data(dir.path(), false);
    const std::string tmp = dir.file("tmp");
    std::filesystem::create_directory(tmp);
    const std::string data = " --quiet --data " + quote(repo_data_dir()) + " ";
    const std::string old_video(20000, 'v');
    std::string log;

    // Stand-ins for ffmpeg whose mux reports success: one adds the output options in MUX_EXTRA,
    // one cuts the file short after it (or grows it: MUX_EXTRA is then truncate's size).
    const std::string spoil = dir.file("ffmpeg-spoil"), truncated = dir.file("ffmpeg-truncated");
    std::ofstream(spoil)
        << "#!/bin/sh\ncase \" $* \" in *\" -movflags \"*) ;; *) exec ffmpeg \"$@\";; esac\n"
           "n=$#; i=0\nfor a; do i=$((i + 1)); [ $i -lt $n ] && set -- \"$@\" \"$a\"; last=$a; done\n"
           "shift $n\nexec ffmpeg \"$@\" $MUX_EXTRA \"$last\"\n";
    std::ofstream(truncated)
        << "#!/bin/sh\nffmpeg \"$@\" || exit\n"
           "case \" $* \" in *\" -movflags \"*) for last; do :; done; truncate -s ${MUX_EXTRA:-8192} \"${last#file:}\";; esac\n";
    // One that overwrites 4 KB in the middle of the file after the mux: its size, frame count and
    // durations stay right.
    const std::string damage = dir.file("ffmpeg-damage");
    std::ofstream(damage)
        << "#!/bin/sh\nffmpeg \"$@\" || exit\n"
           "case \" $* \" in *\" -movflags \"*) for last; do :; done; f=${last#file:}\n"
           "head -c 4096 /dev/zero | tr '\\0' Z | dd of=\"$f\" bs=4096 seek=$(($(stat -c %s \"$f\") / 8192)) "
           "conv=notrunc 2>/dev/null;; esac\n";
    for (const std::string& f : {spoil, truncated, damage})
        std::filesystem::permissions(f, std::filesystem::perms::owner_all);

    const struct {
        const char* name;
        bool full_disk;     // the disk of `where` is a 100 KiB tmpfs
        const char* where;  // out: the output's directory; tmp: TMPDIR; frames: --frames-dir
        std::string options;
        const char* mux_extra;
        std::string message;
    } rows[] = {
        {"mux drops a frame", false, "out", "--until logo:100 --ffmpeg " + quote(spoil),
         "-bsf:v noise=drop=eq(n\\,10)",
         "it reads back as 29 frames, 0.508 s of video and 0.508 s of sound where 30 frames, 0.508 s were recorded"},
        {"mux cuts the sound", false, "out", "--until logo:100 --ffmpeg " + quote(spoil),
         "-af atrim=0:0.05",
         "it reads back as 30 frames, 0.508 s of video and 0.050 s of sound where 30 frames"},
        {"file cut after the mux", false, "out", "--until logo:30 --ffmpeg " + quote(truncated), "",
         "bytes and 8192 are on the disk"},
        {"file grown after the mux", false, "out", "--until logo:30 --ffmpeg " + quote(truncated),
         "+4096", " are on the disk"},
        {"file damaged in its middle after the mux", false, "out",
         "--until logo:100 --ffmpeg " + quote(damage), "",
         "it does not decode cleanly (ffmpeg, exit status 0, "},
        {"full disk for the video", true, "out", "--until smear:200", "",
         "no space left on the device holding "},
        {"full disk for the scratch files", true, "tmp", "--until smear:200", "",
         "no space left on the device holding "},
        {"full disk for the pictures", true, "frames",
         "--until logo:1 --frames logo:1 --frames-dir ", "",
         "no space left on the device holding "},
    };
    bool skipped = false;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string out_dir = dir.file(std::string("out-") + row.name),
                          disk = dir.file(std::string("disk-") + row.name);
        std::filesystem::create_directory(out_dir);
        SmallDisk small(disk, 100);
        if (row.full_disk && !small.mounted()) {
            skipped = true;
            continue;
        }
        const std::string where = std::string(row.where);
        const std::string video_dir = row.full_disk && where == "out" ? disk : out_dir;
        const std::string out = video_dir + "/keep.mp4";
        std::ofstream(out) << old_video;
        const std::string tmpdir = row.full_disk && where == "tmp" ? disk : tmp;
        std::string options = row.options;
        if (where == "frames")
            options += quote(disk);
        // The sound track and the hash log of a failed run leave the old ones as they were.
        const std::string kept = dir.file(std::string("kept-") + row.name);
        std::filesystem::create_directory(kept);
        std::ofstream(kept + "/s.raw") << "old";
        std::ofstream(kept + "/h.txt") << "old";
        options +=
            " --sound-raw " + quote(kept + "/s.raw") + " --hash-log " + quote(kept + "/h.txt");
        EXPECT_EQ(run_command("MUX_EXTRA=" + quote(row.mux_extra) + " TMPDIR=" + quote(tmpdir) +
                                  " " + kRecorder + data + options + " --out " + quote(out),
                              log),
                  1)
            << log;
        EXPECT_NE(log.find(row.message + (row.full_disk ? disk : std::string())), std::string::npos)
            << log;
        EXPECT_TRUE(read_file(out) == old_video) << "the old video is untouched";
        EXPECT_EQ(files_starting(video_dir, ""), std::vector<std::string>{"keep.mp4"});
        EXPECT_TRUE(std::filesystem::is_empty(tmp));
        EXPECT_EQ(read_file(kept + "/s.raw") + read_file(kept + "/h.txt"), "oldold");
        EXPECT_EQ(files_starting(kept, ""), (std::vector<std::string>{"h.txt", "s.raw"}));
        if (row.full_disk && where == "tmp") {
            EXPECT_TRUE(std::filesystem::is_empty(disk));
        }
    }
    if (skipped)
        std::printf("[   NOTE   ] the full-disk rows need root to mount a tmpfs: skipped\n");
}

// A recorder killed by SIGKILL leaves its partial video and scratch directory; the very next
// start removes them: what matches the recorder's names, belongs to this user and no running
// writer holds locked. Age plays no part.
TEST(Recording, LeftoversOfAKilledRecorderAreRemovedAtTheNextStart)
{
    namespace fs = std::filesystem;
    TempDir dir;
    write_record_data(dir.path(), false);
    const std::string tmp = dir.file("tmp"), out = dir.file("v.mp4");
    fs::create_directory(tmp);
    const std::string env = "TMPDIR=" + quote(tmp) + " ";
    const std::string data = " --data " + quote(dir.path()) + " --out " + quote(out);
    std::string log;

    // Killed once its first 500 frames are in; its ffmpeg may outlive it for a moment.
    ASSERT_EQ(
        run_command(
            "(" + env + "exec " + kRecorder + data + " --until loop:2000 2>" +
                quote(dir.file("log")) +
                ") & pid=$!; for i in $(seq 300); do grep -q '500 frames' " +
                quote(dir.file("log")) +
                " && break; sleep 0.1; done; kill -KILL $pid; wait $pid 2>/dev/null; echo $pid",
            log, false),
        0);
    const std::vector<std::string> partials = files_starting(dir.path(), ".stream8-partial-");
    const std::vector<std::string> scratch = files_starting(tmp, "stream8-record-");
    ASSERT_EQ(partials.size(), 1u) << "the killed recorder's partial video";
    ASSERT_EQ(scratch.size(), 1u) << "and its scratch directory";

    // Look-alikes; those marked locked are held as a running writer holds its own. Beside the
    // output only partial files are swept, in TMPDIR only scratch directories: the user's own
    // files and folders under the other's name, or the right name in the wrong kind, stay.
    fs::create_directory(dir.file("elsewhere"));
    std::ofstream(dir.file("elsewhere/precious")) << "x";
    const struct {
        std::string path;
        bool directory;
        bool locked;
        bool removed;
        const char* why;
    } rows[] = {
        {tmp + "/stream8-record-Ab12cD", true, false, true, "a killed recorder's scratch"},
        {dir.file(".stream8-partial-Ab12cD"), false, false, true, "a killed writer's partial file"},
        {tmp + "/stream8-record-Lock12", true, true, false, "a running recorder's scratch"},
        {dir.file(".stream8-partial-Lock12"), false, true, false,
         "a running writer's partial file"},
        {dir.file(".stream8-partial-Ab1"), false, false, false, "not a name the recorder makes"},
        {dir.file(".stream8-partial-Ab12cD.mp4"), false, false, false,
         "not a name the recorder makes"},
        {tmp + "/stream8-record-link12", false, false, false, "a symlink to a directory"},
        {dir.file(".stream8-partial-link12"), false, false, false, "a symlink to a file"},
        {dir.file(".stream8-partial-nobody"), false, false, false, "another user's file"},
        {dir.file(".stream8-partial-Fold12"), true, false, false, "a folder beside the output"},
        {dir.file("stream8-record-Ab12cD"), true, false, false,
         "a scratch-like folder beside the output"},
        {tmp + "/stream8-record-File12", false, false, false, "a file in TMPDIR"},
    };
    std::vector<int> locks;
    for (const auto& row : rows) {
        if (row.directory) {
            fs::create_directory(row.path);
            std::ofstream(row.path + "/video.mp4") << "x";
        } else if (std::string(row.why) == "a symlink to a directory") {
            fs::create_directory_symlink(dir.file("elsewhere"), row.path);
            continue;
        } else if (std::string(row.why) == "a symlink to a file") {
            fs::create_symlink(dir.file("elsewhere/precious"), row.path);
            continue;
        } else {
            std::ofstream(row.path) << "x";
        }
        if (row.locked) {
            const int fd = open(row.path.c_str(), O_RDONLY);
            ASSERT_EQ(flock(fd, LOCK_EX), 0);
            locks.push_back(fd);
        }
    }
    const bool as_root = geteuid() == 0;
    if (as_root) {
        ASSERT_EQ(chown(dir.file(".stream8-partial-nobody").c_str(), 65534, 65534), 0);
    }

    // At once: no wait for the killed recorder's files to age.
    ASSERT_EQ(run_command(env + kRecorder + data + " --until logo:3", log), 0) << log;
    for (int fd : locks)
        close(fd);
    EXPECT_NE(log.find("stream8-record: removed " + dir.file(partials[0]) +
                       ", left by a recorder that was killed"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("stream8-record: removed " + tmp + "/" + scratch[0]), std::string::npos)
        << log;
    EXPECT_FALSE(fs::exists(dir.file(partials[0])));
    EXPECT_FALSE(fs::exists(tmp + "/" + scratch[0]));
    for (const auto& row : rows) {
        if (!as_root && std::string(row.why) == "another user's file")
            continue;
        EXPECT_EQ(!fs::exists(fs::symlink_status(row.path)), row.removed)
            << row.why << ": " << row.path;
    }
    EXPECT_TRUE(fs::exists(dir.file("elsewhere/precious")));
    EXPECT_EQ(probe_stream(out, "v")["nb_frames"], "1");
}

// A module with two events on one channel in one row: DUMB would append a debug file to the
// working directory, or abort where it cannot. The recorder names the fault, records silence,
// and writes nothing there, in a writable and in a read-only working directory.
TEST(Recording, MalformedModuleIsNamedAndTheWorkingDirectoryStaysUntouched)
{
    TempDir dir;
    write_record_data(dir.path(), false);
    std::vector<uint8_t> pattern = {0x81, 3, 60, 1, 0x81, 3, 62, 1, 0};
    pattern.resize(pattern.size() + 63, 0);
    write_bytes(dir.file("80S5.IT"), test_module_bytes(pattern));
    // Everyone may read the data and write the output; nobody may write the read-only directory.
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all &
                                                 ~std::filesystem::perms::others_write &
                                                 ~std::filesystem::perms::group_write);
    std::filesystem::create_directory(dir.file("out"));
    std::filesystem::permissions(dir.file("out"), std::filesystem::perms::all);
    std::filesystem::create_directory(dir.file("writable"));
    std::filesystem::create_directory(dir.file("read-only"));
    std::filesystem::permissions(
        dir.file("read-only"),
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
            std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
            std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    // Root writes anywhere: the read-only run then goes as an unprivileged user.
    const std::string as_user =
        geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
    for (const std::string& where : {std::string("writable"), std::string("read-only")}) {
        SCOPED_TRACE(where);
        const std::string out = dir.file("out/" + where + ".mp4");
        std::string log;
        EXPECT_EQ(run_command("cd " + quote(dir.file(where)) + " && " +
                                  (where == "writable" ? "" : as_user) + kRecorder +
                                  " --until loop:3 --quiet --data " + quote(dir.path()) +
                                  " --out " + quote(out),
                              log),
                  0)
            << log;
        EXPECT_NE(log.find("stream8-record: " + dir.file("80S5.IT") +
                           ": cannot load the module (pattern 0, row 0: two events on channel 1): "
                           "the sound track is silent"),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("silent 48 kHz stereo sound"), std::string::npos) << log;
        EXPECT_TRUE(std::filesystem::is_empty(dir.file(where)));
        EXPECT_TRUE(std::filesystem::exists(out));
    }
}

TEST(Recording, WithoutTheModuleTheVideoIsMadeWithSilentSound)
{
    TempDir dir;
    write_record_data(dir.path(), false);
    const std::string out = dir.file("quiet.mp4");
    std::string log;
    ASSERT_EQ(run_command(kRecorder + " --quiet --data " + quote(dir.path()) + " --out " +
                              quote(out) + " --until loop:5",
                          log),
              0)
        << log;
    EXPECT_NE(log.find("no module at"), std::string::npos) << log;
    EXPECT_NE(log.find("silent 48 kHz stereo sound"), std::string::npos) << log;
    EXPECT_EQ(probe_stream(out, "a")["sample_rate"], "48000");
    EXPECT_EQ(probe_stream(out, "v")["nb_frames"], "514");
}

// The host on its own, driven like the show drives it: silence before the main loop, the module
// at full gain in it, and the gain the fade sets applied from the next frame on.
TEST(Recording, SoundFollowsThePhasesAndTheGainPerFrame)
{
    TempDir dir;
    start_headless_allegro(32);
    write_test_module(dir.file("80S5.IT"));
    std::vector<uint8_t> bytes;
    std::string problem;
    ASSERT_TRUE(read_module_bytes(dir.file("80S5.IT"), bytes, problem)) << problem;
    std::vector<int16_t> track;
    ASSERT_TRUE(render_module(bytes, 4 * 48000, track));
    RecordOptions opts;
    opts.out = dir.file("host.mp4");
    opts.quiet = true;
    std::string error;
    BITMAP* frame = create_bitmap_ex(32, 640, 480);
    clear_to_color(frame, 0x336699);
    {
        RecordingHost host(opts);
        ASSERT_TRUE(host.open(error)) << error;
        host.start_music(track, dir.file("80S5.IT"), "");
        host.install_tick();
        host.begin_phase(Phase::Logo);
        for (int i = 0; i < 59; i++)
            host.present(frame);
        host.begin_phase(Phase::Loop);
        for (int i = 0; i < 59; i++)
            host.present(frame);
        host.begin_phase(Phase::Fade);
        for (int i = 0; i < 59; i++) {
            host.set_music_volume(0.25f);
            host.present(frame);
        }
        ASSERT_TRUE(host.close(error)) << error;
    }
    destroy_bitmap(frame);

    std::string raw;
    run_command("ffmpeg -v error -i " + quote(opts.out) + " -f s16le -ac 2 -ar 48000 -", raw,
                false);
    std::vector<int16_t> s(raw.size() / 2);
    std::memcpy(s.data(), raw.data(), s.size() * 2);
    ASSERT_GE(static_cast<long>(s.size() / 2), 3 * 48000);
    EXPECT_LE(peak(s, 0, 46000), 4);
    const long full = peak(s, 52000, 94000);
    const long faded = peak(s, 102000, 142000);
    EXPECT_GT(full, 2000);
    EXPECT_NEAR(static_cast<double>(faded) / full, 0.25, 0.04);
}

// The module is read once, before the probe: swapped afterwards for one whose every sample plays
// at 1 Hz (the player would divide by zero on it) or for a FIFO (the player would wait on it for
// ever), the recorder plays what the probe's child rendered from the bytes read, the same sound
// either way, and this process never loads a module into the player.
TEST(Recording, AModuleSwappedAfterTheProbeIsNeverRead)
{
    namespace fs = std::filesystem;
    TempDir dir;
    fs::copy(repo_data_dir(), dir.path(), fs::copy_options::recursive);
    const std::string module = dir.file("80S5.IT");
    std::vector<uint8_t> slow;
    {
        std::ifstream in(module, std::ios::binary);
        slow.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const size_t orders = it::get16(slow, it::song::kOrders),
                 instruments = it::get16(slow, it::song::kInstruments);
    for (size_t i = 0; i < it::get16(slow, it::song::kSamples); i++) {
        const size_t at =
            it::get32(slow, it::song::kSize + orders + 4 * (instruments + i)) + it::sample::kRate;
        slow[at] = 1;
        slow[at + 1] = slow[at + 2] = slow[at + 3] = 0;
    }
    std::string problem;
    EXPECT_FALSE(check_module(slow, problem)) << "the check lets a 1 Hz sample through";

    start_headless_allegro(32);
    const long loads = module_loads();
    const ProbeResult probe = probe_show_data(dir.path());
    ASSERT_EQ(probe.failure, "");
    ASSERT_EQ(probe.music.size(), 2u * kProbeMusicFrames);
    std::string sounds[2];
    for (int swap = 0; swap < 2; swap++) {
        SCOPED_TRACE(swap == 0 ? "1 Hz samples" : "a FIFO");
        fs::remove(module);
        if (swap == 0)
            write_bytes(module, slow);
        else
            ASSERT_EQ(mkfifo(module.c_str(), 0600), 0);
        RecordOptions opts;
        opts.video = false;
        opts.quiet = true;
        opts.data_dir = dir.path();
        opts.sound_raw = dir.file("sound.raw");
        opts.has_until = true;
        std::string error;
        ASSERT_TRUE(parse_frame_label("loop:300", opts.until, error)) << error;
        RecordingHost host(opts);
        ASSERT_TRUE(host.open(error)) << error;
        ASSERT_EQ(run_show(host, dir.path(), probe), 0) << host.fatal_message();
        ASSERT_TRUE(host.close(error)) << error;
        EXPECT_TRUE(host.music_loaded());
        sounds[swap] = read_file(dir.file("sound.raw"));
    }
    EXPECT_EQ(module_loads(), loads) << "this process loaded a module into the player";
    std::vector<int16_t> s(sounds[0].size() / 2);
    std::memcpy(s.data(), sounds[0].data(), s.size() * 2);
    EXPECT_GT(peak(s, 0, static_cast<long>(s.size() / 2)), 2000) << "the sound track is silent";
    EXPECT_TRUE(sounds[0] == sounds[1]);
}

// A show that keeps presenting frames of one phase is stopped at ten times the phase's length
// (the most a phase may lose its way before the disk fills), with the reason, and nothing is written.
TEST(Recording, ARunawayPhaseIsStopped)
{
    TempDir dir;
    start_headless_allegro(32);
    BITMAP* frame = create_bitmap_ex(32, 640, 480);
    clear_to_color(frame, 0);
    for (Phase phase : {Phase::Logo, Phase::Loop}) {
        SCOPED_TRACE(phase_name(phase));
        RecordOptions opts;
        opts.video = false;
        opts.quiet = true;
        opts.frames_dir = dir.path();
        std::string error;
        ASSERT_TRUE(parse_frame_set("fade:900", opts.frames, error));
        RecordingHost host(opts);
        ASSERT_TRUE(host.open(error)) << error;
        host.begin_phase(phase);
        long presents = 0;
        while (!host.esc_held() && presents < 100000) {
            host.present(frame);
            presents++;
        }
        EXPECT_EQ(presents, 10 * phase_iterations(phase) + 1);
        EXPECT_FALSE(host.close(error));
        EXPECT_NE(error.find(std::string("frames, ten times the ") +
                             std::to_string(phase_iterations(phase)) + " it should; giving up"),
                  std::string::npos)
            << error;
    }
    destroy_bitmap(frame);
}

// The benchmark's table: every phase with its nominal count of frames on the virtual clock, and
// the loop's frames split by the scenes the show announced.
TEST(Bench, TableCountsEveryPhaseAndScene)
{
    TempDir dir;
    write_record_data(dir.path(), false);
    std::string out;
    ASSERT_EQ(run_command(kBench + " --quiet --data " + quote(dir.path()), out), 0) << out;
    for (const char* row :
         {"logo                  208", "smear                 300", "loop                 2099",
          "pause                 209", "fade                  450", "scene 0 stairs        379",
          "scene 1 plasma        480", "scene 2 helix         480", "scene 3 tunnel        480",
          "scene 4 julia         167", "scene 5 xortunnel     113"})
        EXPECT_NE(out.find(std::string("  ") + row + " "), std::string::npos) << row << "\n" << out;
    EXPECT_NE(out.find("worst frame: "), std::string::npos) << out;
    EXPECT_NE(out.find("whole show: 3267 frames"), std::string::npos) << out;
    EXPECT_NE(out.find("nominal length 55.37 s at 59 fps"), std::string::npos) << out;
}

}  // namespace
