#include "synth.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace musgen {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kMiddleC = 261.6255653005986;  // Hz of note C-5 (MIDI 60)
constexpr double kHarmonicCeiling = 18000.0;      // Hz: nothing is synthesised above this
}  // namespace

uint32_t Noise::nextU32() {
    uint32_t x = state_;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    state_ = x;
    return x;
}

double Noise::next() {
    return static_cast<double>(nextU32() >> 8) / 8388608.0 - 1.0;
}

OnePole::OnePole(double cutoffHz, double rate) : a_(std::exp(-2.0 * kPi * cutoffHz / rate)) {}

double OnePole::lowpass(double x) {
    y_ = x + a_ * (y_ - x);
    return y_;
}

double OnePole::highpass(double x) {
    return x - lowpass(x);
}

std::vector<int16_t> toPcm16(const Buffer& buf, double peak) {
    double maxAbs = 0.0;
    for (double v : buf) maxAbs = std::max(maxAbs, std::fabs(v));
    std::vector<int16_t> out(buf.size(), 0);
    if (maxAbs <= 0.0) return out;
    const double scale = peak * 32767.0 / maxAbs;
    for (size_t i = 0; i < buf.size(); ++i) {
        const long v = std::lround(buf[i] * scale);
        out[i] = static_cast<int16_t>(std::clamp(v, -32767L, 32767L));
    }
    return out;
}

void fadeEdges(Buffer& buf, double rate, double attack, double seconds) {
    const size_t n = buf.size();
    const size_t fadeIn = std::min(n, static_cast<size_t>(attack * rate));
    for (size_t i = 0; i < fadeIn; ++i) {
        const double s = std::sin(0.5 * kPi * static_cast<double>(i) / static_cast<double>(fadeIn));
        buf[i] *= s * s;
    }
    const size_t fadeOut = std::min(n, static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < fadeOut; ++i) {
        const double s = std::cos(0.5 * kPi * static_cast<double>(i + 1) / static_cast<double>(fadeOut));
        buf[n - fadeOut + i] *= s * s;
    }
}

void dcBlock(Buffer& buf, double rate) {
    OnePole hp(20.0, rate);
    for (double& v : buf) v = hp.highpass(v);
}

Buffer kickDrum(double rate, uint32_t seed) {
    const size_t n = static_cast<size_t>(0.45 * rate);
    Buffer out(n);
    Noise noise(seed);
    OnePole clickLp(5000.0, rate);
    double phase = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double freq = 50.0 + 100.0 * std::exp(-t / 0.03) + 120.0 * std::exp(-t / 0.006);
        const double body = std::sin(phase) * std::exp(-t / 0.16);
        phase += 2.0 * kPi * freq / rate;
        const double click = 0.35 * clickLp.lowpass(noise.next()) * std::exp(-t / 0.002);
        out[i] = -std::tanh(1.6 * (body + click)) / std::tanh(1.6);  // first swing downwards
    }
    dcBlock(out, rate);
    fadeEdges(out, rate, 0.0005, 0.06);
    return out;
}

Buffer snareDrum(double rate, uint32_t seed) {
    const size_t n = static_cast<size_t>(0.32 * rate);
    Buffer out(n);
    Noise noise(seed);
    OnePole hp(900.0, rate), lp(7000.0, rate);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double tone = 0.55 * std::sin(2.0 * kPi * 190.0 * t) * std::exp(-t / 0.05) +
                            0.25 * std::sin(2.0 * kPi * 330.0 * t) * std::exp(-t / 0.03);
        const double hiss = 0.8 * lp.lowpass(hp.highpass(noise.next())) * std::exp(-t / 0.085);
        out[i] = tone + hiss;
    }
    dcBlock(out, rate);
    fadeEdges(out, rate, 0.0005, 0.08);
    return out;
}

Buffer hiHat(double rate, double decaySeconds, double lengthSeconds, uint32_t seed) {
    const size_t n = static_cast<size_t>(lengthSeconds * rate);
    Buffer out(n);
    Noise noise(seed);
    OnePole hp1(7000.0, rate), hp2(7000.0, rate), lp(15000.0, rate);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        out[i] = lp.lowpass(hp2.highpass(hp1.highpass(noise.next()))) * std::exp(-t / decaySeconds);
    }
    fadeEdges(out, rate, 0.0005, lengthSeconds * 0.3);
    return out;
}

namespace {

double harmonicAmplitude(Wave wave, int k) {
    switch (wave) {
        case Wave::Saw: return 1.0 / k;
        case Wave::Square: return (k % 2) ? 1.0 / k : 0.0;
        case Wave::Pulse25: return std::sin(kPi * k * 0.25) / k;
        case Wave::Sine: return k == 1 ? 1.0 : 0.0;
    }
    return 0.0;
}

// Two-pole low-pass magnitude at ratio x = f / cutoff.
double lowpassGain(double x, double q) {
    const double a = 1.0 - x * x;
    const double b = x / q;
    return 1.0 / std::sqrt(a * a + b * b);
}

struct Partial {
    int64_t step;     // phase index increment per sample, modulo loopLength
    double amplitude;
    double refHz;     // frequency of this partial at the reference pitch
};

}  // namespace

Sample renderTone(const TonePatch& p) {
    if (p.cycleSamples < 8 || p.loopCycles < 2 || p.oscillators.empty())
        throw std::invalid_argument("renderTone: bad patch");
    const int64_t loopLength = static_cast<int64_t>(p.cycleSamples) * p.loopCycles;

    std::vector<Partial> partials;
    for (const Oscillator& osc : p.oscillators) {
        const int64_t cycles = p.loopCycles + osc.cycleOffset;
        const double ratio = static_cast<double>(cycles) / p.loopCycles;
        for (int k = 1;; ++k) {
            if (k * ratio * p.maxNoteHz > kHarmonicCeiling) break;
            if (2.2 * k * cycles > loopLength) break;  // keep well inside the sample's own band
            const double a = harmonicAmplitude(osc.wave, k) * osc.level;
            if (a == 0.0) continue;
            partials.push_back({k * cycles % loopLength, a, k * ratio * p.refHz});
        }
    }

    const double samplesPerSecond = p.cycleSamples * p.refHz;  // at the reference pitch
    const double envSeconds = std::max(p.attackSeconds + p.decaySeconds, p.sweepSeconds);
    const int64_t loopStart = static_cast<int64_t>(std::ceil(envSeconds * samplesPerSecond));
    const int64_t total = loopStart + loopLength;

    std::vector<double> table(static_cast<size_t>(loopLength));
    for (int64_t i = 0; i < loopLength; ++i)
        table[static_cast<size_t>(i)] = std::sin(2.0 * kPi * static_cast<double>(i) / static_cast<double>(loopLength));

    Buffer buf(static_cast<size_t>(total));
    for (int64_t n = 0; n < total; ++n) {
        const double t = std::min(static_cast<double>(n), static_cast<double>(loopStart)) / samplesPerSecond;
        double amp;
        if (t < p.attackSeconds) {
            const double s = std::sin(0.5 * kPi * t / p.attackSeconds);
            amp = s * s;
        } else if (t < p.attackSeconds + p.decaySeconds) {
            const double u = 1.0 - (t - p.attackSeconds) / p.decaySeconds;
            amp = p.sustain + (1.0 - p.sustain) * u * u;
        } else {
            amp = p.sustain;
        }
        double cutoff = p.cutoffEnd;
        if (t < p.sweepSeconds) {
            const double u = 1.0 - t / p.sweepSeconds;
            cutoff += (p.cutoffStart - p.cutoffEnd) * u * u;
        }
        double v = 0.0;
        for (const Partial& part : partials) {
            const int64_t idx = (part.step * n) % loopLength;
            v += part.amplitude * lowpassGain(part.refHz / cutoff, p.resonance) * table[static_cast<size_t>(idx)];
        }
        buf[static_cast<size_t>(n)] = v * amp;
    }

    Sample s;
    s.pcm = toPcm16(buf, p.peak);
    s.looped = true;
    s.loopStart = static_cast<uint32_t>(loopStart);
    s.loopEnd = static_cast<uint32_t>(total);
    s.c5speed = static_cast<uint32_t>(std::lround(p.cycleSamples * kMiddleC));
    return s;
}

Sample oneShot(const Buffer& buf, double rate, double peak) {
    Sample s;
    s.pcm = toPcm16(buf, peak);
    s.c5speed = static_cast<uint32_t>(std::lround(rate));
    return s;
}

}  // namespace musgen
