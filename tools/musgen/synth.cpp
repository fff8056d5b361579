#include "synth.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace musgen {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kMiddleC = 261.6255653005986;  // Hz of note C-5 (MIDI 60)
constexpr double kHarmonicCeiling = 18000.0;    // Hz: nothing is synthesised above this
}  // namespace

uint32_t Noise::nextU32()
{
    uint32_t x = state_;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    state_ = x;
    return x;
}

double Noise::next()
{
    return static_cast<double>(nextU32() >> 8) / 8388608.0 - 1.0;
}

OnePole::OnePole(double cutoffHz, double rate) : a_(std::exp(-2.0 * kPi * cutoffHz / rate))
{}

double OnePole::lowpass(double x)
{
    y_ = x + a_ * (y_ - x);
    return y_;
}

double OnePole::highpass(double x)
{
    return x - lowpass(x);
}

Lowpass2::Lowpass2(double cutoffHz, double rate)
{
    const double w = 2.0 * kPi * cutoffHz / rate;
    const double alpha = std::sin(w) / std::sqrt(2.0);
    const double c = std::cos(w);
    const double a0 = 1.0 + alpha;
    b0_ = b2_ = (1.0 - c) / 2.0 / a0;
    b1_ = (1.0 - c) / a0;
    a1_ = -2.0 * c / a0;
    a2_ = (1.0 - alpha) / a0;
}

double Lowpass2::operator()(double x)
{
    const double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
    x2_ = x1_;
    x1_ = x;
    y2_ = y1_;
    y1_ = y;
    return y;
}

std::vector<int16_t> toPcm16(const Buffer& buf, double peak)
{
    double maxAbs = 0.0;
    for (double v : buf)
        maxAbs = std::max(maxAbs, std::fabs(v));
    std::vector<int16_t> out(buf.size(), 0);
    if (maxAbs <= 0.0)
        return out;
    const double scale = peak * 32767.0 / maxAbs;
    for (size_t i = 0; i < buf.size(); ++i) {
        const long v = std::lround(buf[i] * scale);
        out[i] = static_cast<int16_t>(std::clamp(v, -32767L, 32767L));
    }
    return out;
}

void fadeEdges(Buffer& buf, double rate, double attack, double seconds)
{
    const size_t n = buf.size();
    const size_t fadeIn = std::min(n, static_cast<size_t>(attack * rate));
    for (size_t i = 0; i < fadeIn; ++i) {
        const double s = std::sin(0.5 * kPi * static_cast<double>(i) / static_cast<double>(fadeIn));
        buf[i] *= s * s;
    }
    const size_t fadeOut = std::min(n, static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < fadeOut; ++i) {
        const double s =
            std::cos(0.5 * kPi * static_cast<double>(i + 1) / static_cast<double>(fadeOut));
        buf[n - fadeOut + i] *= s * s;
    }
}

void saturate(Buffer& buf, double drive)
{
    double maxAbs = 0.0;
    for (double v : buf)
        maxAbs = std::max(maxAbs, std::fabs(v));
    if (maxAbs <= 0.0)
        return;
    for (double& v : buf)
        v = std::tanh(drive * v / maxAbs);
}

void dcBlock(Buffer& buf, double rate)
{
    OnePole hp(20.0, rate);
    for (double& v : buf)
        v = hp.highpass(v);
}

Buffer kickDrum(double rate, uint32_t seed)
{
    const size_t n = static_cast<size_t>(0.62 * rate);
    Buffer out(n);
    Noise noise(seed);
    OnePole clickLp(5000.0, rate);
    double phase = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        // The pitch settles at 48 Hz; the body holds there for a long low tail.
        const double freq = 48.0 + 100.0 * std::exp(-t / 0.03) + 120.0 * std::exp(-t / 0.006);
        const double body =
            std::sin(phase) * (0.55 * std::exp(-t / 0.09) + 0.45 * std::exp(-t / 0.3));
        phase += 2.0 * kPi * freq / rate;
        const double click = 0.35 * clickLp.lowpass(noise.next()) * std::exp(-t / 0.002);
        out[i] = -std::tanh(2.0 * (body + click)) /
                 std::tanh(2.0);  // first swing downwards; driven lightly to stay round
    }
    dcBlock(out, rate);
    fadeEdges(out, rate, 0.0005, 0.12);
    return out;
}

namespace {

// The last stage of the snare and the cymbals: everything above the drums'
// top taken away, after the saturation, which would otherwise bring the hiss back.
void closeOffTop(Buffer& buf, double rate)
{
    Lowpass2 lp1(kDrumTopHz, rate), lp2(kDrumTopHz, rate);
    for (double& v : buf)
        v = lp2(lp1(v));
}

// Cymbals: rare noise peaks rounded off, then the top closed off.
void finishCymbal(Buffer& buf, double rate)
{
    saturate(buf, 3.0);
    closeOffTop(buf, rate);
}

}  // namespace

Buffer snareDrum(double rate, uint32_t seed)
{
    const size_t n = static_cast<size_t>(0.3 * rate);
    Buffer out(n);
    Noise noise(seed);
    OnePole hp(1200.0, rate), lp(8000.0, rate), lp2(9000.0, rate);
    double phase1 = 0.0, phase2 = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        // The shell: a tone dropping from ~250 to 185 Hz and its first overtone.
        const double f1 = 185.0 + 65.0 * std::exp(-t / 0.012);
        phase1 += 2.0 * kPi * f1 / rate;
        phase2 += 2.0 * kPi * 1.68 * f1 / rate;
        const double tone = 0.75 * std::sin(phase1) * std::exp(-t / 0.075) +
                            0.3 * std::sin(phase2) * std::exp(-t / 0.04);
        const double hiss = 1.0 * lp2.lowpass(lp.lowpass(hp.highpass(noise.next()))) *
                            (std::exp(-t / 0.11) + 0.6 * std::exp(-t / 0.012));
        out[i] = std::tanh(3.0 * (tone + hiss));
    }
    closeOffTop(out, rate);
    dcBlock(out, rate);
    fadeEdges(out, rate, 0.0005, 0.06);
    return out;
}

Buffer withRoom(const Buffer& dry, double rate, double tailSeconds, double wet)
{
    const double scale = rate / 44100.0;
    const int combDelays[4] = {1116, 1188, 1277, 1356};
    const int allpassDelays[2] = {556, 341};
    const size_t n = dry.size() + static_cast<size_t>(tailSeconds * rate);
    // Feedback for a -60 dB decay over the tail.
    Buffer wetBuf(n, 0.0);
    for (int c = 0; c < 4; ++c) {
        const size_t d = static_cast<size_t>(combDelays[c] * scale);
        const double g = std::pow(10.0, -3.0 * static_cast<double>(d) / rate / tailSeconds);
        Buffer line(d, 0.0);
        double damp = 0.0;
        for (size_t i = 0; i < n; ++i) {
            const double x = i < dry.size() ? dry[i] : 0.0;
            const double y = line[i % d];
            damp = 0.6 * y + 0.4 * damp;  // high frequencies die first
            line[i % d] = x + g * damp;
            wetBuf[i] += 0.25 * y;
        }
    }
    for (int a = 0; a < 2; ++a) {
        const size_t d = static_cast<size_t>(allpassDelays[a] * scale);
        Buffer line(d, 0.0);
        for (size_t i = 0; i < n; ++i) {
            const double delayed = line[i % d];
            const double x = wetBuf[i];
            line[i % d] = x + 0.5 * delayed;
            wetBuf[i] = delayed - 0.5 * x;
        }
    }
    Buffer out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = (i < dry.size() ? dry[i] : 0.0) + wet * wetBuf[i];
    dcBlock(out, rate);
    fadeEdges(out, rate, 0.0005, tailSeconds * 0.5);
    return out;
}

Buffer hiHat(double rate, double decaySeconds, double lengthSeconds, uint32_t seed)
{
    const size_t n = static_cast<size_t>(lengthSeconds * rate);
    Buffer out(n);
    Noise noise(seed);
    OnePole hp1(3000.0, rate), hp2(4000.0, rate);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        out[i] = hp2.highpass(hp1.highpass(noise.next())) * std::exp(-t / decaySeconds);
    }
    finishCymbal(out, rate);
    fadeEdges(out, rate, 0.0005, lengthSeconds * 0.3);
    return out;
}

Buffer crashCymbal(double rate, double lengthSeconds, uint32_t seed)
{
    const size_t n = static_cast<size_t>(lengthSeconds * rate);
    Buffer out(n);
    Noise noise(seed);
    OnePole hp1(2500.0, rate), hp2(3500.0, rate);
    const double partials[6] = {587.0, 845.0, 1233.0, 1710.0, 2382.0, 3301.0};
    double phase[6] = {0, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        double metal = 0.0;
        for (int k = 0; k < 6; ++k) {
            phase[k] += 2.0 * kPi * partials[k] / rate;
            // Band-limited square: odd harmonics up to the cymbal's top.
            for (int h = 1; h * partials[k] < kDrumTopHz; h += 2)
                metal += 0.06 * std::sin(h * phase[k]) / h;
        }
        const double wash = hp2.highpass(hp1.highpass(noise.next() + 0.5 * metal));
        out[i] = wash * (0.75 * std::exp(-t / 0.4) + 0.25 * std::exp(-t / 0.03));
    }
    finishCymbal(out, rate);
    dcBlock(out, rate);
    fadeEdges(out, rate, 0.0008, lengthSeconds * 0.35);
    return out;
}

namespace {

double harmonicAmplitude(Wave wave, int k)
{
    switch (wave) {
    case Wave::Saw:
        return 1.0 / k;
    case Wave::Square:
        return (k % 2) ? 1.0 / k : 0.0;
    case Wave::Pulse25:
        return std::sin(kPi * k * 0.25) / k;
    case Wave::Sine:
        return k == 1 ? 1.0 : 0.0;
    }
    return 0.0;
}

// Two-pole low-pass magnitude at ratio x = f / cutoff.
double lowpassGain(double x, double q)
{
    const double a = 1.0 - x * x;
    const double b = x / q;
    return 1.0 / std::sqrt(a * a + b * b);
}

// Fourth-order (two cascaded two-pole Butterworth) high-pass magnitude at ratio x = f / cutoff.
double highpassGain(double x)
{
    const double x2 = x * x;
    const double a = 1.0 - x2;
    return (x2 * x2) / (a * a + 2.0 * x2);
}

struct Partial {
    int64_t step;  // phase index increment per sample, modulo loopLength
    double amplitude;
    double refHz;  // frequency of this partial at the reference pitch
};

}  // namespace

Sample renderTone(const TonePatch& p)
{
    if (p.cycleSamples < 8 || p.loopCycles < 2 || p.oscillators.empty())
        throw std::invalid_argument("renderTone: bad patch");
    const int64_t loopLength = static_cast<int64_t>(p.cycleSamples) * p.loopCycles;

    std::vector<Partial> partials;
    for (const Oscillator& osc : p.oscillators) {
        const int64_t cycles = p.loopCycles + osc.cycleOffset;
        const double ratio = static_cast<double>(cycles) / p.loopCycles;
        for (int k = 1;; ++k) {
            if (k * ratio * p.maxNoteHz > kHarmonicCeiling)
                break;
            if (2.2 * k * cycles > loopLength)
                break;  // keep well inside the sample's own band
            double a = harmonicAmplitude(osc.wave, k) * osc.level;
            if (p.highpassHz > 0.0)
                a *= highpassGain(k * ratio * p.refHz / p.highpassHz);
            if (a == 0.0)
                continue;
            partials.push_back({k * cycles % loopLength, a, k * ratio * p.refHz});
        }
    }

    const double samplesPerSecond = p.cycleSamples * p.refHz;  // at the reference pitch
    const double envSeconds = std::max(p.attackSeconds + p.decaySeconds, p.sweepSeconds);
    const int64_t loopStart = static_cast<int64_t>(std::ceil(envSeconds * samplesPerSecond));
    const int64_t total = loopStart + loopLength;

    std::vector<double> table(static_cast<size_t>(loopLength));
    for (int64_t i = 0; i < loopLength; ++i)
        table[static_cast<size_t>(i)] =
            std::sin(2.0 * kPi * static_cast<double>(i) / static_cast<double>(loopLength));

    Buffer buf(static_cast<size_t>(total));
    for (int64_t n = 0; n < total; ++n) {
        const double t =
            std::min(static_cast<double>(n), static_cast<double>(loopStart)) / samplesPerSecond;
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
            v += part.amplitude * lowpassGain(part.refHz / cutoff, p.resonance) *
                 table[static_cast<size_t>(idx)];
        }
        buf[static_cast<size_t>(n)] = v * amp;
    }
    if (p.drive > 0.0)
        saturate(buf, p.drive);

    Sample s;
    s.pcm = toPcm16(buf, p.peak);
    s.looped = true;
    s.loopStart = static_cast<uint32_t>(loopStart);
    s.loopEnd = static_cast<uint32_t>(total);
    s.c5speed = static_cast<uint32_t>(std::lround(p.cycleSamples * kMiddleC));
    return s;
}

Sample oneShot(const Buffer& buf, double rate, double peak)
{
    Sample s;
    s.pcm = toPcm16(buf, peak);
    s.c5speed = static_cast<uint32_t>(std::lround(rate));
    return s;
}

}  // namespace musgen
