#include "processor/TailEstimate.h"

#include "engine/PlimbradeDSP.h"
#include "processor/EngineRate.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <utility>

namespace
{
using Settings = TailEstimate::Settings;

constexpr std::pair<const char*, float Settings::*> fields[] {
    { "drywet", &Settings::drywet },
    { "amp", &Settings::amp },
    { "pitchstage", &Settings::pitchstage },
    { "driftdepth", &Settings::driftdepth },
    { "diffusion", &Settings::diffusion },
    { "cutoff", &Settings::cutoff },
    { "res", &Settings::res },
    { "lowamp", &Settings::lowamp },
    { "lowmute", &Settings::lowmute },
    { "lowfeed", &Settings::lowfeed },
    { "lowdamp", &Settings::lowdamp },
    { "lowtimesync", &Settings::lowtimesync },
    { "lowtime", &Settings::lowtime },
    { "lowsyncedtime", &Settings::lowsyncedtime },
    { "lowpitchwindow", &Settings::lowpitchwindow },
    { "highamp", &Settings::highamp },
    { "highmute", &Settings::highmute },
    { "highfeed", &Settings::highfeed },
    { "highdamp", &Settings::highdamp },
    { "hightimesync", &Settings::hightimesync },
    { "hightime", &Settings::hightime },
    { "highsyncedtime", &Settings::highsyncedtime },
    { "highpitchwindow", &Settings::highpitchwindow },
};

// -90 dBFS.
const double threshold = std::pow (10.0, -90.0 / 20.0);

// The engine's DC blocker (pole 0.995) can double a sign change, so every level
// below is taken twice as high.
constexpr double dcOvershoot = 2.0;

/*  One band's feedback loop in the engine's samples: feedback f, the diffuser
    blend (1 - d) + d * A1(z)...A8(z) with all-passes Aj = (g + z^-Dj) / (1 + g z^-Dj),
    the damping low-pass H(z) = (1 + z^-1) / (B + A z^-1), and the delay z^-T.
    A pole of the loop at radius r = e^-s needs f |blend| |H| r^-T = 1 there.
    Everything but f grows as r shrinks, so the largest s at which the bound of
    that product still stays below 1 gives the slowest decay, s nepers per sample.

    Bounding the all-pass product by each stage at its own peak assumes every
    peak coincides and overstates the tail up to tenfold; the stages' peaks fall
    at different frequencies, and by Jensen's formula an all-pass averages
    ln|Aj| = s Dj around the circle. So the product is taken as the average of
    all eight plus the one largest peak above its average, which rendered ring-outs
    (10 ms to 2 s, feedback 10 to 95 %, every diffusion) follow within -6 % .. +72 %; the
    doubled level above covers the shortfall.
*/
struct Loop
{
    double feedback, delay;
    double diffusion, allpassGain, allpassDelay[PlimbradeDSP::numAllpassStages];
    double dampT;

    // The log of the loop's largest gain on the circle of radius e^-s; +inf at
    // or past a pole.
    double logGain (double s) const noexcept
    {
        constexpr double inf = std::numeric_limits<double>::infinity();
        double total = std::log (feedback) + s * delay;

        if (diffusion > 0.0)
        {
            double average = 0.0, peak = 0.0;
            for (double d : allpassDelay)
            {
                const double x = std::exp (s * d);
                if (allpassGain * x >= 1.0)
                    return inf;
                average += s * d;
                peak = std::max (peak, std::log ((x - allpassGain) / (1.0 - allpassGain * x)) - s * d);
            }
            total += std::log ((1.0 - diffusion) + diffusion * std::exp (average + peak));
        }

        // |H| <= (1 + 1/r) / (B |1 - |p| / r|), p = (1 - t) / (1 + t) its pole.
        const double r = std::exp (-s), b = 1.0 / dampT + 1.0, pole = std::fabs ((1.0 - dampT) / (1.0 + dampT));
        if (r <= pole)
            return inf;
        return total + std::log ((1.0 + 1.0 / r) / (b * (1.0 - pole / r)));
    }

    // A decay rate no faster than the loop's slowest one, or 0 when that is too
    // slow to tell from none.
    double slowestDecay() const noexcept
    {
        // Without the diffuser and the damping the loop decays at -ln f per pass;
        // they only slow it, and no pole lies past the diffuser's or the damping's own.
        double upper = -std::log (feedback) / delay;
        const double dampPole = std::fabs ((1.0 - dampT) / (1.0 + dampT));
        if (dampPole > 0.0)
            upper = std::min (upper, -std::log (dampPole));
        if (diffusion > 0.0)
            upper = std::min (upper, -std::log (allpassGain) / *std::max_element (std::begin (allpassDelay), std::end (allpassDelay)));

        // Bisection on ln s, keeping the side below the root: the tail comes out
        // long, never short.
        double below = std::log (upper) - 14.0, above = std::log (upper);
        if (logGain (std::exp (below)) >= 0.0)
            return 0.0;
        for (int i = 0; i < 24; ++i)
        {
            const double middle = 0.5 * (below + above);
            (logGain (std::exp (middle)) < 0.0 ? below : above) = middle;
        }
        return std::exp (below);
    }
};
} // namespace

TailEstimate::TailEstimate (const ParamBridge& bridge)
{
    static_assert (std::size (fields) == std::tuple_size<decltype (sources)>::value);
    for (std::size_t i = 0; i < sources.size(); ++i)
    {
        sources[i].field = fields[i].second;
        for (const auto& entry : bridge.entries)
            if (entry.id == fields[i].first)
                sources[i].entry = &entry;
    }
}

TailEstimate::Settings TailEstimate::currentSettings() const noexcept
{
    Settings settings;
    for (const auto& source : sources)
        if (source.entry != nullptr && source.entry->rawValue != nullptr)
            settings.*source.field = zoneValue (*source.entry->info, source.entry->rawValue->load (std::memory_order_relaxed));

    settings.bpm = tempo.load (std::memory_order_relaxed);
    return settings;
}

double TailEstimate::seconds (const Settings& s, double sampleRate) noexcept
{
    constexpr double endless = std::numeric_limits<double>::infinity();

    // Every time below is counted in the engine's samples, at the rate it runs at.
    const double fs = engineRate (sampleRate);
    const auto belowNyquist = [fs] (double hz) { return std::min (hz, 0.49 * fs); };

    // The DC blocker's own fall from twice full scale.
    double samples = std::log (dcOvershoot / threshold) / -std::log (0.995);

    // The band split rings on at its resonance, up to Q times the input, after the input stops.
    {
        const double k = 1.0 / (0.5 + 0.075 * s.res), g = std::tan (3.141592653589793 * belowNyquist (std::max (1.0f, s.cutoff)) / fs);
        const double decay = 0.5 * std::log ((1.0 + g * k + g * g) / std::abs (1.0 - g * k + g * g));
        if (decay > 0.0)
            samples += std::log (std::max (1.0, 1.0 / k) / threshold) / decay;
    }

    // Whatever a band stores is at most full scale (the delay line saturates), so
    // its echoes reach the output at most at the wet gains.
    const double wet = 0.01 * s.drywet * std::pow (10.0, 0.05 * s.amp) * 0.5;
    const double bandGain[2] = { std::pow (10.0, 0.05 * s.lowamp) * (1.0 - s.lowmute), std::pow (10.0, 0.05 * s.highamp) * (1.0 - s.highmute) };
    const double firstEcho = dcOvershoot * wet * (std::max (0.0, bandGain[0]) + std::max (0.0, bandGain[1]));

    const double tempo = s.bpm >= 1.0f ? s.bpm : 1.0;
    const double drift = s.driftdepth * fs * 0.0001;
    const bool shifterInPath = s.pitchstage == 1.0f || s.pitchstage == 2.0f;

    // clang-format off
    struct Band { float feed, damp, timesync, time, syncedtime, window; };
    const Band bands[2] { { s.lowfeed, s.lowdamp, s.lowtimesync, s.lowtime, s.lowsyncedtime, s.lowpitchwindow },
                          { s.highfeed, s.highdamp, s.hightimesync, s.hightime, s.highsyncedtime, s.highpitchwindow } };
    // clang-format on

    double longestBand = 0.0;
    for (int b = 0; b < 2; ++b)
    {
        if (! (bandGain[b] > 0.0) || ! (firstEcho > threshold))
            continue;

        const Band& band = bands[b];
        const double time = PlimbradeDSP::isOn (band.timesync)
                                ? PlimbradeDSP::noteBeats[PlimbradeDSP::syncedTimeIndex (band.syncedtime)] * fs * 60.0 / tempo
                                                 : fs * 0.001 * band.time;
        // The read interpolates one sample further, and the loop adds one more.
        const double delay = std::clamp (time + drift, 1.0, 2.0 * fs) + 2.0;

        // The pitch shifter reads up to two windows back, before or after the loop.
        double bandSamples = delay + (shifterInPath ? 2.0 * band.window + 2.0 : 0.0);

        const double feedback = 0.01 * band.feed;
        if (feedback >= 1.0 || std::isnan (feedback))
            return endless;

        if (feedback > 0.0)
        {
            Loop loop {};
            loop.feedback = feedback;
            loop.delay = delay;
            loop.diffusion = std::clamp (0.01 * s.diffusion, 0.0, 1.0);
            loop.allpassGain = 0.93 * loop.diffusion + 0.01;
            for (int j = 0; j < PlimbradeDSP::numAllpassStages; ++j)
                loop.allpassDelay[j] = PlimbradeDSP::allpassLengthAt (j, static_cast<float> (fs)) + 1.0;
            loop.dampT = std::tan (3.141592653589793 * belowNyquist (std::max (1.0f, band.damp)) / fs);

            const double decay = loop.slowestDecay();
            if (! (decay > 0.0))
                return endless;
            bandSamples += std::log (firstEcho / threshold) / decay;
        }

        longestBand = std::max (longestBand, bandSamples);
    }

    // One engine sample per host sample, at the host's rate (or the engine's,
    // where the host's is no rate).
    const double hostRate = std::isfinite (sampleRate) && sampleRate > 0.0 ? sampleRate : fs;
    const double result = (samples + longestBand) / hostRate;
    return result <= longestFiniteSeconds ? result : endless;
}
