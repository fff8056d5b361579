// The live show's account of its time: with STREAM8_PHASE_LOG naming a file, each phase's start
// (and the fade's end, as "end"; the first Esc seen, "esc"; the full screen given up, "released")
// in seconds since the tick began, and what the show did with its time in each phase. How the
// end-to-end tests and the live benchmark time the phases.
#pragma once
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "host/timing.h"

class PhaseLog {
public:
    PhaseLog() = default;
    ~PhaseLog();
    PhaseLog(const PhaseLog&) = delete;
    PhaseLog& operator=(const PhaseLog&) = delete;

    // The live host's init, when STREAM8_PHASE_LOG names a file.
    void open(const std::string& path);

    // "NAME SECONDS": a phase begins, or a moment of the show ("esc", "released", "end").
    void moment(const char* name, double seconds);

    // What the live host tells as the show runs. A wait for a tick runs from the first poll that
    // finds nothing owed to the one that finds a tick (or the next present).
    void poll_found_nothing();
    void end_wait();
    // A present waits for its moment in the tick: from begin_present_wait() to its end, which
    // woke `woke_seconds` after that moment.
    void begin_present_wait();
    void end_present_wait(double woke_seconds);
    void late_present() { account_.late++; }
    void presented(long owed)
    {
        note_owed(owed);
        account_.presents++;
    }
    // Ticks owed as a phase ends.
    void phase_ends(long owed)
    {
        note_owed(owed);
        account_.end_owed = std::max(account_.end_owed, owed);
    }

    // Writes the phase's account, when the file is open and the clock runs, and starts anew. As
    // "timing NAME presents=N late=N owed=N end=N waits=N slept=S spun=S queued=S polls=N
    // present_waits=N present_slept=S present_spun=S present_queued=S woke=MS": the frames
    // presented and those late (more than a tick owed, sent at once), the most ticks owed at a
    // present or at the phase's end and those owed at its end; the waits for a tick, their wall
    // time spent asleep, on the CPU (spinning) and ready to run but kept off the CPU by other work
    // (the kernel's run delay, so that a busy machine lengthens no side), and the clock polls that
    // found nothing owed; the same for the presents' waits for their moment in the tick, and the
    // median time from that moment to the waking. A test judges the length only of a phase that
    // ended on time, and the waits always.
    void account(Phase phase, bool ticking);

private:
    struct Waits {
        long count = 0;
        double slept = 0, spun = 0, queued = 0;
    };
    struct Account {
        long presents = 0, late = 0, most_owed = 0, end_owed = 0, polls = 0;
        Waits ticks, presents_due;
        std::vector<double> woke;
    };
    struct ThreadTimes {
        double wall = 0, cpu = 0, queued = 0;
    };
    ThreadTimes thread_times() const;
    void add_wait(const ThreadTimes& from, Waits& waits);
    void note_owed(long owed) { account_.most_owed = std::max(account_.most_owed, owed); }

    std::FILE* file_ = nullptr;
    int sched_fd_ = -1;
    Account account_;
    bool waiting_ = false;
    ThreadTimes wait_start_, present_start_;
};
