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

enum SampleId { kKick = 1, kSnare, kClosedHat, kOpenHat, kCrash, kBass, kPadLeft, kPadRight, kLead, kArp };

// Channel map. The pad plays every chord tone twice, on a left and on a right
// channel with differently detuned samples, so it fills the stereo field.
constexpr int kChKick = 0, kChSnare = 1, kChHat = 2, kChCrash = 3;
constexpr int kChBass[] = {4, 5};
constexpr int kChPadLeft = 6;   // three voices, two channels each: 6..11
constexpr int kChPadRight = 12; // 12..17
// The lead is on kLeadChannels, 18 and 19.
constexpr int kChEchoLeft[] = {20, 21};
constexpr int kChEchoRight[] = {22, 23};
constexpr int kChArp[] = {24, 25};
constexpr int kChHarmony[] = {26, 27};
constexpr int kChannels = 28;

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
    Intro,     // bars 0-1: pad, arpeggio, bass and a soft four-to-the-floor; bar 1 adds hats and a fill
    Groove,    // bars 2-3: the full beat, no melody yet
    Hook,      // bars 4-7: the sung line; at row 8 of bar 5 the crash, open hats and a harmony come in
    Drop,      // bar 8: the beat stops, the pad carries a bar alone until a snare run and a pickup
    Chorus,    // bars 9-12: its own motif high up, harmony, busy bass; bar 12 the fullest
    Peak,      // bar 13: the top note lands with the credits
    Outro,     // bars 14-22: the hook once more, then the band leaves one part at a time
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
    add(Part::Groove, {{&kAm, &kEm}, {&kF, &kG}});
    add(Part::Hook, {{&kAm, &kF}, {&kC, &kG}, {&kDm, &kAm}, {&kF, &kG}});
    add(Part::Drop, {{&kDm, &kE}});
    add(Part::Chorus, {{&kF, &kG}, {&kEm, &kAm}, {&kDm, &kG}, {&kF, &kE}});
    add(Part::Peak, {{&kAm, &kAm}});
    add(Part::Outro, {{&kAm, &kF}, {&kC, &kG}, {&kAm, &kEm}, {&kF, &kG}, {&kAm, &kF}, {&kC, &kG},
                      {&kAm, &kF}, {&kC, &kG}, {&kF, &kG}});
    return bars;
}

struct MelodyNote {
    int note;  // 0 = rest
    int rows;
};
using Phrase = std::vector<MelodyNote>;

// The hook: a rising broken chord that falls back, answered by a syncopated
// climb; every bar has its own rhythm.
const Phrase kHookLine = {
    {69, 4}, {72, 6}, {76, 6}, {74, 4}, {72, 8}, {0, 4},                        // bar 4
    {0, 2}, {74, 2}, {76, 4}, {79, 6}, {81, 2}, {79, 8}, {74, 8},               // bar 5: into the lift
    {74, 4}, {77, 6}, {81, 6}, {79, 2}, {77, 2}, {76, 8}, {0, 4},               // bar 6
    {72, 6}, {74, 2}, {77, 8}, {0, 2}, {74, 2}, {76, 2}, {79, 2}, {83, 8},      // bar 7
    {0, 24}, {76, 2}, {80, 2}, {83, 4},                                         // bar 8: pickup out of the drop
};
constexpr int kLiftRow = 5 * kRowsPerBar + 8;

// The chorus: a leaping figure a sixth higher, sequenced down and back up;
// its top note is saved for the credits.
const Phrase kChorusLine = {
    {84, 4}, {81, 2}, {84, 6}, {86, 4}, {83, 6}, {79, 2}, {86, 8},              // bar 9
    {83, 4}, {79, 2}, {83, 6}, {84, 4}, {81, 12}, {0, 4},                       // bar 10
    {81, 4}, {77, 2}, {81, 6}, {84, 4}, {79, 4}, {83, 4}, {86, 8},              // bar 11
    {81, 4}, {84, 4}, {86, 6}, {84, 2}, {83, 6}, {80, 2}, {83, 4}, {86, 8},     // bar 12, into 13
    {88, 24}, {0, 4},                                                           // bar 13: the peak
};

const Phrase kOutroLine = {
    {69, 4}, {72, 6}, {76, 6}, {74, 4}, {72, 8}, {0, 4},                        // bar 14
    {0, 2}, {74, 2}, {76, 4}, {79, 6}, {81, 2}, {79, 8}, {74, 8},               // bar 15
    {76, 16}, {71, 16},                                                         // bar 16
    {72, 16}, {74, 16},                                                         // bar 17
    {76, 16}, {72, 16},                                                         // bar 18
    {0, 8}, {76, 6}, {74, 2}, {72, 8}, {71, 8},                                 // bar 19
};

// The highest tone of the chord at least a minor third under a melody note.
int chordToneBelow(int note, const Chord& c) {
    for (int n = note - 3; n > note - 12; --n)
        for (int p : c.pad)
            if ((n - p) % 12 == 0) return n;
    return note - 12;
}

struct Band {
    const std::vector<Bar> bars = songBars();
    Arrangement arr{kChannels, kBars, kRowsPerBar};
    Voice bass{arr, {kChBass[0], kChBass[1]}, kBass, 2};
    std::array<Voice, 3> padLeft{{Voice{arr, {kChPadLeft + 0, kChPadLeft + 3}, kPadLeft, 3, Handover::Crossfade},
                                  Voice{arr, {kChPadLeft + 1, kChPadLeft + 4}, kPadLeft, 3, Handover::Crossfade},
                                  Voice{arr, {kChPadLeft + 2, kChPadLeft + 5}, kPadLeft, 3, Handover::Crossfade}}};
    std::array<Voice, 3> padRight{{Voice{arr, {kChPadRight + 0, kChPadRight + 3}, kPadRight, 3, Handover::Crossfade},
                                   Voice{arr, {kChPadRight + 1, kChPadRight + 4}, kPadRight, 3, Handover::Crossfade},
                                   Voice{arr, {kChPadRight + 2, kChPadRight + 5}, kPadRight, 3, Handover::Crossfade}}};
    Voice lead{arr, {kLeadChannels[0], kLeadChannels[1]}, kLead, 2};
    Voice echoLeft{arr, {kChEchoLeft[0], kChEchoLeft[1]}, kLead, 2};
    Voice echoRight{arr, {kChEchoRight[0], kChEchoRight[1]}, kLead, 2};
    Voice harmony{arr, {kChHarmony[0], kChHarmony[1]}, kLead, 2};
    Voice arp{arr, {kChArp[0], kChArp[1]}, kArp, 1};

    const Chord& chordAt(int row) const {
        const Bar& b = bars[static_cast<size_t>(row / kRowsPerBar)];
        return row % kRowsPerBar < 16 ? *b.first : *b.second;
    }

    void kick(int row, int vol) { arr.note(row, kChKick, 60, kKick, vol * 13 / 16); }
    void snare(int row, int vol) { arr.note(row, kChSnare, 60, kSnare, std::min(64, vol * 9 / 8)); }
    void hat(int row, int vol) { arr.note(row, kChHat, 60, kClosedHat, vol); }
    void openHat(int row, int vol) { arr.note(row, kChHat, 60, kOpenHat, vol); }
    void crash(int row, int vol) { arr.note(row, kChCrash, 60, kCrash, vol); }

    // A melody on the lead with its echo (a dotted eighth later on the left,
    // a dotted quarter later on the right, each quieter) and, from row
    // `harmonyFrom` on, the chord tone under it. Long notes that follow a step
    // or third away glide in; all long notes get a delayed vibrato.
    void line(int start, const Phrase& p, int vol, int harmonyFrom, int harmonyUntil) {
        int row = start;
        int prevNote = 0, prevEnd = -1, prevHarmony = 0;
        for (const MelodyNote& n : p) {
            if (n.note > 0) {
                Expression ex;
                const bool legato = prevNote > 0 && prevEnd == row;
                if (n.rows >= 8 && legato && std::abs(n.note - prevNote) <= 4)
                    ex.slideRows = std::abs(n.note - prevNote) <= 2 ? 1 : 2;
                if (n.rows >= 8) ex.vibratoFrom = ex.slideRows + 3;
                lead.play(row, n.note, n.rows, vol, ex);
                echoLeft.play(row + 6, n.note, n.rows, vol * 9 / 20, ex);
                echoRight.play(row + 12, n.note, n.rows, vol * 6 / 20, ex);
                if (row >= harmonyFrom && row < harmonyUntil) {
                    const int h = chordToneBelow(n.note, chordAt(row));
                    Expression hx = ex;
                    if (!legato || prevHarmony == 0 || std::abs(h - prevHarmony) > 4) hx.slideRows = 0;
                    if (hx.vibratoFrom >= 0) hx.vibratoFrom = hx.slideRows + 3;
                    harmony.play(row, h, n.rows, vol * 11 / 20, hx);
                    prevHarmony = h;
                } else {
                    prevHarmony = 0;
                }
                prevNote = n.note;
                prevEnd = row + n.rows;
            } else {
                prevNote = 0;
                prevHarmony = 0;
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
        for (size_t v = 0; v < 3; ++v) {
            padLeft[v].play(start, c.pad[v], gate, vol);
            padRight[v].play(start, c.pad[v], gate, vol);
        }
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

    // Pad, arpeggio and bass over both halves of a bar.
    void harmonyBed(int row, const Bar& bar, int padVol, int arpVol, int bassVol, int bassCount) {
        const Chord* halves[2] = {bar.first, bar.second};
        for (int h = 0; h < 2; ++h) {
            padChord(row + 16 * h, *halves[h], fit(row + 16 * h, 16, 3), padVol);
            if (arpVol > 0) arpeggio(row + 16 * h, *halves[h], arpVol);
            bassLine(row + 16 * h, *halves[h], bassVol, bassCount);
        }
    }

    void hats16(int start, int from, int loud, int soft) {
        for (int r = from; r < 32; r += 2) hat(start + r, (r % 4) ? soft : loud);
    }

    // Sixteenths with an open hat on every offbeat eighth.
    void hatsOpen(int start, int from) {
        for (int r = from; r < 32; r += 2) {
            if (r % 8 == 4) openHat(start + r, 44);
            else hat(start + r, (r % 4) ? 40 : 56);
        }
    }

    void drumsGroove(int start) {
        kick(start + 0, 60);
        kick(start + 16, 60);
        kick(start + 22, 44);
        snare(start + 8, 50);
        snare(start + 24, 50);
        hats16(start, 0, 56, 38);
    }

    void drumsChorus(int start) {
        kick(start + 0, 62);
        kick(start + 10, 32);  // a ghost note
        kick(start + 16, 62);
        kick(start + 26, 50);
        snare(start + 8, 54);
        snare(start + 24, 54);
        snare(start + 30, 26);
        hatsOpen(start, 0);
    }

    void snareRoll(int start, int from, int to, int baseVol, int stepVol) {
        for (int r = from, i = 0; r < to; r += 2, ++i) snare(start + r, baseVol + stepVol * i);
    }
};

void compose(Band& b) {
    if (static_cast<int>(b.bars.size()) != kBars) throw std::logic_error("compose: bar count");

    // Order 0, row 0: the song state is not reset when the player loops, so
    // tempo, speed and global volume are set again on every pass.
    b.arr.effect(0, kChKick, kFxSetTempo, 118);
    b.arr.effect(0, kChSnare, kFxSetSpeed, 4);
    b.arr.effect(0, kChHat, kFxGlobalVolume, 128);

    for (int i = 0; i < kBars; ++i) {
        const Bar& bar = b.bars[static_cast<size_t>(i)];
        const int row = i * kRowsPerBar;
        switch (bar.part) {
            case Part::Intro:
                b.harmonyBed(row, bar, 12, 18 + 4 * bar.index, 40, bar.index == 0 ? 1 : 4);
                for (int r = 0; r < 32; r += 8) b.kick(row + r, bar.index == 0 ? 46 : 56);
                if (bar.index == 1) {
                    for (int r = 0; r < 24; r += 4) b.hat(row + r, (r % 8) ? 30 : 22);
                    b.snareRoll(row, 24, 32, 34, 6);
                }
                break;
            case Part::Groove:
            case Part::Hook: {
                // The pad fills the groove, which has no melody yet, and steps back as the hook grows.
                const int pad = bar.part == Part::Groove ? 18 : bar.index < 2 ? 15 : 13;
                b.harmonyBed(row, bar, pad, 22, 40, 4);
                if (i == 2) b.crash(row, 40);
                if (row == kLiftRow - 8) {
                    // The lift: the beat drops out under a snare run and comes back on the beat.
                    b.snareRoll(row, 0, 8, 30, 6);
                    b.crash(kLiftRow, 40);
                    b.kick(kLiftRow, 54);
                    b.kick(row + 16, 60);
                    b.snare(row + 24, 52);
                    b.hatsOpen(row, 8);
                } else if (bar.part == Part::Hook && bar.index >= 2) {
                    b.drumsChorus(row);
                } else {
                    b.drumsGroove(row);
                }
                break;
            }
            case Part::Drop:
                // No beat: the pad alone with a soft pulse of bass, then a snare run into the chorus.
                b.harmonyBed(row, bar, 16, 0, 30, 1);
                b.snareRoll(row, 16, 32, 16, 3);
                break;
            case Part::Chorus:
                if (bar.index < 3) {
                    b.harmonyBed(row, bar, 11, 20, 40, 8);
                    if (bar.index == 0) b.crash(row, 50);
                    b.drumsChorus(row);
                } else {
                    // The fullest bar: louder bed, crashes on both halves, a kick on every beat.
                    // Its drums sit lighter than the other chorus bars' so their hits do not
                    // pile onto the loudest tones.
                    b.harmonyBed(row, bar, 18, 21, 40, 8);
                    b.crash(row, 30);
                    b.crash(row + 16, 36);
                    for (int r = 0; r < 32; r += 8) b.kick(row + r, r % 16 ? 38 : 54);  // lighter under the snare
                    b.kick(row + 10, 50);
                    b.snare(row + 8, 46);
                    b.snare(row + 24, 46);
                    b.snareRoll(row, 28, 32, 40, 6);
                    b.hatsOpen(row, 0);
                }
                break;
            case Part::Peak:
                b.harmonyBed(row, bar, 17, 20, 42, 8);
                b.kick(row, 62);
                b.snare(row, 54);
                b.crash(row + 4, 60);
                b.kick(row + 16, 62);
                b.snare(row + 24, 54);
                b.hatsOpen(row, 4);
                break;
            case Part::Outro: {
                const int k = bar.index;  // 0..8: the band thins out from bar 17 on
                b.harmonyBed(row, bar, 10, 20, 40, k < 3 ? 4 : k < 6 ? 2 : 1);
                if (k < 3) {
                    b.drumsGroove(row);
                } else if (k < 5) {
                    b.kick(row, 58);
                    b.kick(row + 16, 58);
                    if (k == 3) b.snare(row + 24, 46);
                    for (int r = 0; r < 32; r += 4) b.hat(row + r, (r % 8) ? 30 : 22);
                } else if (k < 7) {
                    b.kick(row, 52);
                    for (int r = 0; r < 32; r += 4) b.hat(row + r, (r % 8) ? 26 : 18);
                } else if (k == 8) {
                    // A soft pickup whose room rings across the loop into the intro.
                    b.snare(row + 28, 22);
                    b.snare(row + 30, 30);
                }
                break;
            }
        }
    }
    b.line(4 * kRowsPerBar, kHookLine, 52, kLiftRow, 8 * kRowsPerBar);
    b.line(9 * kRowsPerBar, kChorusLine, 50, 0, 14 * kRowsPerBar);
    b.line(14 * kRowsPerBar, kOutroLine, 46, 0, 0);
    for (Voice* v : {&b.bass, &b.lead, &b.echoLeft, &b.echoRight, &b.harmony, &b.arp}) v->finish();
    for (Voice& v : b.padLeft) v.finish();
    for (Voice& v : b.padRight) v.finish();
}

std::vector<ModuleSample> makeSamples() {
    std::vector<ModuleSample> s;
    s.push_back({"Kick", oneShot(kickDrum(kDrumRate, 0x1234567u), kDrumRate, 0.95)});
    s.push_back({"Snare", oneShot(withRoom(snareDrum(kDrumRate, 0x2468ACEu), kDrumRate, 0.9, 0.6), kDrumRate, 0.9)});
    s.push_back({"Closed hat", oneShot(hiHat(kDrumRate, 0.012, 0.045, 0x13579BDu), kDrumRate, 0.8), 64, 60});
    s.push_back({"Open hat", oneShot(hiHat(kDrumRate, 0.07, 0.18, 0x0F1E2D3u), kDrumRate, 0.8), 64, 60});
    s.push_back({"Crash", oneShot(crashCymbal(kDrumRate, 1.4, 0x5A5A5A5u), kDrumRate, 0.6), 64, 52});

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
    bass.drive = 4.5;
    s.push_back({"Bass", renderTone(bass), 64, 46});

    TonePatch pad;
    pad.cycleSamples = 128;
    pad.loopCycles = 200;
    pad.refHz = 300.0;
    pad.maxNoteHz = 400.0;
    pad.oscillators = {{Wave::Saw, -1, 1.0}, {Wave::Saw, 2, 0.7}};
    pad.cutoffStart = 1200.0;
    pad.cutoffEnd = 3200.0;
    pad.resonance = 0.9;
    pad.sweepSeconds = 0.6;
    pad.attackSeconds = 0.25;
    pad.decaySeconds = 0.3;
    pad.sustain = 0.85;
    pad.drive = 3.0;
    s.push_back({"Pad left", renderTone(pad), 64, 40});
    pad.oscillators = {{Wave::Saw, 1, 1.0}, {Wave::Saw, -2, 0.7}};  // detuned the other way
    s.push_back({"Pad right", renderTone(pad), 64, 40});

    TonePatch lead;
    lead.cycleSamples = 64;
    lead.loopCycles = 150;
    lead.refHz = 600.0;
    lead.maxNoteHz = 1330.0;  // E-6, the top note
    lead.oscillators = {{Wave::Saw, 0, 1.0}, {Wave::Saw, 1, 0.8}, {Wave::Pulse25, -1, 0.5}};
    lead.cutoffStart = 9000.0;
    lead.cutoffEnd = 6000.0;
    lead.resonance = 1.0;
    lead.sweepSeconds = 0.15;
    lead.attackSeconds = 0.004;
    lead.decaySeconds = 0.2;
    lead.sustain = 0.8;
    lead.drive = 3.0;
    s.push_back({"Lead", renderTone(lead), 64, 44});

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
    arp.drive = 2.0;
    s.push_back({"Arp", renderTone(arp), 64, 52});
    return s;
}

}  // namespace

Module soundtrackModule() {
    Module m;
    m.name = "80S5";
    m.initialSpeed = 4;
    m.initialTempo = 118;
    m.globalVolume = 128;
    m.mixVolume = 37;
    m.channelPan = {32, 34, 42, 24, 32, 32,
                    8,  8,  8,  8,  8,  8,  56, 56, 56, 56, 56, 56,  // pad: left, right
                    32, 32, 4,  4,  60, 60, 54, 10, 24, 24};
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
