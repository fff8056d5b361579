// The soundtrack generator and the module it writes, played through DUMB the
// way the show plays it: 48000 Hz, stereo, 16-bit, volume 1.0.
#include <dumb.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "arrangement.h"
#include "itwriter.h"
#include "soundtrack.h"

namespace {

const std::string kCommitted = std::string(STREAM8_SOURCE_DIR) + "/ruvo/80S5.IT";
constexpr int kRate = 48000;
constexpr double kRowSeconds = 5.0 / 59.0;

// The live show hands the library's full-scale render to the sound mixer,
// which plays it at these gains (left, right: within 0.04 dB of unity); the
// recorder's track is what the live show plays. Levels heard are the
// render's levels at these gains.
constexpr double kLiveGain[2] = {65276.0 / 65536.0, 65535.0 / 65536.0};

std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

struct TempDir {
    TempDir()
    {
        char tmpl[] = "/tmp/soundtrack_test.XXXXXX";
        if (!mkdtemp(tmpl))
            throw std::runtime_error("mkdtemp failed");
        path = tmpl;
    }
    ~TempDir()
    {
        std::remove((path + "/80S5.IT").c_str());
        rmdir(path.c_str());
    }
    std::string path;
};

double dbfs(double amplitude)
{
    return 20.0 * std::log10(amplitude / 32768.0);
}

double rmsDb(const std::vector<int16_t>& pcm, size_t firstFrame, size_t frames)
{
    double sum = 0.0;
    for (size_t i = firstFrame * 2; i < (firstFrame + frames) * 2; ++i)
        sum += double(pcm[i]) * pcm[i];
    return 10.0 * std::log10(sum / (2.0 * frames) / (32768.0 * 32768.0));
}

// As the live show plays frames [firstFrame, firstFrame + frames): RMS over
// both channels and the peak of either, in dBFS.
double liveRmsDb(const std::vector<int16_t>& pcm, size_t firstFrame, size_t frames)
{
    double sum = 0.0;
    for (size_t i = firstFrame * 2; i < (firstFrame + frames) * 2; ++i) {
        const double v = pcm[i] * kLiveGain[i % 2];
        sum += v * v;
    }
    return 10.0 * std::log10(sum / (2.0 * frames) / (32768.0 * 32768.0));
}

double livePeakDb(const std::vector<int16_t>& pcm)
{
    double peak = 0.0;
    for (size_t i = 0; i < pcm.size(); ++i)
        peak = std::max(peak, std::abs(pcm[i] * kLiveGain[i % 2]));
    return dbfs(peak);
}

// Second-order Butterworth high- or low-pass at `hz` for a signal sampled at `rate`.
struct Biquad {
    double b0, b1, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    Biquad(double hz, bool high, double rate = kRate)
    {
        const double w = 2.0 * M_PI * hz / rate, alpha = std::sin(w) / (2.0 * M_SQRT1_2),
                     c = std::cos(w);
        const double a0 = 1.0 + alpha;
        b1 = (high ? -(1.0 + c) : (1.0 - c)) / a0;
        b0 = b2 = (high ? (1.0 + c) : (1.0 - c)) / 2.0 / a0;
        a1 = -2.0 * c / a0;
        a2 = (1.0 - alpha) / a0;
    }
    double operator()(double x)
    {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = y;
        return y;
    }
};

// Mono mix of frames [firstFrame, firstFrame + frames) through a fourth-order
// Butterworth band-pass (two high-pass and two low-pass biquads); level in dBFS.
double bandRmsDb(const std::vector<int16_t>& pcm, size_t firstFrame, size_t frames, double lowHz,
                 double highHz)
{
    Biquad stages[4] = {{lowHz, true}, {lowHz, true}, {highHz, false}, {highHz, false}};
    double sum = 0.0;
    for (size_t f = firstFrame; f < firstFrame + frames; ++f) {
        double v = 0.5 * (pcm[2 * f] + pcm[2 * f + 1]);
        for (Biquad& s : stages)
            v = s(v);
        sum += v * v;
    }
    return 10.0 * std::log10(sum / frames / (32768.0 * 32768.0));
}

// Pearson correlation of the left and right channels over frames [firstFrame, firstFrame + frames).
double stereoCorrelation(const std::vector<int16_t>& pcm, size_t firstFrame, size_t frames)
{
    double ll = 0.0, rr = 0.0, lr = 0.0, sl = 0.0, sr = 0.0;
    for (size_t f = firstFrame; f < firstFrame + frames; ++f) {
        const double l = pcm[2 * f], r = pcm[2 * f + 1];
        ll += l * l, rr += r * r, lr += l * r, sl += l, sr += r;
    }
    const double n = static_cast<double>(frames);
    return (lr - sl * sr / n) / std::sqrt((ll - sl * sl / n) * (rr - sr * sr / n));
}

int loopsSeen = 0;
int countLoop(void*)
{
    ++loopsSeen;
    return 0;  // keep playing from the loop point, as the show does
}

// Renders `seconds` of the committed module; a negative value renders one
// pass and stops at the loop. Returns interleaved stereo.
std::vector<int16_t> render(double seconds, const std::string& path = kCommitted)
{
    dumb_register_stdfiles();
    DUH* duh = dumb_load_it_quick(path.c_str());
    if (!duh)
        return {};
    DUH_SIGRENDERER* sr = duh_start_sigrenderer(duh, 0, 2, 0);
    DUMB_IT_SIGRENDERER* it = duh_get_it_sigrenderer(sr);
    if (seconds < 0)
        dumb_it_set_loop_callback(it, dumb_it_callback_terminate, nullptr);
    else
        dumb_it_set_loop_callback(it, countLoop, nullptr);
    const size_t wanted = seconds < 0 ? SIZE_MAX : static_cast<size_t>(seconds * kRate);
    std::vector<int16_t> pcm;
    std::vector<int16_t> block(2 * 4096);
    while (pcm.size() / 2 < wanted) {
        const long chunk = static_cast<long>(std::min<size_t>(4096, wanted - pcm.size() / 2));
        const long got = duh_render(sr, 16, 0, 1.0f, 65536.0f / kRate, chunk, block.data());
        pcm.insert(pcm.end(), block.begin(), block.begin() + 2 * got);
        if (got < chunk)
            break;
    }
    duh_end_sigrenderer(sr);
    unload_duh(duh);
    return pcm;
}

// One full pass, rendered once for all level checks.
class SoundtrackRender : public ::testing::Test {
protected:
    static void SetUpTestSuite() { pass_ = new std::vector<int16_t>(render(-1.0)); }
    static void TearDownTestSuite()
    {
        delete pass_;
        pass_ = nullptr;
    }
    static std::vector<int16_t>* pass_;
    static constexpr size_t kBar = static_cast<size_t>(32 * kRowSeconds * kRate);
    // The scenes after the intro: bars 2 to 13 (the credits start early in bar 13).
    static constexpr size_t kScenesFrom = 2 * kBar, kScenesFrames = 12 * kBar;
};
std::vector<int16_t>* SoundtrackRender::pass_ = nullptr;

}  // namespace

TEST(SoundtrackFile, RegeneratesByteForByte)
{
    const std::vector<uint8_t> committed = readFile(kCommitted);
    ASSERT_FALSE(committed.empty()) << kCommitted;
    TempDir dir;
    musgen::writeSoundtrack(dir.path);
    const std::vector<uint8_t> fresh = readFile(dir.path + "/80S5.IT");
    ASSERT_EQ(fresh.size(), committed.size());
    EXPECT_TRUE(fresh == committed) << "regenerate with: cmake --build <build> --target soundtrack";
    EXPECT_TRUE(musgen::soundtrackBytes() == fresh) << "two runs differ";
}

TEST(SoundtrackFile, SongStateIsSetAtTheLoopPoint)
{
    const musgen::Module m = musgen::soundtrackModule();
    EXPECT_EQ(m.initialTempo, 118);
    EXPECT_EQ(m.initialSpeed, 4);
    ASSERT_FALSE(m.orders.empty());
    const musgen::Pattern& first = m.patterns[static_cast<size_t>(m.orders[0])];
    bool tempo = false, speed = false, global = false;
    for (int ch = 0; ch < first.channels; ++ch) {
        const musgen::Cell& c = first.at(0, ch);
        tempo |= c.effect == musgen::kFxSetTempo && c.param == 118;
        speed |= c.effect == musgen::kFxSetSpeed && c.param == 4;
        global |= c.effect == musgen::kFxGlobalVolume && c.param == m.globalVolume;
    }
    EXPECT_TRUE(tempo && speed && global);
    EXPECT_GE(m.channelPan.size(), 5u);
    for (const musgen::Pattern& p : m.patterns)
        EXPECT_EQ(p.rows % 32, 0) << "phrases follow the 32-row scenes";
}

TEST(SoundtrackFile, SamplesStartQuietAndLoopSeamlessly)
{
    const musgen::Module m = musgen::soundtrackModule();
    for (const musgen::ModuleSample& s : m.samples) {
        const std::vector<int16_t>& pcm = s.data.pcm;
        SCOPED_TRACE(s.name);
        ASSERT_GT(pcm.size(), 16u);
        EXPECT_LT(std::abs(pcm[0]), 300) << "note starts would click";
        int maxStep = 0;
        for (size_t i = 1; i < pcm.size(); ++i)
            maxStep = std::max(maxStep, std::abs(pcm[i] - pcm[i - 1]));
        if (s.data.looped) {
            // The jump from the loop end back to its start is an ordinary step.
            const int seam = std::abs(pcm[s.data.loopStart] - pcm[s.data.loopEnd - 1]);
            EXPECT_LE(seam, maxStep);
            EXPECT_EQ(s.data.loopEnd, pcm.size());
        } else {
            EXPECT_LT(std::abs(pcm.back()), 300) << "one-shot must fade out";
        }
    }
}

// Share of a looped sample's energy above `hz` when it plays `note`, in dB:
// its loop run three times through a fourth-order high-pass, the last pass measured.
double loopEnergyAboveDb(const musgen::Sample& s, int note, double hz)
{
    const double rate = s.c5speed * std::pow(2.0, (note - 60) / 12.0);
    Biquad hp[2] = {{hz, true, rate}, {hz, true, rate}};
    double all = 0.0, high = 0.0;
    for (int pass = 0; pass < 3; ++pass)
        for (uint32_t i = s.loopStart; i < s.loopEnd; ++i) {
            const double v = s.pcm[i];
            const double h = hp[1](hp[0](v));
            if (pass == 2)
                all += v * v, high += h * h;
        }
    return 10.0 * std::log10(high / all);
}

// The tune read back from the module: a motif in the intro, the hook's rhythm
// changes from bar to bar, the chorus has its own higher, leaping motif in a
// tone closed off near 4 kHz, the opening moves through more than two chord
// pairs, and the top note lands on the cut to the ending.
TEST(SoundtrackFile, TheTuneVariesRhythmRegisterAndHarmony)
{
    const musgen::Module m = musgen::soundtrackModule();
    struct Onset {
        int row, note, sample;
    };
    std::vector<Onset> lead;
    std::vector<std::vector<int>> padAt(static_cast<size_t>(m.orders.size()) *
                                        2);  // pitch classes per half bar
    for (size_t o = 0; o < m.orders.size(); ++o) {
        const musgen::Pattern& p = m.patterns[static_cast<size_t>(m.orders[o])];
        ASSERT_EQ(p.rows, musgen::kRowsPerBar);
        const int first = static_cast<int>(o) * p.rows;
        for (int r = 0; r < p.rows; ++r)
            for (int ch = 0; ch < p.channels; ++ch) {
                const musgen::Cell& c = p.at(r, ch);
                if (c.note < 0 || c.note >= 120)
                    continue;
                if (ch == musgen::kLeadChannels[0] || ch == musgen::kLeadChannels[1])
                    lead.push_back({first + r, c.note, c.sample});
                if (c.sample > 0 &&
                    m.samples[static_cast<size_t>(c.sample - 1)].name.rfind("Pad", 0) == 0 &&
                    r % 16 == 0)
                    padAt[o * 2 + static_cast<size_t>(r / 16)].push_back(c.note % 12);
            }
    }
    auto bar = [](const Onset& n) { return n.row / musgen::kRowsPerBar; };

    // Bars 4 to 12 carry the line: no rhythm (the rows its notes start on) serves more than two of them.
    std::vector<std::vector<int>> rhythms(13);
    for (const Onset& n : lead)
        if (bar(n) >= 4 && bar(n) <= 12)
            rhythms[static_cast<size_t>(bar(n))].push_back(n.row % musgen::kRowsPerBar);
    for (int b = 4; b <= 12; ++b) {
        const auto same =
            std::count(rhythms.begin() + 4, rhythms.end(), rhythms[static_cast<size_t>(b)]);
        EXPECT_LE(same, 2) << "bar " << b << " shares its rhythm with " << same - 1
                           << " other bars";
    }

    // The chorus (bars 9 to 12) sits at least five semitones above the hook (bars 4 to 7) and
    // moves mostly in leaps of a minor third or more, not in scale steps.
    double hook = 0.0, chorus = 0.0;
    int hookNotes = 0, chorusNotes = 0, leaps = 0, intervals = 0, previous = 0;
    for (const Onset& n : lead) {
        if (bar(n) >= 4 && bar(n) <= 7)
            hook += n.note, ++hookNotes;
        if (bar(n) < 9 || bar(n) > 12)
            continue;
        chorus += n.note, ++chorusNotes;
        if (previous > 0 && n.note != previous)
            leaps += std::abs(n.note - previous) >= 3, ++intervals;
        previous = n.note;
    }
    ASSERT_GT(hookNotes, 8);
    ASSERT_GT(chorusNotes, 8);
    EXPECT_GE(chorus / chorusNotes, hook / hookNotes + 5.0);
    EXPECT_GE(2 * leaps, intervals) << leaps << " leaps in " << intervals << " intervals";

    // The tune is heard from the start: a motif of several notes in the intro (bars 0 and 1).
    EXPECT_GE(std::count_if(lead.begin(), lead.end(), [&](const Onset& n) { return bar(n) <= 1; }),
              4);

    // High as it is, the chorus line does not glare: every tone it is struck with, played
    // at the line's highest note, keeps its energy above 4.5 kHz 15 dB or more under the whole.
    int chorusTop = 0;
    std::vector<int> chorusTones;
    for (const Onset& n : lead)
        if (bar(n) >= 9 && bar(n) <= 12) {
            chorusTop = std::max(chorusTop, n.note);
            if (n.sample > 0 &&
                std::find(chorusTones.begin(), chorusTones.end(), n.sample) == chorusTones.end())
                chorusTones.push_back(n.sample);
        }
    ASSERT_FALSE(chorusTones.empty());
    for (int t : chorusTones) {
        const musgen::ModuleSample& tone = m.samples[static_cast<size_t>(t - 1)];
        ASSERT_TRUE(tone.data.looped) << tone.name;
        EXPECT_LT(loopEnergyAboveDb(tone.data, chorusTop, 4500.0), -15.0)
            << tone.name << " at note " << chorusTop;
    }

    // Every section sweeps the pad's tone one way (the outro back down) through all its
    // tones, and the tones differ audibly: the brightest has 6 dB more above 1.5 kHz than the darkest.
    std::vector<int> toneOfHalf(m.orders.size() * 2, -1);
    std::vector<std::string> toneNames;
    for (size_t o = 0; o < m.orders.size(); ++o) {
        const musgen::Pattern& p = m.patterns[static_cast<size_t>(m.orders[o])];
        for (int r = 0; r < p.rows; r += 16)
            for (int ch = 0; ch < p.channels; ++ch) {
                const musgen::Cell& c = p.at(r, ch);
                if (c.sample <= 0 ||
                    m.samples[static_cast<size_t>(c.sample - 1)].name.rfind("Pad left", 0) != 0)
                    continue;
                const std::string& name = m.samples[static_cast<size_t>(c.sample - 1)].name;
                const int tone = name == "Pad left" ? 0 : name == "Pad left mid" ? 1 : 2;
                toneOfHalf[o * 2 + static_cast<size_t>(r / 16)] = tone;
            }
    }
    // A half bar without a new chord holds the one before.
    for (size_t h = 1; h < toneOfHalf.size(); ++h)
        if (toneOfHalf[h] < 0)
            toneOfHalf[h] = toneOfHalf[h - 1];
    const int sections[][3] = {{0, 2, 1}, {2, 4, 1},  {4, 8, 1},
                               {8, 9, 1}, {9, 14, 1}, {14, 18, -1}};
    for (const auto& sec : sections) {
        std::vector<int> tones(toneOfHalf.begin() + 2 * sec[0], toneOfHalf.begin() + 2 * sec[1]);
        SCOPED_TRACE("section from bar " + std::to_string(sec[0]));
        EXPECT_EQ(std::count(tones.begin(), tones.end(), -1), 0);
        for (size_t i = 1; i < tones.size(); ++i)
            EXPECT_GE(sec[2] * (tones[i] - tones[i - 1]), 0);
        EXPECT_EQ(*std::max_element(tones.begin(), tones.end()) -
                      *std::min_element(tones.begin(), tones.end()),
                  2);
    }
    auto sampleNamed = [&](const std::string& name) {
        return std::find_if(m.samples.begin(), m.samples.end(),
                            [&](const musgen::ModuleSample& s) { return s.name == name; });
    };
    ASSERT_NE(sampleNamed("Pad left"), m.samples.end());
    ASSERT_NE(sampleNamed("Pad left bright"), m.samples.end());
    EXPECT_GT(loopEnergyAboveDb(sampleNamed("Pad left bright")->data, 57, 1500.0),
              loopEnergyAboveDb(sampleNamed("Pad left")->data, 57, 1500.0) + 6.0);

    // Rhythm under the line: the arpeggio plays at least five different rhythms over bars 2
    // to 13, and the drop keeps moving: four or more onsets in its first half bar.
    const int arpSample = static_cast<int>(std::find_if(m.samples.begin(), m.samples.end(),
                                                        [](const musgen::ModuleSample& s) {
                                                            return s.name == "Arp";
                                                        }) -
                                           m.samples.begin()) +
                          1;
    std::vector<std::vector<int>> arpRhythms;
    std::vector<int> dropOnsets;
    for (size_t o = 2; o <= 13; ++o) {
        const musgen::Pattern& p = m.patterns[static_cast<size_t>(m.orders[o])];
        for (int half = 0; half < 2; ++half) {
            std::vector<int> rows;
            for (int r = 16 * half; r < 16 * half + 16; ++r)
                for (int ch = 0; ch < p.channels; ++ch) {
                    const musgen::Cell& c = p.at(r, ch);
                    if (c.note < 0 || c.note >= 120 || c.sample <= 0)
                        continue;
                    if (c.sample == arpSample &&
                        std::find(rows.begin(), rows.end(), r - 16 * half) == rows.end())
                        rows.push_back(r - 16 * half);
                    const bool pad =
                        m.samples[static_cast<size_t>(c.sample - 1)].name.rfind("Pad", 0) == 0;
                    if (o == 8 && half == 0 && !pad &&
                        std::find(dropOnsets.begin(), dropOnsets.end(), r) == dropOnsets.end())
                        dropOnsets.push_back(r);
                }
            if (!rows.empty() &&
                std::find(arpRhythms.begin(), arpRhythms.end(), rows) == arpRhythms.end())
                arpRhythms.push_back(rows);
        }
    }
    EXPECT_GE(arpRhythms.size(), 5u);
    EXPECT_GE(dropOnsets.size(), 4u);

    // The ending is written for the show, whose fade closes it at row 7 of bar 17 and has
    // darkened the credits to black by 42.8 s: the line comes home to the tonic A on bar 15's
    // downbeat (40.7 s) over an A minor chord and the bass's A, after the dominant E in the
    // half bar before, and nothing in the line follows.
    ASSERT_FALSE(lead.empty());
    EXPECT_EQ(lead.back().row, 15 * musgen::kRowsPerBar);
    EXPECT_LE(lead.back().row * kRowSeconds, 42.8 - 1.0);
    EXPECT_EQ(lead.back().note % 12, 9);
    std::vector<int> home = padAt[30], dominant = padAt[29];
    std::sort(home.begin(), home.end());
    std::sort(dominant.begin(), dominant.end());
    home.erase(std::unique(home.begin(), home.end()), home.end());
    dominant.erase(std::unique(dominant.begin(), dominant.end()), dominant.end());
    EXPECT_EQ(home, (std::vector<int>{0, 4, 9}));
    EXPECT_EQ(dominant, (std::vector<int>{4, 8, 11}));

    // The first eight bars (21.7 s) move through more than two pairs of chords.
    std::vector<std::vector<int>> pairs;
    for (size_t b = 0; b < 8; ++b) {
        std::vector<int> pair = padAt[2 * b];
        ASSERT_FALSE(pair.empty()) << "bar " << b;
        std::sort(pair.begin(), pair.end());
        std::vector<int> second = padAt[2 * b + 1];
        std::sort(second.begin(), second.end());
        pair.push_back(-1);
        pair.insert(pair.end(), second.begin(), second.end());
        if (std::find(pairs.begin(), pairs.end(), pair) == pairs.end())
            pairs.push_back(pair);
    }
    EXPECT_GT(pairs.size(), 2u);

    // The song's top note is first struck on row 4 of bar 13, frame 2100 of the main loop:
    // the cut to the logo that opens the ending.
    const auto top = std::max_element(
        lead.begin(), lead.end(), [](const Onset& a, const Onset& b) { return a.note < b.note; });
    ASSERT_NE(top, lead.end());
    EXPECT_EQ(top->row, 13 * musgen::kRowsPerBar + 4);
    EXPECT_EQ(top->row * 5, 2100);
}

TEST(SoundtrackBuilder, RefusesEventsThatPlayersMisread)
{
    musgen::Arrangement arr(4, 1, 32);
    arr.note(0, 0, 60, 1, 64);
    EXPECT_THROW(arr.note(0, 0, 62, 1, 64), std::logic_error);  // two notes in one cell
    arr.effect(1, 0, musgen::kFxVolumeSlide, 4);
    EXPECT_THROW(arr.effect(1, 0, musgen::kFxSetSpeed, 4), std::logic_error);

    // A voice fades each note on its own channel; with every channel still
    // fading it must refuse rather than cut a note at full level. A crossfading
    // voice starts the fade where the next note starts, so a note with a slow
    // attack follows without a gap.
    musgen::Voice v(arr, {2, 3}, 1, 2, musgen::Handover::Crossfade);
    v.play(0, 60, 4, 40);
    v.play(4, 62, 4, 40);
    EXPECT_THROW(v.play(5, 64, 4, 40), std::logic_error);
    EXPECT_NO_THROW(v.play(8, 64, 4, 40));
    EXPECT_EQ(arr.at(4, 2).effect, musgen::kFxVolumeSlide);
    EXPECT_TRUE(arr.at(3, 2).empty());
    EXPECT_THROW(v.play(24, 64, 8, 40), std::logic_error);  // release past the end
    musgen::Voice quick(arr, {0, 1}, 1, 1);
    EXPECT_THROW(quick.play(12, 64, 4, 64),
                 std::logic_error);  // one row of slides cannot fade 64 to 0
}

TEST(SoundtrackBuilder, SlidesContinueThePreviousNoteOnItsChannel)
{
    musgen::Arrangement arr(2, 1, 32);
    musgen::Voice v(arr, {0, 1}, 1, 2);
    musgen::Expression glide;
    glide.slideRows = 2;
    glide.vibratoFrom = 4;
    v.play(0, 60, 8, 40);
    v.play(8, 64, 12, 40, glide);
    v.finish();
    // Same channel, no new sample (so no retrigger), portamento fast enough to
    // cover four semitones in two rows of three sliding ticks, then vibrato,
    // and only the second note is faded, from the last row of its gate on, so
    // that a following attack never lands on it at full level.
    const musgen::Cell& to = arr.at(8, 0);
    EXPECT_EQ(to.note, 64);
    EXPECT_EQ(to.sample, 0);
    EXPECT_EQ(to.effect, musgen::kFxTonePortamento);
    EXPECT_GE(to.param * 3 * 2, 4 * 16);
    EXPECT_EQ(arr.at(9, 0).effect, musgen::kFxTonePortamento);
    EXPECT_EQ(arr.at(12, 0).effect, musgen::kFxVibrato);
    EXPECT_EQ(arr.at(18, 0).effect, musgen::kFxVibrato);
    for (int r = 0; r < 32; ++r)
        EXPECT_TRUE(arr.at(r, 1).empty()) << "row " << r;
    EXPECT_EQ(arr.at(19, 0).effect, musgen::kFxVolumeSlide);
    EXPECT_EQ(arr.at(20, 0).effect, musgen::kFxVolumeSlide);
    EXPECT_TRUE(arr.at(21, 0).empty());

    // A glide out of silence or out of a note that ends elsewhere has nothing to continue.
    EXPECT_THROW(v.play(24, 62, 4, 40, glide), std::logic_error);
}

TEST(SoundtrackBuilder, WriterRejectsValuesThatBreakPlayers)
{
    musgen::Module m = musgen::soundtrackModule();
    musgen::Module bad = m;
    bad.initialTempo = 0;  // divides by zero in DUMB's loader
    EXPECT_THROW(musgen::writeIt(bad), std::invalid_argument);
    bad = m;
    bad.patterns[0].at(0, 0).effect = 32;  // player-internal effect numbers
    EXPECT_THROW(musgen::writeIt(bad), std::invalid_argument);
    bad = m;
    const auto looped = std::find_if(bad.samples.begin(), bad.samples.end(),
                                     [](const musgen::ModuleSample& s) { return s.data.looped; });
    ASSERT_NE(looped, bad.samples.end());
    looped->data.loopEnd = static_cast<uint32_t>(looped->data.pcm.size() + 1);
    EXPECT_THROW(musgen::writeIt(bad), std::invalid_argument);
}

TEST(SoundtrackDumb, LoadsAndOutlastsTheRecordedShow)
{
    dumb_register_stdfiles();
    DUH* duh = dumb_load_it_quick(kCommitted.c_str());
    ASSERT_NE(duh, nullptr);
    dumb_it_do_initial_runthrough(duh);
    const double seconds = duh_get_length(duh) / 65536.0;
    unload_duh(duh);
    // The scenes' 2100 frames, then the credits' pause and fade (46.7 s of music
    // in all when recorded) play before the module first loops.
    EXPECT_GE(seconds, 46.75);
    // Whole bars of 32 rows: the loop point falls on a scene switch.
    EXPECT_NEAR(seconds, musgen::kBars * musgen::kRowsPerBar * kRowSeconds, 0.05);
}

TEST_F(SoundtrackRender, LevelsStayInRangeWithoutSilence)
{
    const std::vector<int16_t>& pcm = *pass_;
    ASSERT_GT(pcm.size() / 2, static_cast<size_t>(46.75 * kRate));

    // What the live show plays peaks at -1 dBFS or lower and still uses its headroom.
    const double peak = livePeakDb(pcm);
    EXPECT_LE(peak, -1.0);
    EXPECT_GT(peak, -1.5);

    const double rms = rmsDb(pcm, 0, pcm.size() / 2);
    EXPECT_GT(rms, -20.0);
    EXPECT_LT(rms, -10.0);

    // Never silent for long: 10 ms windows whose peak stays under -54 dBFS.
    const size_t window = kRate / 100;
    size_t quiet = 0, longestQuiet = 0;
    for (size_t f = 0; f + window <= pcm.size() / 2; f += window) {
        int wpeak = 0;
        for (size_t i = 2 * f; i < 2 * (f + window); ++i)
            wpeak = std::max(wpeak, std::abs(static_cast<int>(pcm[i])));
        quiet = wpeak < 64 ? quiet + window : 0;
        longestQuiet = std::max(longestQuiet, quiet);
    }
    EXPECT_LT(longestQuiet, static_cast<size_t>(kRate / 4));

    // No scene drops out or blares: every 32-row bar within 8 dB of the whole, but for
    // the breath after the ending.
    std::vector<double> bars;
    for (size_t b = 0; (b + 1) * kBar <= pcm.size() / 2; ++b) {
        bars.push_back(rmsDb(pcm, b * kBar, kBar));
        if (b + 1 < static_cast<size_t>(musgen::kBars)) {
            EXPECT_NEAR(bars.back(), rms, 8.0) << "bar " << b;
        }
    }
    // The scenes play bars 0 to 12 and the credits start early in bar 13.
    // The chorus before the credits is the loudest stretch; the outro that
    // carries the fade thins out towards the loop.
    ASSERT_EQ(bars.size(), static_cast<size_t>(musgen::kBars));
    auto mean = [&](size_t from, size_t to) {
        double sum = 0.0;
        for (size_t b = from; b <= to; ++b)
            sum += bars[b];
        return sum / static_cast<double>(to - from + 1);
    };
    EXPECT_GT(mean(9, 12), mean(2, 3) + 1.5);
    EXPECT_LT(mean(bars.size() - 3, bars.size() - 1), mean(9, 12) - 3.0);

    // The cadence has died away by the end of the show's fade (46.7 s): 15 dB or more under
    // the phrase that leads into it.
    const double tail = rmsDb(pcm, static_cast<size_t>(46.45 * kRate), kRate / 4);
    EXPECT_LT(tail, bars[15] - 15.0) << "bar 15 " << bars[15] << " dB, at 46.7 s " << tail << " dB";

    // Over the scenes after the intro, as the live show plays them: loud. With
    // the peak held at -1 dBFS or lower, that asks for a crest of 15 dB or less,
    // which this dense a mix reaches only with a full bed in its quieter bars
    // and no drum hit landing on the loudest tones at full strength.
    const double scenes = liveRmsDb(pcm, kScenesFrom, kScenesFrames);
    EXPECT_GE(scenes, -16.2);
    EXPECT_LE(scenes, -13.0);
    // Bright: the presence band (2-6 kHz) within 8 dB of the low mids (150-500 Hz).
    const double lowMids = bandRmsDb(pcm, kScenesFrom, kScenesFrames, 150.0, 500.0);
    const double presence = bandRmsDb(pcm, kScenesFrom, kScenesFrames, 2000.0, 6000.0);
    EXPECT_GT(presence, lowMids - 8.0)
        << "low mids " << lowMids << " dB, presence " << presence << " dB";

    // A full low end: kick and bass below 120 Hz carry at least as much as 120-500 Hz
    // (snare body, pad, arpeggio), and no more than 2 dB above it.
    const double low = bandRmsDb(pcm, kScenesFrom, kScenesFrames, 20.0, 120.0);
    const double lowMidBand = bandRmsDb(pcm, kScenesFrom, kScenesFrames, 120.0, 500.0);
    EXPECT_GE(low, lowMidBand) << "below 120 Hz " << low << " dB, 120-500 Hz " << lowMidBand
                               << " dB";
    EXPECT_LE(low, lowMidBand + 2.0)
        << "below 120 Hz " << low << " dB, 120-500 Hz " << lowMidBand << " dB";
}

// The arc of the scenes: a one-bar drop before the chorus, the chorus's last
// bar the fullest; cymbals that shimmer without hiss; a wide stereo image.
TEST_F(SoundtrackRender, DropFullestBarAirAndWidth)
{
    const std::vector<int16_t>& pcm = *pass_;
    ASSERT_GE(pcm.size() / 2, kScenesFrom + kScenesFrames);
    std::vector<double> bars;
    for (size_t b = 0; b < 14; ++b)
        bars.push_back(rmsDb(pcm, b * kBar, kBar));

    // The arc, as the live show plays it: a sparse groove (bars 2-3), the hook (4-7), and the
    // chorus (9-11) a clear step above both, so the loudness range spans more than the drop.
    const double groove = liveRmsDb(pcm, 2 * kBar, 2 * kBar);
    const double hook = liveRmsDb(pcm, 4 * kBar, 4 * kBar);
    const double chorus = liveRmsDb(pcm, 9 * kBar, 3 * kBar);
    EXPECT_GE(chorus, hook + 2.0) << "hook " << hook << " dB, chorus " << chorus << " dB";
    EXPECT_GE(chorus, groove + 3.5) << "groove " << groove << " dB, chorus " << chorus << " dB";
    // The chorus's step up reaches the low end too: kick and bass (20-120 Hz) over bars 9-12
    // 1.5 dB or more above the hook's.
    const double hookLow = bandRmsDb(pcm, 4 * kBar, 4 * kBar, 20.0, 120.0);
    const double chorusLow = bandRmsDb(pcm, 9 * kBar, 4 * kBar, 20.0, 120.0);
    EXPECT_GE(chorusLow, hookLow + 1.5)
        << "hook " << hookLow << " dB, chorus " << chorusLow << " dB below 120 Hz";
    // The credits' still pause (the main loop's 2099 frames on, 209 frames at 59 a second)
    // is hushed: 6 dB or more under the loudest bar of the scenes.
    const size_t pauseFrom = 2099 * kRate / 59, pauseFrames = 209 * kRate / 59;
    double loudest = -100.0;
    for (size_t b = 0; b < 13; ++b)
        loudest = std::max(loudest, liveRmsDb(pcm, b * kBar, kBar));
    const double pause = liveRmsDb(pcm, pauseFrom, pauseFrames);
    EXPECT_LE(pause, loudest - 6.0) << "pause " << pause << " dB, loudest bar " << loudest << " dB";

    EXPECT_LT(bars[8], bars[7] - 3.0) << "bar 8 drops out of the hook";
    EXPECT_LT(bars[8], bars[9] - 3.0) << "and the chorus comes back in";
    EXPECT_GT(bars[12], bars[8] + 1.5);
    for (size_t b = 2; b < 14; ++b) {
        if (b == 12)
            continue;
        EXPECT_GT(bars[12], bars[b] + 0.25) << "bar 12 is the fullest, bar " << b << " " << bars[b];
    }

    // Air: 12-20 kHz, relative to the whole band, is heard but stays down (hats and
    // crash closed off near 15 kHz, tones band-limited).
    const double air = bandRmsDb(pcm, kScenesFrom, kScenesFrames, 12000.0, 20000.0) -
                       bandRmsDb(pcm, kScenesFrom, kScenesFrames, 20.0, 20000.0);
    EXPECT_LT(air, -24.0);
    EXPECT_GE(air, -27.0);

    // Width: pad, echoes and cymbals spread the image.
    EXPECT_LT(stereoCorrelation(pcm, kScenesFrom, kScenesFrames), 0.8);
    EXPECT_GT(stereoCorrelation(pcm, kScenesFrom, kScenesFrames), 0.4) << "still one mix, not two";
}

// The melody carries the chorus: in 1-5 kHz, where the ear finds it, the lead alone is
// 3 dB or more over everything else together, in the chorus as a whole and 2.5 dB in each bar.
TEST_F(SoundtrackRender, TheMelodyLeadsTheChorus)
{
    TempDir dir;
    auto renderWith = [&](bool leadOnly) {
        musgen::Module m = musgen::soundtrackModule();
        for (size_t ch = 0; ch < m.channelVolume.size(); ++ch) {
            const bool isLead = static_cast<int>(ch) == musgen::kLeadChannels[0] ||
                                static_cast<int>(ch) == musgen::kLeadChannels[1];
            if (isLead != leadOnly)
                m.channelVolume[ch] = 0;
        }
        const std::vector<uint8_t> bytes = musgen::writeIt(m);
        const std::string path = dir.path + "/80S5.IT";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return render(-1.0, path);
    };
    const std::vector<int16_t> lead = renderWith(true), rest = renderWith(false);
    ASSERT_GE(lead.size() / 2, 13 * kBar);
    ASSERT_GE(rest.size() / 2, 13 * kBar);
    const double whole = bandRmsDb(lead, 9 * kBar, 4 * kBar, 1000.0, 5000.0) -
                         bandRmsDb(rest, 9 * kBar, 4 * kBar, 1000.0, 5000.0);
    EXPECT_GE(whole, 3.0);
    for (size_t b = 9; b <= 12; ++b) {
        const double over = bandRmsDb(lead, b * kBar, kBar, 1000.0, 5000.0) -
                            bandRmsDb(rest, b * kBar, kBar, 1000.0, 5000.0);
        EXPECT_GE(over, 2.5) << "bar " << b;
    }
}

TEST(SoundtrackDumbLoop, ContinuesFromTheStartWithoutGap)
{
    loopsSeen = 0;
    const std::vector<int16_t> pcm =
        render(musgen::kBars * musgen::kRowsPerBar * kRowSeconds + 6.0);
    EXPECT_EQ(loopsSeen, 1);
    const size_t loopFrame =
        static_cast<size_t>(musgen::kBars * musgen::kRowsPerBar * kRowSeconds * kRate);
    ASSERT_GE(pcm.size() / 2, loopFrame + 5 * kRate);
    // The second pass opens like the first: same tempo, same level.
    EXPECT_NEAR(rmsDb(pcm, loopFrame + kRate, 4 * kRate), rmsDb(pcm, kRate, 4 * kRate), 1.0);
    // No gap around the seam.
    for (size_t f = loopFrame - kRate / 4; f < loopFrame + kRate / 2; f += kRate / 100)
        EXPECT_GT(rmsDb(pcm, f, kRate / 100), -50.0) << "frame " << f;
}

// A second, independent player reads the same file: same length, same channels, no complaints.
TEST(SoundtrackIndependentReader, OpenmptAgreesWithDumb)
{
    if (std::system("command -v openmpt123 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "openmpt123 is not installed";
    const std::string cmd = "openmpt123 --info '" + kCommitted + "' 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[512];
    while (fgets(buf, sizeof buf, p))
        out += buf;
    pclose(p);

    std::string lower = out;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    EXPECT_EQ(lower.find("warn"), std::string::npos) << out;
    EXPECT_EQ(lower.find("error"), std::string::npos) << out;

    int minutes = 0, channels = 0;
    double secs = 0;
    const size_t d = out.find("Duration...: ");
    const size_t c = out.find("Channels...: ");
    ASSERT_NE(d, std::string::npos) << out;
    ASSERT_NE(c, std::string::npos) << out;
    ASSERT_EQ(std::sscanf(out.c_str() + d, "Duration...: %d:%lf", &minutes, &secs), 2);
    ASSERT_EQ(std::sscanf(out.c_str() + c, "Channels...: %d", &channels), 1);
    // DUMB counts a tick in fractional samples, openmpt in whole ones: within 0.15 s.
    EXPECT_NEAR(minutes * 60 + secs, musgen::kBars * musgen::kRowsPerBar * kRowSeconds, 0.15);

    // The module the generator writes has one pan entry per channel it uses.
    const int written = static_cast<int>(musgen::soundtrackModule().channelPan.size());
    EXPECT_GE(written, 5);
    EXPECT_EQ(channels, written);
}
