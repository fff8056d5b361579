#include "soundtrack.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <utility>

#include "arrangement.h"
#include "synth.h"

namespace musgen {

namespace {

constexpr double kDrumRate = 44100.0;

enum SampleId { kKick = 1, kSnare, kClosedHat, kOpenHat, kCrash, kBass, kPad, kLead, kArp };

// Channel map.
constexpr int kChKick = 0, kChSnare = 1, kChHat = 2, kChCrash = 3;
constexpr int kChBass[] = {4, 5};
constexpr int kChPad = 6;  // three voices, two channels each: 6..11
constexpr int kChLead[] = {12, 13};
constexpr int kChEcho[] = {14, 15};
constexpr int kChArp[] = {16, 17};
constexpr int kChHarmony[] = {18, 19};
constexpr int kChannels = 20;

struct Chord {
    std::array<int, 3> pad;   // voicing around middle C
    int bass;                 // root in the second octave
    std::array<int, 4> arp;   // broken-chord tones, low to high, an octave under the melody
};

const Chord kAm{{57, 60, 64}, 45, {57, 60, 64, 69}};
const Chord kF{{57, 60, 65}, 41, {53, 57, 60, 65}};
const Chord kC{{55, 60, 64}, 48, {55, 60, 64, 67}};
const Chord kG{{55, 59, 62}, 43, {55, 59, 62, 67}};
const Chord kEm{{55, 59, 64}, 40, {52, 55, 59, 64}};
const Chord kDm{{57, 62, 65}, 38, {50, 53, 57, 62}};
const Chord kE{{56, 59, 64}, 40, {52, 56, 59, 64}};

// The song, bar by bar. The show starts it with its first scene; a scene is
// one bar, the second cycle of scenes starts at row 8 of bar 5, the third at
// row 12 of bar 9 and the credits at row 4 of bar 13. Their fade then runs
// through the outro.
enum class Part {
    Intro,     // bar 0: pad, arpeggio, bass and a soft four-to-the-floor; bar 1 adds hats and a fill
    Groove,    // bars 2-3: the full beat, no melody yet
    Hook,      // bars 4-7: the sung line; at row 8 of bar 5 the crash, open hats and a harmony come in
    Build,     // bar 8: climbing line over Dm-E, snare roll
    Chorus,    // bars 9-12: the hook high up with harmony, busy bass, crashes
    Peak,      // bar 13: the top note lands with the credits
    Outro,     // bars 14-22: long notes, the band leaves one part at a time
};

struct Bar {
    Part part;
    int index;  // bar number inside its part
    const Chord* first;   // rows 0..15
    const Chord* second;  // rows 16..31
};

std::vector<Bar> songBars() {
    std::vector<Bar> bars;
    auto add = [&](Part part, std::initializer_list<std::pair<const Chord*, const Chord*>> chords) {
        int i = 0;
        for (const auto& c : chords) bars.push_back({part, i++, c.first, c.second});
    };
    add(Part::Intro, {{&kAm, &kF}, {&kC, &kG}});
    add(Part::Groove, {{&kAm, &kF}, {&kC, &kG}});
    add(Part::Hook, {{&kAm, &kF}, {&kC, &kG}, {&kAm, &kF}, {&kC, &kG}});
    add(Part::Build, {{&kDm, &kE}});
    add(Part::Chorus, {{&kF, &kG}, {&kEm, &kAm}, {&kF, &kG}, {&kC, &kG}});
    add(Part::Peak, {{&kAm, &kAm}});
    add(Part::Outro, {{&kAm, &kF}, {&kC, &kG}, {&kAm, &kF}, {&kC, &kG}, {&kAm, &kF}, {&kC, &kG},
                      {&kAm, &kF}, {&kC, &kG}, {&kF, &kG}});
    return bars;
}

struct MelodyNote {
    int note;  // 0 = rest
    int rows;
};
using Phrase = std::vector<MelodyNote>;

// The hook: a dotted figure stepping down and back up to a held note.
const Phrase kHookLine = {
    {76, 6}, {74, 2}, {72, 4}, {74, 4}, {76, 12}, {0, 4},                       // bar 4
    {72, 2}, {74, 2}, {76, 2}, {77, 2}, {79, 12}, {77, 2}, {76, 2}, {74, 8},    // bar 5: run up into the lift
    {76, 6}, {74, 2}, {72, 4}, {74, 4}, {76, 12}, {0, 4},                       // bar 6
    {77, 6}, {76, 2}, {74, 4}, {72, 4}, {71, 12}, {0, 4},                       // bar 7
    {74, 6}, {76, 2}, {77, 8}, {76, 12}, {0, 2}, {80, 2},                       // bar 8
};
constexpr int kLiftRow = 5 * kRowsPerBar + 8;

const Phrase kChorusLine = {
    {81, 6}, {79, 2}, {77, 4}, {76, 4}, {74, 12}, {0, 4},                      // bar 9
    {79, 6}, {77, 2}, {76, 4}, {74, 4}, {76, 12}, {0, 4},                      // bar 10
    {81, 6}, {79, 2}, {77, 4}, {79, 4}, {83, 12}, {0, 4},                      // bar 11
    {84, 6}, {83, 2}, {81, 4}, {79, 4}, {77, 4}, {79, 4}, {83, 12},            // bar 12, into 13
    {84, 24}, {0, 4},                                                          // bar 13: the peak
};

const Phrase kOutroLine = {
    {76, 6}, {74, 2}, {72, 4}, {74, 4}, {76, 12}, {0, 4},                       // bar 14
    {77, 6}, {76, 2}, {74, 4}, {72, 4}, {74, 16},                               // bar 15
    {76, 16}, {77, 16},                                                         // bar 16
    {76, 16}, {74, 16},                                                         // bar 17
    {72, 32},                                                                   // bar 18
    {0, 8}, {76, 6}, {74, 2}, {72, 8}, {71, 8},                                 // bar 19
};

// A diatonic third under a melody note in A minor (a major third under notes outside the scale).
int thirdBelow(int note) {
    static const int scale[7] = {0, 2, 3, 5, 7, 8, 10};  // A B C D E F G
    const int pc = ((note - 9) % 12 + 12) % 12;
    for (int i = 0; i < 7; ++i)
        if (scale[i] == pc) {
            const int j = i - 2;
            const int below = j < 0 ? scale[j + 7] - 12 : scale[j];
            return note - pc + below;
        }
    return note - 4;
}

struct Band {
    Arrangement arr{kChannels, kBars, kRowsPerBar};
    Voice bass{arr, {kChBass[0], kChBass[1]}, kBass, 2};
    std::array<Voice, 3> pad{{Voice{arr, {kChPad + 0, kChPad + 3}, kPad, 3},
                              Voice{arr, {kChPad + 1, kChPad + 4}, kPad, 3},
                              Voice{arr, {kChPad + 2, kChPad + 5}, kPad, 3}}};
    Voice lead{arr, {kChLead[0], kChLead[1]}, kLead, 2};
    Voice echo{arr, {kChEcho[0], kChEcho[1]}, kLead, 2};
    Voice harmony{arr, {kChHarmony[0], kChHarmony[1]}, kLead, 2};
    Voice arp{arr, {kChArp[0], kChArp[1]}, kArp, 1};

    void kick(int row, int vol) { arr.note(row, kChKick, 60, kKick, vol * 13 / 16); }
    void snare(int row, int vol) { arr.note(row, kChSnare, 60, kSnare, vol); }
    void hat(int row, int vol) { arr.note(row, kChHat, 60, kClosedHat, vol); }
    void openHat(int row, int vol) { arr.note(row, kChHat, 60, kOpenHat, vol); }
    void crash(int row, int vol) { arr.note(row, kChCrash, 60, kCrash, vol); }

    // A melody on the lead with its echo (a dotted eighth later, quieter,
    // bouncing between the sides) and, from row `harmonyFrom` on, a third
    // under it. Long notes that follow a step or third away glide in; all
    // long notes get a delayed vibrato.
    void line(int start, const Phrase& p, int vol, int harmonyFrom, int harmonyUntil) {
        int row = start;
        int prevNote = 0, prevEnd = -1;
        bool harmonyLegato = false;
        for (const MelodyNote& n : p) {
            if (n.note > 0) {
                Expression ex;
                const bool legato = prevNote > 0 && prevEnd == row;
                if (n.rows >= 8 && legato && std::abs(n.note - prevNote) <= 4)
                    ex.slideRows = std::abs(n.note - prevNote) <= 2 ? 1 : 2;
                if (n.rows >= 8) ex.vibratoFrom = ex.slideRows + 3;
                lead.play(row, n.note, n.rows, vol, ex);
                echo.play(row + 6, n.note, n.rows, vol * 9 / 20, ex);
                if (row >= harmonyFrom && row < harmonyUntil) {
                    Expression hx = ex;
                    if (!harmonyLegato) hx.slideRows = 0;
                    if (hx.vibratoFrom >= 0) hx.vibratoFrom = hx.slideRows + 3;
                    harmony.play(row, thirdBelow(n.note), n.rows, vol * 11 / 20, hx);
                    harmonyLegato = true;
                } else {
                    harmonyLegato = false;
                }
                prevNote = n.note;
                prevEnd = row + n.rows;
            } else {
                prevNote = 0;
                harmonyLegato = false;
            }
            row += n.rows;
        }
    }

    // Sixteenth-note arpeggio over one half bar.
    void arpeggio(int start, const Chord& c, int vol) {
        static const int order[8] = {0, 1, 2, 3, 2, 1, 2, 3};
        for (int s = 0; s < 8; ++s)
            arp.play(start + 2 * s, c.arp[static_cast<size_t>(order[s])], fit(start + 2 * s, 2, 1), vol);
    }

    // The gate shortened so the note's fade ends with the song.
    int fit(int row, int gate, int releaseRows) const { return std::min(gate, arr.totalRows() - releaseRows - row); }

    void padChord(int start, const Chord& c, int gate, int vol) {
        for (size_t v = 0; v < 3; ++v) pad[v].play(start, c.pad[v], gate, vol);
    }

    // Bass over one half bar: 1 (half note), 2 (quarters), 4 (eighths) or 8 (sixteenths) notes.
    void bassLine(int start, const Chord& c, int vol, int count) {
        static const int octave8[8] = {0, 0, 12, 0, 0, 12, 0, 12};
        static const int octave4[4] = {0, 0, 12, 0};
        const int step = 16 / count;
        for (int i = 0; i < count; ++i) {
            const int up = count == 8 ? octave8[i] : count == 4 ? octave4[i] : 0;
            bass.play(start + step * i, c.bass + up, fit(start + step * i, std::max(2, step - 1), 2), vol);
        }
    }

    void hats16(int start, int loud, int soft) {
        for (int r = 0; r < 32; r += 2) hat(start + r, (r % 4) ? soft : loud);
    }

    void drumsGroove(int start) {
        kick(start + 0, 60);
        kick(start + 16, 60);
        kick(start + 22, 44);
        snare(start + 8, 50);
        snare(start + 24, 50);
        hats16(start, 62, 42);
    }

    void drumsChorus(int start) {
        kick(start + 0, 62);
        kick(start + 10, 50);
        kick(start + 16, 62);
        kick(start + 26, 50);
        snare(start + 8, 54);
        snare(start + 24, 54);
        snare(start + 30, 26);
        for (int r = 0; r < 32; r += 2) {
            if (r % 8 == 4) openHat(start + r, 50);
            else hat(start + r, (r % 4) ? 44 : 62);
        }
    }

    void snareRoll(int start, int from, int to, int baseVol, int stepVol) {
        for (int r = from, i = 0; r < to; r += 2, ++i) snare(start + r, baseVol + stepVol * i);
    }
};

void compose(Band& b) {
    const std::vector<Bar> bars = songBars();
    if (static_cast<int>(bars.size()) != kBars) throw std::logic_error("compose: bar count");

    // Order 0, row 0: the song state is not reset when the player loops, so
    // tempo, speed and global volume are set again on every pass.
    b.arr.effect(0, kChKick, kFxSetTempo, 118);
    b.arr.effect(0, kChSnare, kFxSetSpeed, 4);
    b.arr.effect(0, kChHat, kFxGlobalVolume, 128);

    for (int i = 0; i < kBars; ++i) {
        const Bar& bar = bars[static_cast<size_t>(i)];
        const int row = i * kRowsPerBar;
        const Chord* halves[2] = {bar.first, bar.second};
        switch (bar.part) {
            case Part::Intro:
                for (int h = 0; h < 2; ++h) {
                    b.padChord(row + 16 * h, *halves[h], 16, 20);
                    b.arpeggio(row + 16 * h, *halves[h], 18 + 4 * bar.index);
                    b.bassLine(row + 16 * h, *halves[h], 40, bar.index == 0 ? 1 : 4);
                }
                for (int r = 0; r < 32; r += 8) b.kick(row + r, bar.index == 0 ? 46 : 56);
                if (bar.index == 1) {
                    for (int r = 0; r < 24; r += 4) b.hat(row + r, (r % 8) ? 34 : 24);
                    b.snareRoll(row, 24, 32, 34, 6);
                }
                break;
            case Part::Groove:
            case Part::Hook:
                for (int h = 0; h < 2; ++h) {
                    b.padChord(row + 16 * h, *halves[h], 16, 12);
                    b.arpeggio(row + 16 * h, *halves[h], 22);
                    b.bassLine(row + 16 * h, *halves[h], 40, 4);
                }
                if (i == 2) b.crash(row, 40);
                if (row == kLiftRow - 8) {
                    // The lift: the beat drops out under a snare run and comes back on the beat.
                    b.snareRoll(row, 0, 8, 30, 6);
                    b.crash(kLiftRow, 40);
                    b.kick(kLiftRow, 54);
                    b.kick(row + 16, 60);
                    b.snare(row + 24, 52);
                    for (int r = 8; r < 32; r += 2) {
                        if (r % 8 == 4) b.openHat(row + r, 50);
                        else b.hat(row + r, (r % 4) ? 44 : 62);
                    }
                } else if (bar.part == Part::Hook && bar.index >= 2) {
                    b.drumsChorus(row);
                } else {
                    b.drumsGroove(row);
                }
                break;
            case Part::Build:
                for (int h = 0; h < 2; ++h) {
                    b.padChord(row + 16 * h, *halves[h], 16, 14);
                    b.arpeggio(row + 16 * h, *halves[h], 20);
                    b.bassLine(row + 16 * h, *halves[h], 40, 8);
                }
                b.kick(row, 62);
                b.kick(row + 8, 56);
                b.kick(row + 16, 60);
                b.snare(row + 8, 50);
                for (int r = 0; r < 16; r += 2) b.hat(row + r, (r % 4) ? 44 : 62);
                b.snareRoll(row, 16, 32, 30, 3);
                break;
            case Part::Chorus:
            case Part::Peak:
                for (int h = 0; h < 2; ++h) {
                    b.padChord(row + 16 * h, *halves[h], 16, 14);
                    b.arpeggio(row + 16 * h, *halves[h], 20);
                    b.bassLine(row + 16 * h, *halves[h], 40, 8);
                }
                if (bar.part == Part::Peak) {
                    b.kick(row, 62);
                    b.snare(row, 54);
                    b.crash(row + 4, 60);
                    b.kick(row + 16, 62);
                    b.snare(row + 24, 54);
                    for (int r = 4; r < 32; r += 2) {
                        if (r % 8 == 4) b.openHat(row + r, 50);
                        else b.hat(row + r, (r % 4) ? 44 : 62);
                    }
                    break;
                }
                if (bar.index == 0 || bar.index == 2) b.crash(row, 50);
                if (bar.index == 3) {
                    b.kick(row, 62);
                    b.kick(row + 10, 50);
                    b.snare(row + 8, 54);
                    for (int r = 0; r < 16; r += 2) b.hat(row + r, (r % 4) ? 44 : 62);
                    b.snareRoll(row, 16, 32, 34, 3);
                } else {
                    b.drumsChorus(row);
                }
                break;
            case Part::Outro: {
                const int k = bar.index;  // 0..8: the band thins out from bar 17 on
                for (int h = 0; h < 2; ++h) {
                    b.padChord(row + 16 * h, *halves[h], b.fit(row + 16 * h, 16, 3), 14);
                    b.arpeggio(row + 16 * h, *halves[h], 20);
                    b.bassLine(row + 16 * h, *halves[h], 40, k < 3 ? 4 : k < 6 ? 2 : 1);
                }
                if (k < 3) {
                    b.drumsGroove(row);
                } else if (k < 5) {
                    b.kick(row, 58);
                    b.kick(row + 16, 58);
                    if (k == 3) b.snare(row + 24, 46);
                    for (int r = 0; r < 32; r += 4) b.hat(row + r, (r % 8) ? 34 : 24);
                } else if (k < 7) {
                    b.kick(row, 52);
                    for (int r = 0; r < 32; r += 4) b.hat(row + r, (r % 8) ? 28 : 20);
                } else if (k == 8) {
                    // A soft pickup whose room rings across the loop into the intro.
                    b.snare(row + 28, 22);
                    b.snare(row + 30, 30);
                }
                break;
            }
        }
    }
    b.line(4 * kRowsPerBar, kHookLine, 52, kLiftRow, 9 * kRowsPerBar);
    b.line(9 * kRowsPerBar, kChorusLine, 54, 0, 14 * kRowsPerBar);
    b.line(14 * kRowsPerBar, kOutroLine, 46, 0, 0);
    for (Voice* v : {&b.bass, &b.lead, &b.echo, &b.harmony, &b.arp}) v->finish();
    for (Voice& v : b.pad) v.finish();
}

std::vector<ModuleSample> makeSamples() {
    std::vector<ModuleSample> s;
    s.push_back({"Kick", oneShot(kickDrum(kDrumRate, 0x1234567u), kDrumRate, 0.95)});
    s.push_back({"Snare", oneShot(withRoom(snareDrum(kDrumRate, 0x2468ACEu), kDrumRate, 0.9, 0.6), kDrumRate, 0.9)});
    s.push_back({"Closed hat", oneShot(hiHat(kDrumRate, 0.02, 0.07, 0x13579BDu), kDrumRate, 0.9)});
    s.push_back({"Open hat", oneShot(hiHat(kDrumRate, 0.12, 0.32, 0x0F1E2D3u), kDrumRate, 0.9)});
    s.push_back({"Crash", oneShot(crashCymbal(kDrumRate, 2.2, 0x5A5A5A5u), kDrumRate, 0.9)});

    TonePatch bass;
    bass.cycleSamples = 512;
    bass.loopCycles = 4;
    bass.refHz = 80.0;
    bass.maxNoteHz = 230.0;
    bass.oscillators = {{Wave::Saw, 0, 1.0}, {Wave::Square, -2, 0.6}};  // saw plus square an octave down
    bass.cutoffStart = 2500.0;
    bass.cutoffEnd = 450.0;
    bass.resonance = 1.3;
    bass.sweepSeconds = 0.18;
    bass.attackSeconds = 0.002;
    bass.decaySeconds = 0.25;
    bass.sustain = 0.55;
    s.push_back({"Bass", renderTone(bass)});

    TonePatch pad;
    pad.cycleSamples = 128;
    pad.loopCycles = 200;
    pad.refHz = 300.0;
    pad.maxNoteHz = 400.0;
    pad.oscillators = {{Wave::Saw, -1, 0.8}, {Wave::Saw, 0, 1.0}, {Wave::Saw, 1, 0.8}};
    pad.cutoffStart = 1200.0;
    pad.cutoffEnd = 3200.0;
    pad.resonance = 0.9;
    pad.sweepSeconds = 0.6;
    pad.attackSeconds = 0.25;
    pad.decaySeconds = 0.3;
    pad.sustain = 0.85;
    s.push_back({"Pad", renderTone(pad)});

    TonePatch lead;
    lead.cycleSamples = 64;
    lead.loopCycles = 150;
    lead.refHz = 600.0;
    lead.maxNoteHz = 1100.0;
    lead.oscillators = {{Wave::Saw, 0, 1.0}, {Wave::Saw, 1, 0.8}, {Wave::Pulse25, -1, 0.5}};
    lead.cutoffStart = 9000.0;
    lead.cutoffEnd = 6000.0;
    lead.resonance = 1.0;
    lead.sweepSeconds = 0.15;
    lead.attackSeconds = 0.004;
    lead.decaySeconds = 0.2;
    lead.sustain = 0.8;
    s.push_back({"Lead", renderTone(lead)});

    TonePatch arp;
    arp.cycleSamples = 64;
    arp.loopCycles = 100;
    arp.refHz = 600.0;
    arp.maxNoteHz = 450.0;
    arp.oscillators = {{Wave::Square, 0, 1.0}, {Wave::Saw, 1, 0.5}};
    arp.cutoffStart = 16000.0;
    arp.cutoffEnd = 12000.0;
    arp.resonance = 1.5;
    arp.sweepSeconds = 0.12;
    arp.attackSeconds = 0.002;
    arp.decaySeconds = 0.15;
    arp.sustain = 0.3;
    s.push_back({"Arp", renderTone(arp)});
    return s;
}

}  // namespace

Module soundtrackModule() {
    Module m;
    m.name = "80S5";
    m.initialSpeed = 4;
    m.initialTempo = 118;
    m.globalVolume = 128;
    m.mixVolume = 42;
    m.channelPan = {32, 34, 42, 24, 32, 32, 16, 48, 32, 16, 48, 32, 30, 30, 52, 12, 42, 22, 20, 20};
    m.channelVolume.assign(kChannels, 64);
    m.samples = makeSamples();
    Band band;
    compose(band);
    band.arr.cutInto(m);
    return m;
}

std::vector<uint8_t> soundtrackBytes() {
    return writeIt(soundtrackModule());
}

void writeSoundtrack(const std::string& dir) {
    const std::vector<uint8_t> bytes = soundtrackBytes();
    const std::string path = dir + "/80S5.IT";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace musgen
