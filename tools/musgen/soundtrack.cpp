#include "soundtrack.h"

#include <array>
#include <fstream>
#include <stdexcept>

#include "arrangement.h"
#include "synth.h"

namespace musgen {

namespace {

constexpr double kDrumRate = 44100.0;

enum SampleId { kKick = 1, kSnare, kClosedHat, kOpenHat, kBass, kPad, kLead, kArp };

// Channel map.
constexpr int kChKick = 0, kChSnare = 1, kChHat = 2;
constexpr int kChBass[] = {3, 4};
constexpr int kChPad = 5;  // three voices, two channels each: 5..10
constexpr int kChLead[] = {11, 12};
constexpr int kChArp[] = {13, 14};
constexpr int kChEcho[] = {15, 16};
constexpr int kChannels = 17;

struct Chord {
    std::array<int, 3> pad;   // voicing around the fourth octave
    int bass;                 // root in the second octave
    std::array<int, 4> arp;   // broken-chord tones, low to high
};

const Chord kAm{{57, 60, 64}, 45, {69, 72, 76, 81}};
const Chord kF{{57, 60, 65}, 41, {65, 69, 72, 77}};
const Chord kC{{55, 60, 64}, 36, {67, 72, 76, 79}};
const Chord kG{{55, 59, 62}, 43, {67, 71, 74, 79}};
const Chord kEm{{55, 59, 64}, 40, {64, 67, 71, 76}};
const Chord kDm{{57, 62, 65}, 38, {62, 65, 69, 74}};

enum class Part { Intro, Verse, Chorus, Break, Outro };

struct Bar {
    Part part;
    int index;  // bar number inside its part
    const Chord* chord;
};

std::vector<Bar> songBars() {
    std::vector<Bar> bars;
    auto add = [&](Part part, std::initializer_list<const Chord*> chords) {
        int i = 0;
        for (const Chord* c : chords) bars.push_back({part, i++, c});
    };
    add(Part::Intro, {&kAm, &kF, &kC, &kG});
    add(Part::Verse, {&kAm, &kF, &kC, &kG, &kAm, &kF, &kC, &kG});
    add(Part::Chorus, {&kF, &kG, &kEm, &kAm, &kF, &kG, &kC, &kG});
    add(Part::Break, {&kDm, &kAm, &kF, &kG});
    add(Part::Chorus, {&kF, &kG, &kEm, &kAm, &kF, &kG, &kC, &kG});
    add(Part::Outro, {&kAm, &kF, &kC, &kG});
    return bars;
}

struct MelodyNote {
    int note;  // 0 = rest
    int rows;
};
using Phrase = std::vector<MelodyNote>;

// The hook, one phrase a bar.
const std::array<Phrase, 8> kChorusMelody = {{
    {{72, 6}, {69, 6}, {65, 4}, {69, 4}, {72, 8}, {0, 4}},
    {{74, 6}, {71, 6}, {67, 4}, {71, 4}, {74, 8}, {0, 4}},
    {{76, 6}, {71, 6}, {67, 4}, {71, 4}, {76, 4}, {74, 4}, {71, 4}},
    {{72, 12}, {71, 4}, {69, 14}, {0, 2}},
    {{72, 6}, {69, 6}, {65, 4}, {69, 4}, {72, 4}, {74, 4}, {72, 4}},
    {{71, 6}, {67, 6}, {62, 4}, {67, 4}, {71, 8}, {0, 4}},
    {{76, 8}, {74, 4}, {72, 4}, {67, 8}, {72, 8}},
    {{74, 12}, {71, 4}, {67, 12}, {0, 4}},
}};

const std::array<Phrase, 4> kVerseLine = {{
    {{76, 12}, {74, 4}, {72, 14}, {0, 2}},
    {{72, 8}, {69, 8}, {72, 8}, {74, 8}},
    {{76, 16}, {79, 8}, {76, 8}},
    {{74, 24}, {0, 8}},
}};

const std::array<Phrase, 4> kBreakLine = {{
    {{77, 16}, {76, 8}, {74, 8}},
    {{76, 24}, {72, 8}},
    {{72, 16}, {69, 8}, {72, 8}},
    {{71, 16}, {74, 8}, {79, 6}, {0, 2}},
}};

struct Band {
    Arrangement arr{kChannels, kBars, kRowsPerBar};
    Voice bass{arr, {kChBass[0], kChBass[1]}, kBass, 2};
    std::array<Voice, 3> pad{{Voice{arr, {kChPad + 0, kChPad + 3}, kPad, 3},
                              Voice{arr, {kChPad + 1, kChPad + 4}, kPad, 3},
                              Voice{arr, {kChPad + 2, kChPad + 5}, kPad, 3}}};
    Voice lead{arr, {kChLead[0], kChLead[1]}, kLead, 2};
    Voice echo{arr, {kChEcho[0], kChEcho[1]}, kLead, 2};
    Voice arp{arr, {kChArp[0], kChArp[1]}, kArp, 1};

    void kick(int row, int vol) { arr.note(row, kChKick, 60, kKick, vol * 13 / 16); }
    void snare(int row, int vol) { arr.note(row, kChSnare, 60, kSnare, vol); }
    void hat(int row, int vol) { arr.note(row, kChHat, 60, kClosedHat, vol); }
    void openHat(int row, int vol) { arr.note(row, kChHat, 60, kOpenHat, vol); }

    // A melodic phrase on the lead, with a dotted-eighth echo a step quieter.
    void phrase(int start, const Phrase& p, int transpose, int vol, bool withEcho) {
        int row = start;
        for (const MelodyNote& n : p) {
            if (n.note > 0) {
                lead.play(row, n.note + transpose, n.rows, vol);
                if (withEcho) echo.play(row + 6, n.note + transpose, n.rows, vol * 2 / 5);
            }
            row += n.rows;
        }
    }

    void arpeggio(int start, const Chord& c, int vol, int steps) {
        static const int order[16] = {0, 1, 2, 3, 1, 2, 3, 2, 0, 1, 2, 3, 1, 2, 3, 2};
        for (int s = 0; s < steps; ++s) arp.play(start + 2 * s, c.arp[static_cast<size_t>(order[s])], 2, vol);
    }

    void padChord(int start, const Chord& c, int gate, int vol) {
        for (size_t v = 0; v < 3; ++v) pad[v].play(start, c.pad[v], gate, vol);
    }

    void bassEighths(int start, const Chord& c, int vol, int count) {
        static const int octave[8] = {0, 0, 12, 0, 0, 0, 12, 0};
        for (int i = 0; i < count; ++i) bass.play(start + 4 * i, c.bass + octave[i], 3, vol);
    }

    void bassSixteenths(int start, const Chord& c, int vol) {
        static const int octave[16] = {0, 0, 12, 0, 0, 0, 12, 0, 0, 0, 12, 0, 0, 12, 0, 12};
        for (int i = 0; i < 16; ++i) bass.play(start + 2 * i, c.bass + octave[i], 2, vol);
    }

    void drumsVerse(int start) {
        kick(start + 0, 64);
        kick(start + 16, 64);
        kick(start + 26, 56);
        snare(start + 8, 54);
        snare(start + 24, 54);
        for (int r = 0; r < 32; r += 4) hat(start + r, (r % 8) ? 34 : 26);
    }

    void drumsChorus(int start, bool fill) {
        kick(start + 0, 64);
        kick(start + 10, 52);
        kick(start + 16, 64);
        if (!fill) kick(start + 26, 56);
        snare(start + 8, 56);
        if (fill) {
            const int vols[4] = {40, 46, 52, 60};
            for (int i = 0; i < 4; ++i) snare(start + 24 + 2 * i, vols[i]);
        } else {
            snare(start + 24, 56);
        }
        for (int r = 0; r < 32; r += 2) {
            if (r == 12 || r == 28) openHat(start + r, 30);
            else hat(start + r, (r % 4) ? 30 : 22);
        }
    }

    void snareRoll(int start, int from, int baseVol) {
        for (int r = from, i = 0; r < 32; r += 2, ++i) snare(start + r, baseVol + 3 * i);
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
        const Chord& c = *bar.chord;
        const int row = i * kRowsPerBar;
        switch (bar.part) {
            case Part::Intro:
                b.padChord(row, c, 32, 22 + 2 * bar.index);
                b.arpeggio(row, c, 18 + 4 * bar.index, 16);
                if (bar.index == 0) b.kick(row, 48);
                if (bar.index >= 2)
                    for (int r = 0; r < 32; r += 4) b.hat(row + r, (r % 8) ? 24 : 16);
                if (bar.index == 3) {
                    for (int r = 0; r < 32; r += 8) b.kick(row + r, 52);
                    b.snareRoll(row, 16, 30);
                }
                break;
            case Part::Verse:
                b.padChord(row, c, 32, 20);
                b.arpeggio(row, c, 24, 16);
                b.bassEighths(row, c, 46, 8);
                b.drumsVerse(row);
                if (bar.index >= 4) b.phrase(row, kVerseLine[static_cast<size_t>(bar.index - 4)], 0, 30, true);
                break;
            case Part::Chorus: {
                const bool second = i >= 24;
                b.padChord(row, c, 32, 22);
                b.arpeggio(row, c, 20, 16);
                b.bassSixteenths(row, c, 42);
                b.drumsChorus(row, bar.index == 7);
                const int lift = (second && bar.index >= 4) ? 12 : 0;
                b.phrase(row, kChorusMelody[static_cast<size_t>(bar.index)], lift, lift ? 34 : 38, true);
                break;
            }
            case Part::Break:
                b.padChord(row, c, 32, 26);
                b.arpeggio(row, c, 26, 16);
                b.bass.play(row, c.bass, 28, 40);
                b.phrase(row, kBreakLine[static_cast<size_t>(bar.index)], 0, 28, true);
                for (int r = 0; r < 32; r += 4) b.hat(row + r, (r % 8) ? 20 : 12);
                if (bar.index == 3) {
                    for (int r = 0; r < 32; r += 8) b.kick(row + r, 56);
                    b.snareRoll(row, 16, 34);
                }
                break;
            case Part::Outro: {
                const bool last = bar.index == 3;
                b.padChord(row, c, last ? 29 : 32, 20);
                b.arpeggio(row, c, 24, last ? 14 : 16);
                b.bassEighths(row, c, 46, last ? 4 : 8);
                if (!last) {
                    b.drumsVerse(row);
                } else {
                    b.kick(row, 64);
                    b.kick(row + 16, 60);
                    b.snare(row + 8, 54);
                    for (int r = 0; r < 16; r += 4) b.hat(row + r, (r % 8) ? 34 : 26);
                    b.snareRoll(row, 20, 36);
                }
                break;
            }
        }
    }
}

std::vector<ModuleSample> makeSamples() {
    std::vector<ModuleSample> s;
    s.push_back({"Kick", oneShot(kickDrum(kDrumRate, 0x1234567u), kDrumRate, 0.95)});
    s.push_back({"Snare", oneShot(snareDrum(kDrumRate, 0x2468ACEu), kDrumRate, 0.9)});
    s.push_back({"Closed hat", oneShot(hiHat(kDrumRate, 0.012, 0.05, 0x13579BDu), kDrumRate, 0.8)});
    s.push_back({"Open hat", oneShot(hiHat(kDrumRate, 0.06, 0.16, 0x0F1E2D3u), kDrumRate, 0.8)});

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
    pad.cutoffEnd = 2200.0;
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
    lead.maxNoteHz = 1320.0;
    lead.oscillators = {{Wave::Pulse25, 0, 1.0}, {Wave::Saw, 1, 0.7}};
    lead.cutoffStart = 5000.0;
    lead.cutoffEnd = 3000.0;
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
    arp.maxNoteHz = 1100.0;
    arp.oscillators = {{Wave::Square, 0, 1.0}, {Wave::Saw, 1, 0.5}};
    arp.cutoffStart = 7000.0;
    arp.cutoffEnd = 1200.0;
    arp.resonance = 1.5;
    arp.sweepSeconds = 0.12;
    arp.attackSeconds = 0.002;
    arp.decaySeconds = 0.15;
    arp.sustain = 0.2;
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
    m.mixVolume = 50;
    m.channelPan = {32, 34, 42, 32, 32, 16, 48, 32, 16, 48, 32, 28, 28, 48, 16, 12, 52};
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
