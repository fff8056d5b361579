// stream8: a self-running audiovisual demo. Finds and probes its data, opens the screen, then runs
// the show to its end.
#include <allegro.h>
#include <getopt.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "host/live_host.h"
#include "platform/live_platform.h"
#include "platform/refusal_dialog.h"
#include "show/probe.h"
#include "show/show.h"

namespace fs = std::filesystem;

namespace {

const char* const kUsage =
    "usage: stream8 [--window] [--scale K] [--help]\n"
    "\n"
    "Plays the show full screen at the desktop's own size, each pixel a K x K block (K the\n"
    "largest that fits), centred on black. Holding Esc ends it.\n"
    "\n"
    "  --window    play it in a window instead: the largest K whose window fits the desktop\n"
    "  --scale K   each pixel a K x K block (1..8), in the window or on the full screen\n"
    "  --help      this text\n";

// Where the show looks for its data, in order: the working directory, beside the program (and
// beside its build directory), then the installed data directory.
std::vector<std::string> data_candidates()
{
    std::vector<std::string> dirs = {"ruvo"};
    const std::string program = live_platform::program_path();
    if (!program.empty()) {
        const fs::path exe(program);
        dirs.push_back((exe.parent_path() / "ruvo").string());
        dirs.push_back((exe.parent_path().parent_path() / "ruvo").string());
        dirs.push_back((exe.parent_path().parent_path() / "share/stream8/ruvo").string());
    }
    dirs.push_back(STREAM8_DATA_DIR);
    return dirs;
}

bool find_data(std::string& dir, std::string& looked)
{
    for (const std::string& d : data_candidates()) {
        std::error_code ec;
        if (fs::is_directory(d, ec)) {
            dir = d;
            return true;
        }
        looked += (looked.empty() ? "" : ", ") + d;
    }
    return false;
}

// One line on standard error, and the same in a small window when no terminal shows that line
// (started from a desktop's menu; on Windows, a message box). Every refusal's status: 1.
int refuse(const std::string& what)
{
    const std::string message = "stream8: " + what;
    std::fprintf(stderr, "%s\n", message.c_str());
    show_refusal_dialog(message);
    return 1;
}

int cannot_start(const std::string& why)
{
    return refuse("cannot start: " + why);
}

// A fault of the command line, said where the user reads it: the terminal or the console of the
// command prompt, else (a Windows program started from the desktop) a small window too.
int usage_fault(const std::string& what)
{
    if (!live_platform::connect_console())
        show_refusal_dialog("stream8: " + what + " (try --help)");
    return cli::usage_fault("stream8", what);
}

}  // namespace

int main(int argc, char** argv)
{
    if (const char* message = std::getenv(kDialogVariable))
        return run_refusal_dialog(message);
    ScreenChoice choice;
    static const option kOptions[] = {{"window", no_argument, nullptr, 'w'},
                                      {"scale", required_argument, nullptr, 's'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {nullptr, 0, nullptr, 0}};
    opterr = 0;
    for (;;) {
        const int word = optind;
        const int c = getopt_long(argc, argv, "+:h", kOptions, nullptr);
        if (c == -1)
            break;
        if (c == 'w') {
            choice.window = true;
        } else if (c == 's') {
            char* end = nullptr;
            const long k = std::strtol(optarg, &end, 10);
            if (!*optarg || *end || k < 1 || k > 8)
                return usage_fault("bad --scale '" + std::string(optarg) +
                                   "': a whole number 1..8");
            choice.scale = static_cast<int>(k);
        } else if (c == 'h') {
            if (!live_platform::connect_console())
                show_refusal_dialog(kUsage);
            std::printf("%s", kUsage);
            return 0;
        } else {
            return usage_fault(cli::getopt_fault(c, kOptions, argv, word));
        }
    }
    if (optind < argc)
        return usage_fault(cli::stray_word(argv[optind]));

    std::string data_dir, looked;
    if (!find_data(data_dir, looked))
        return cannot_start("no data directory ruvo/ (looked in " + looked + ")");

    // Before the screen and the keyboard are taken: the pictures are decoded in the probe's child,
    // so a crash in a decoder takes down only the child, never a process that holds the display.
    // A probe that cannot run, or ends early, keeps the screen closed; so does a picture the check
    // refused, or one too small for its scene: the screen need not open only to close again.
    const ProbeResult probe = probe_show_data(data_dir);
    if (!probe.refusal().empty())
        return cannot_start(probe.refusal());

    static LiveHost host;
    std::string error;
    if (!host.init(choice, error))
        return refuse(error);
    const int status = run_show(host, data_dir, probe);
    host.finish();
    return status;
}
END_OF_MAIN()
