#include "host/phase_log.h"

#include <time.h>

#include <chrono>

#include "platform/live_platform.h"

namespace {

// Seconds of CPU time the calling thread has used, and of the steady clock.
double thread_cpu_seconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

double wall_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

PhaseLog::~PhaseLog()
{
    if (file_)
        std::fclose(file_);
}

void PhaseLog::open(const std::string& path)
{
    file_ = std::fopen(path.c_str(), "w");
    sched_fd_ = live_platform::open_thread_schedstat();
}

void PhaseLog::moment(const char* name, double seconds)
{
    if (!file_)
        return;
    std::fprintf(file_, "%s %.4f\n", name, seconds);
    std::fflush(file_);
}

PhaseLog::ThreadTimes PhaseLog::thread_times() const
{
    ThreadTimes t;
    t.wall = wall_seconds();
    t.cpu = thread_cpu_seconds();
    if (sched_fd_ >= 0)
        live_platform::thread_queued_seconds(sched_fd_, t.queued);
    return t;
}

void PhaseLog::add_wait(const ThreadTimes& from, Waits& waits)
{
    waits.count++;
    const ThreadTimes to = thread_times();
    const double spun = to.cpu - from.cpu, queued = to.queued - from.queued;
    waits.spun += spun;
    waits.queued += queued;
    waits.slept += std::max(0.0, to.wall - from.wall - spun - queued);
}

void PhaseLog::poll_found_nothing()
{
    if (!waiting_) {
        waiting_ = true;
        wait_start_ = thread_times();
    }
    account_.polls++;
}

void PhaseLog::end_wait()
{
    if (!waiting_)
        return;
    waiting_ = false;
    add_wait(wait_start_, account_.ticks);
}

void PhaseLog::begin_present_wait()
{
    present_start_ = thread_times();
}

void PhaseLog::end_present_wait(double woke_seconds)
{
    add_wait(present_start_, account_.presents_due);
    account_.woke.push_back(woke_seconds);
}

void PhaseLog::account(Phase phase, bool ticking)
{
    end_wait();
    if (file_ && ticking) {
        std::vector<double>& w = account_.woke;
        double woke = 0;
        if (!w.empty()) {
            std::nth_element(w.begin(), w.begin() + static_cast<long>(w.size() / 2), w.end());
            woke = w[w.size() / 2];
        }
        const Account& a = account_;
        std::fprintf(
            file_,
            "timing %s presents=%ld late=%ld owed=%ld end=%ld waits=%ld slept=%.4f spun=%.4f "
            "queued=%.4f polls=%ld present_waits=%ld present_slept=%.4f present_spun=%.4f "
            "present_queued=%.4f woke=%.3f\n",
            phase_name(phase), a.presents, a.late, a.most_owed, a.end_owed, a.ticks.count,
            a.ticks.slept, a.ticks.spun, a.ticks.queued, a.polls, a.presents_due.count,
            a.presents_due.slept, a.presents_due.spun, a.presents_due.queued, woke * 1000);
        std::fflush(file_);
    }
    account_ = Account();
}
