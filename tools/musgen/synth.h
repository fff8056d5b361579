// Sample synthesis: fixed-seed noise, simple filters, drum one-shots and
// band-limited additive tones with a looped, phase-matched sustain.
#pragma once

#include <cstdint>
#include <vector>

namespace musgen {

using Buffer = std::vector<double>;

// xorshift32: the same sequence on every platform and every run.
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
    uint32_t nextU32();
    double next();  // uniform in [-1, 1)

private:
    uint32_t state_;
};

// One-pole filter; cutoff given in Hz at the buffer's rate.
class OnePole {
public:
    OnePole(double cutoffHz, double rate);
    double lowpass(double x);
    double highpass(double x);

private:
    double a_;
    double y_ = 0.0;
};

// Second-order Butterworth low-pass (a biquad); two in a row fall off at 24 dB an octave.
class Lowpass2 {
public:
    Lowpass2(double cutoffHz, double rate);
    double operator()(double x);

private:
    double b0_, b1_, b2_, a1_, a2_;
    double x1_ = 0.0, x2_ = 0.0, y1_ = 0.0, y2_ = 0.0;
};

// A mono sample ready for the module: signed 16-bit data, an optional
// forward loop [loopStart, loopEnd) and the playback rate of note C-5.
struct Sample {
    std::vector<int16_t> pcm;
    bool looped = false;
    uint32_t loopStart = 0;
    uint32_t loopEnd = 0;
    uint32_t c5speed = 44100;
};

// Scales the buffer so its largest magnitude becomes `peak` (0..1 of full
// scale) and rounds to 16-bit.
std::vector<int16_t> toPcm16(const Buffer& buf, double peak);

// Fades the last `seconds` of the buffer to zero (raised cosine) and the first
// `attack` seconds in from zero, so one-shots neither start nor end on a step.
void fadeEdges(Buffer& buf, double rate, double attack, double seconds);

// Soft saturation: the buffer scaled to a peak of `drive` and passed through
// tanh, so rare peaks are rounded off while the body of the sound keeps its level.
void saturate(Buffer& buf, double drive);

// Removes DC and the lowest rumble.
void dcBlock(Buffer& buf, double rate);

// Adds a small room to a dry one-shot: parallel damped combs into two
// all-passes (a Schroeder reverberator), `tailSeconds` appended for the tail
// and `wet` the level of the reverberated part against the dry one.
Buffer withRoom(const Buffer& dry, double rate, double tailSeconds, double wet);

Buffer kickDrum(double rate, uint32_t seed);
// Nothing of the snare and the cymbals sounds above this: they shimmer without hiss.
constexpr double kDrumTopHz = 16500.0;
// Snare: a pitched shell tone under band-passed noise, driven, dry (the room is added by withRoom).
Buffer snareDrum(double rate, uint32_t seed);
// Cymbals: high-passed noise, its rare peaks rounded off.
Buffer hiHat(double rate, double decaySeconds, double lengthSeconds, uint32_t seed);
// Crash cymbal: noise with a few inharmonic metal partials and a long decay.
Buffer crashCymbal(double rate, double lengthSeconds, uint32_t seed);

enum class Wave { Saw, Square, Pulse25, Sine };

struct Oscillator {
    Wave wave = Wave::Saw;
    int cycleOffset = 0;  // cycles more or fewer than the base count per loop: detune
    double level = 1.0;
};

// A pitched patch rendered by additive synthesis. Every oscillator completes a
// whole number of cycles in the loop, so the loop is seamless; the attack part
// in front of it uses the same phases, only with time-varying amplitudes.
struct TonePatch {
    int cycleSamples = 128;     // samples per cycle of the base oscillator
    int loopCycles = 1;         // base oscillator cycles per loop
    double refHz = 440.0;       // pitch the envelope times are designed for
    double maxNoteHz = 1000.0;  // highest pitch played: harmonics stay below 18 kHz there
    std::vector<Oscillator> oscillators;
    double cutoffStart = 8000.0;  // Hz at the reference pitch, swept to cutoffEnd
    double cutoffEnd = 2000.0;
    double resonance = 0.8;
    // Fourth-order high-pass at the reference pitch (0 for none): thins the
    // fundamental of a patch that must leave the low end to the bass and kick.
    double highpassHz = 0.0;
    double sweepSeconds = 0.2;
    double attackSeconds = 0.003;
    double decaySeconds = 0.2;  // from full level to sustain, ends at loop start
    double sustain = 0.7;
    double peak = 0.9;
    // Soft saturation (tanh) before scaling: 0 leaves the tone clean; higher
    // values round off the peaks where the detuned oscillators line up.
    double drive = 0.0;
};

Sample renderTone(const TonePatch& patch);

// Wraps a one-shot as a module sample played at its own rate on note C-5.
Sample oneShot(const Buffer& buf, double rate, double peak);

}  // namespace musgen
