#include "engine/PlimbradeDSP.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#if defined(__SSE__)
    #include <xmmintrin.h>
#endif

namespace
{
constexpr const char* offOnMenu = "menu{'OFF':0;'ON':1}";

constexpr const char* syncedTimeMenu =
    "menu{'1 BAR':0;'1/2D':1;'1/2':2;'1/4D':3;'1/2T':4;'1/4':5;'1/8D':6;'1/4T':7;'1/8':8;"
    "'1/16D':9;'1/8T':10;'1/16':11;'1/32D':12;'1/16T':13;'1/32':14;'1/64D':15;'1/32T':16;'1/64':17}";

constexpr bool ringStartsSpreadOverCacheSets()
{
    constexpr std::size_t floatsPer4KiB = 1024;
    for (int a = 0; a < PlimbradeDSP::numRings; ++a)
        for (int b = a + 1; b < PlimbradeDSP::numRings; ++b)
            if (PlimbradeDSP::ringOffset (a) % floatsPer4KiB == PlimbradeDSP::ringOffset (b) % floatsPer4KiB)
                return false;
    return true;
}
static_assert (ringStartsSpreadOverCacheSets(), "two rings would share an L1 set at their start");
static_assert (PlimbradeDSP::ringOffset (PlimbradeDSP::numRings) == PlimbradeDSP::ringFloats);
static_assert (PlimbradeDSP::ringFloats - PlimbradeDSP::numRings * PlimbradeDSP::ringStagger == 3465216);

inline bool sameBits (float a, float b) noexcept
{
    std::uint32_t x, y;
    std::memcpy (&x, &a, sizeof x);
    std::memcpy (&y, &b, sizeof y);
    return x == y;
}

// fmod (x, w) without the library call on the phase's usual range [w - 4, 2w + 1):
// on [w, 2w) the difference x - w is exact (Sterbenz), so the result is the same.
inline float wrapPhase (float x, float w) noexcept
{
    if (x >= 0.0f && x < w)
        return x;
    if (x >= w && x < w + w)
        return x - w;
    return std::fmod (x, w);
}

// trunc (x) as an int, for clamping into small index ranges: values beyond
// [lo - 1, hi + 1] clamp to the same index, so they are brought in first.
inline int truncIndex (float x, int lo, int hi) noexcept
{
    const float below = static_cast<float> (lo - 1), above = static_cast<float> (hi + 1);
    const float inRange = x > below ? (x < above ? x : above) : below;
    return static_cast<int> (inRange);
}

inline int clampIndex (int i, int lo, int hi) noexcept { return i < lo ? lo : (i > hi ? hi : i); }

/*  The four band chains side by side, in the rings' lane order: low left,
    low right, high left, high right. Lane-wise arithmetic is the same IEEE
    single-precision arithmetic as on scalars, so the results are identical.
*/
typedef float Lanes __attribute__ ((vector_size (16)));

inline Lanes splat (float x) noexcept { return Lanes { x, x, x, x }; }
inline Lanes perBand (float low, float high) noexcept { return Lanes { low, low, high, high }; }

inline Lanes loadLanes (const float* p) noexcept
{
    Lanes v;
    std::memcpy (&v, p, sizeof v);
    return v;
}

inline void storeLanes (float* p, Lanes v) noexcept { std::memcpy (p, &v, sizeof v); }

// The low band's two lanes from one ring entry and the high band's from another.
inline Lanes loadBandPairs (const float* lowEntry, const float* highEntry) noexcept
{
#if defined(__SSE__)
    const __m128 low = _mm_loadl_pi (_mm_setzero_ps(), reinterpret_cast<const __m64*> (lowEntry));
    return _mm_loadh_pi (low, reinterpret_cast<const __m64*> (highEntry + 2));
#else
    return Lanes { lowEntry[0], lowEntry[1], highEntry[2], highEntry[3] };
#endif
}

template <std::uint32_t Mask>
inline const float* entryAt (const float* ring, std::uint32_t writeIndex, std::uint32_t distance) noexcept
{
    return ring + PlimbradeDSP::numChains * ((writeIndex - distance) & Mask);
}

template <std::uint32_t Mask>
inline float* entryAt (float* ring, std::uint32_t writeIndex) noexcept
{
    return ring + PlimbradeDSP::numChains * (writeIndex & Mask);
}

// A read between the entries n and n + 1 samples back, the same for both
// channels of a band.
struct TapPosition
{
    std::uint32_t near, far;
    float frac;

    void set (float position, int maxIndex) noexcept
    {
        if (position > 0.0f && position < static_cast<float> (maxIndex))
        {
            // Inside the range nothing clamps, and floor is the truncation.
            const int i = static_cast<int> (position);
            near = static_cast<std::uint32_t> (i);
            far = near + 1;
            frac = position - static_cast<float> (i);
            return;
        }
        const int i = truncIndex (position, 0, maxIndex);
        near = static_cast<std::uint32_t> (clampIndex (i, 0, maxIndex));
        far = static_cast<std::uint32_t> (clampIndex (i + 1, 0, maxIndex));
        frac = position - std::floor (position);
    }
};

template <std::uint32_t Mask>
inline Lanes readInterpolated (const float* ring, std::uint32_t writeIndex, const TapPosition& low, const TapPosition& high) noexcept
{
    const Lanes nearValues = loadBandPairs (entryAt<Mask> (ring, writeIndex, low.near), entryAt<Mask> (ring, writeIndex, high.near));
    const Lanes farValues = loadBandPairs (entryAt<Mask> (ring, writeIndex, low.far), entryAt<Mask> (ring, writeIndex, high.far));
    return perBand (1.0f - low.frac, 1.0f - high.frac) * nearValues + perBand (low.frac, high.frac) * farValues;
}

// The farthest a shifter tap reads; far beyond any window.
constexpr int maxShiftTapIndex = 65537;

// Where both bands' pitch shifters read this sample: two taps a window apart,
// crossfaded, the same for the PRE and POST rings.
struct ShiftTaps
{
    bool engaged[2];
    float fade[2];
    TapPosition first[2], second[2];

    bool anyEngaged() const noexcept { return engaged[0] || engaged[1]; }

    // The shifted lanes; a band whose shifter rests passes `unshifted`.
    template <std::uint32_t Mask>
    Lanes apply (const float* ring, std::uint32_t writeIndex, Lanes unshifted) const noexcept
    {
        const Lanes firstTap = readInterpolated<Mask> (ring, writeIndex, first[0], first[1]);
        const Lanes secondTap = readInterpolated<Mask> (ring, writeIndex, second[0], second[1]);
        Lanes out = perBand (fade[0], fade[1]) * firstTap + perBand (1.0f - fade[0], 1.0f - fade[1]) * secondTap;
        for (int b = 0; b < 2; ++b)
            if (! engaged[b])
            {
                out[2 * b] = unshifted[2 * b];
                out[2 * b + 1] = unshifted[2 * b + 1];
            }
        return out;
    }
};

// How both bands read their delay lines this sample.
struct DelayRead
{
    TapPosition repitch[2];
    std::uint32_t tapA[2], tapB[2];
    float xfadePos[2];

    template <std::uint32_t Mask>
    Lanes read (const float* ring, std::uint32_t writeIndex, bool smooth) const noexcept
    {
        if (smooth)
        {
            const Lanes a = loadBandPairs (entryAt<Mask> (ring, writeIndex, tapA[0]), entryAt<Mask> (ring, writeIndex, tapA[1]));
            const Lanes b = loadBandPairs (entryAt<Mask> (ring, writeIndex, tapB[0]), entryAt<Mask> (ring, writeIndex, tapB[1]));
            return a + (b - a) * perBand (xfadePos[0], xfadePos[1]);
        }
        return readInterpolated<Mask> (ring, writeIndex, repitch[0], repitch[1]);
    }
};

template <int Stage>
inline Lanes allpassStage (Lanes u, Lanes g, float* rings, float* tap, std::uint32_t writeIndex, int length) noexcept
{
    constexpr std::uint32_t mask = static_cast<std::uint32_t> (PlimbradeDSP::allpassRingSize (Stage)) - 1;
    float* const ring = rings + PlimbradeDSP::ringOffset (Stage);
    const Lanes previousTap = loadLanes (tap);
    const Lanes w = u - g * previousTap;
    storeLanes (entryAt<mask> (ring, writeIndex), w);
    storeLanes (tap, loadLanes (entryAt<mask> (ring, writeIndex, static_cast<std::uint32_t> (length))));
    return g * w + previousTap;
}

// Eight all-passes (g + z^-D) / (1 + g z^-D) in series, D = length + 1.
template <int... Stage>
inline Lanes diffuse (Lanes u, Lanes g, float* rings, float (*taps)[PlimbradeDSP::numChains], std::uint32_t writeIndex,
                      const int* lengths, std::integer_sequence<int, Stage...>) noexcept
{
    ((u = allpassStage<Stage> (u, g, rings, taps[Stage], writeIndex, lengths[Stage])), ...);
    return u;
}

// Bilinear one-pole low-pass with t = tan (pi f / fs): y = (x + x' - A y') / B.
inline void dampingCoefficients (float angle, float& a, float& b) noexcept
{
    const float inverseT = 1.0f / std::tan (angle);
    a = 1.0f - inverseT;
    b = inverseT + 1.0f;
}

inline Lanes tanhLanes (Lanes x) noexcept
{
    return Lanes { std::tanh (x[0]), std::tanh (x[1]), std::tanh (x[2]), std::tanh (x[3]) };
}

constexpr int preRingIndex = PlimbradeDSP::numAllpassStages;
constexpr int delayRingIndex = preRingIndex + 1;
constexpr int postRingIndex = preRingIndex + 2;
constexpr std::uint32_t preMask = PlimbradeDSP::preRingSize - 1;
constexpr std::uint32_t delayMask = PlimbradeDSP::delayRingSize - 1;
constexpr std::uint32_t postMask = PlimbradeDSP::postRingSize - 1;
} // namespace

void PlimbradeDSP::buildUserInterface (UI* ui)
{
    ui->openVerticalBox ("Plimbrade");

    ui->declare (&amp, "scale", "exp");
    ui->declare (&amp, "uiname", "Output Amp");
    ui->declare (&amp, "unit", "dB");
    ui->addHorizontalSlider ("amp", &amp, 0.0f, -70.0f, 6.0f, 0.001f);

    ui->declare (&bpm, "hidden", "1");
    ui->addHorizontalSlider ("bpm", &bpm, 120.0f, 1.0f, 999.0f, 1.0f);

    ui->declare (&cutoff, "scale", "log");
    ui->declare (&cutoff, "uiname", "Cutoff");
    ui->declare (&cutoff, "unit", "Hz");
    ui->addHorizontalSlider ("cutoff", &cutoff, 1000.0f, 60.0f, 11000.0f, 1.0f);

    ui->declare (&delaymode, "style", "menu{'REPITCH':0;'SMOOTH':1}");
    ui->declare (&delaymode, "uiname", "Delay Type");
    ui->addHorizontalSlider ("delaymode", &delaymode, 0.0f, 0.0f, 1.0f, 1.0f);

    ui->declare (&diffusion, "uiname", "Diffusion");
    ui->declare (&diffusion, "unit", "%");
    ui->addHorizontalSlider ("diffusion", &diffusion, 0.0f, 0.0f, 100.0f, 1.0f);

    ui->declare (&driftdepth, "uiname", "Drift Amount");
    ui->declare (&driftdepth, "unit", "%");
    ui->addHorizontalSlider ("driftdepth", &driftdepth, 0.0f, 0.0f, 100.0f, 1.0f);

    ui->declare (&driftrate, "scale", "log");
    ui->declare (&driftrate, "uiname", "Drift Rate");
    ui->declare (&driftrate, "unit", "Hz");
    ui->addHorizontalSlider ("driftrate", &driftrate, 0.5f, 0.001f, 5.0f, 0.001f);

    ui->declare (&drywet, "uiname", "Dry/Wet");
    ui->declare (&drywet, "unit", "%");
    ui->addHorizontalSlider ("drywet", &drywet, 50.0f, 0.0f, 100.0f, 1.0f);

    ui->declare (&highamp, "uiname", "High Amp");
    ui->declare (&highamp, "unit", "dB");
    ui->addHorizontalSlider ("highamp", &highamp, 0.0f, -12.0f, 12.0f, 0.001f);

    ui->declare (&highdamp, "scale", "log");
    ui->declare (&highdamp, "uiname", "High Damp Frequency");
    ui->declare (&highdamp, "unit", "Hz");
    ui->addHorizontalSlider ("highdamp", &highdamp, 6000.0f, 60.0f, 11000.0f, 1.0f);

    ui->declare (&highfeed, "uiname", "High Feedback");
    ui->declare (&highfeed, "unit", "%");
    ui->addHorizontalSlider ("highfeed", &highfeed, 60.0f, 0.0f, 100.0f, 1.0f);

    ui->declare (&highmute, "style", offOnMenu);
    ui->declare (&highmute, "uiname", "High Mute");
    ui->addHorizontalSlider ("highmute", &highmute, 0.0f, 0.0f, 1.0f, 1.0f);

    ui->declare (&highpan, "uiname", "High Pan");
    ui->addHorizontalSlider ("highpan", &highpan, 0.0f, -1.0f, 1.0f, 0.001f);

    ui->declare (&highpitch, "uiname", "High Pitch");
    ui->addHorizontalSlider ("highpitch", &highpitch, 0.0f, -24.0f, 24.0f, 1.0f);

    ui->declare (&highpitchwindow, "uiname", "High Pitch Window");
    ui->addHorizontalSlider ("highpitchwindow", &highpitchwindow, 1024.0f, 32.0f, 4096.0f, 32.0f);

    ui->declare (&highsyncedtime, "style", syncedTimeMenu);
    ui->declare (&highsyncedtime, "uiname", "High Synced Time");
    ui->addHorizontalSlider ("highsyncedtime", &highsyncedtime, 8.0f, 0.0f, 17.0f, 1.0f);

    ui->declare (&hightime, "scale", "log");
    ui->declare (&hightime, "uiname", "High Time");
    ui->declare (&hightime, "unit", "ms");
    ui->addHorizontalSlider ("hightime", &hightime, 120.0f, 1.0f, 1000.0f, 1.0f);

    ui->declare (&hightimesync, "style", offOnMenu);
    ui->declare (&hightimesync, "uiname", "High Time Sync");
    ui->addHorizontalSlider ("hightimesync", &hightimesync, 1.0f, 0.0f, 1.0f, 1.0f);

    ui->declare (&lowamp, "uiname", "Low Amp");
    ui->declare (&lowamp, "unit", "dB");
    ui->addHorizontalSlider ("lowamp", &lowamp, 0.0f, -12.0f, 12.0f, 0.001f);

    ui->declare (&lowdamp, "scale", "log");
    ui->declare (&lowdamp, "uiname", "Low Damp Frequency");
    ui->declare (&lowdamp, "unit", "Hz");
    ui->addHorizontalSlider ("lowdamp", &lowdamp, 6000.0f, 60.0f, 11000.0f, 1.0f);

    ui->declare (&lowfeed, "uiname", "Low Feedback");
    ui->declare (&lowfeed, "unit", "%");
    ui->addHorizontalSlider ("lowfeed", &lowfeed, 60.0f, 0.0f, 100.0f, 1.0f);

    ui->declare (&lowmute, "style", offOnMenu);
    ui->declare (&lowmute, "uiname", "Low Mute");
    ui->addHorizontalSlider ("lowmute", &lowmute, 0.0f, 0.0f, 1.0f, 1.0f);

    ui->declare (&lowpan, "uiname", "Low Pan");
    ui->addHorizontalSlider ("lowpan", &lowpan, 0.0f, -1.0f, 1.0f, 0.001f);

    ui->declare (&lowpitch, "uiname", "Low Pitch");
    ui->addHorizontalSlider ("lowpitch", &lowpitch, 0.0f, -24.0f, 24.0f, 1.0f);

    ui->declare (&lowpitchwindow, "uiname", "Low Pitch Window");
    ui->addHorizontalSlider ("lowpitchwindow", &lowpitchwindow, 1024.0f, 32.0f, 4096.0f, 32.0f);

    ui->declare (&lowsyncedtime, "style", syncedTimeMenu);
    ui->declare (&lowsyncedtime, "uiname", "Low Synced Time");
    ui->addHorizontalSlider ("lowsyncedtime", &lowsyncedtime, 6.0f, 0.0f, 17.0f, 1.0f);

    ui->declare (&lowtime, "scale", "log");
    ui->declare (&lowtime, "uiname", "Low Time");
    ui->declare (&lowtime, "unit", "ms");
    ui->addHorizontalSlider ("lowtime", &lowtime, 60.0f, 1.0f, 1000.0f, 1.0f);

    ui->declare (&lowtimesync, "style", offOnMenu);
    ui->declare (&lowtimesync, "uiname", "Low Time Sync");
    ui->addHorizontalSlider ("lowtimesync", &lowtimesync, 1.0f, 0.0f, 1.0f, 1.0f);

    ui->declare (&pitchstage, "style", "menu{'INACTIVE':0;'PRE':1;'POST':2}");
    ui->declare (&pitchstage, "uiname", "Pitch Shifter Stage");
    ui->addHorizontalSlider ("pitchstage", &pitchstage, 1.0f, 0.0f, 2.0f, 1.0f);

    ui->declare (&res, "uiname", "Resonance");
    ui->declare (&res, "unit", "%");
    ui->addHorizontalSlider ("res", &res, 40.0f, 0.0f, 100.0f, 1.0f);

    ui->closeBox();
}

void PlimbradeDSP::metadata (Meta* m)
{
    // Credits of the signal-processing libraries the effect's design draws on,
    // in ascending key order.
    static constexpr const char* pairs[][2] = {
        { "basics.lib/name", "Faust Basic Element Library" },
        { "basics.lib/sAndH:author", "Romain Michon" },
        { "basics.lib/version", "0.8" },
        { "compile_options", "-a minimal.cpp -lang cpp -i -cn PlimbradeDSP -es 1 -mcd 16 -single -ftz 0" },
        { "delays.lib/name", "Faust Delay Library" },
        { "delays.lib/version", "0.1" },
        { "filename", "Plimbrade.dsp" },
        { "filters.lib/allpass_comb:author", "Julius O. Smith III" },
        { "filters.lib/allpass_comb:copyright", "Copyright (C) 2003-2019 by Julius O. Smith III <jos@ccrma.stanford.edu>" },
        { "filters.lib/allpass_comb:license", "MIT-style STK-4.3 license" },
        { "filters.lib/dcblocker:author", "Julius O. Smith III" },
        { "filters.lib/dcblocker:copyright", "Copyright (C) 2003-2019 by Julius O. Smith III <jos@ccrma.stanford.edu>" },
        { "filters.lib/dcblocker:license", "MIT-style STK-4.3 license" },
        { "filters.lib/iir:author", "Julius O. Smith III" },
        { "filters.lib/iir:copyright", "Copyright (C) 2003-2019 by Julius O. Smith III <jos@ccrma.stanford.edu>" },
        { "filters.lib/iir:license", "MIT-style STK-4.3 license" },
        { "filters.lib/lowpass:author", "Julius O. Smith III" },
        { "filters.lib/lowpass:copyright", "Copyright (C) 2003-2019 by Julius O. Smith III <jos@ccrma.stanford.edu>" },
        { "filters.lib/lowpass:license", "MIT-style STK-4.3 license" },
        { "filters.lib/name", "Faust Filters Library" },
        { "filters.lib/nlf2:author", "Julius O. Smith III" },
        { "filters.lib/nlf2:copyright", "Copyright (C) 2003-2019 by Julius O. Smith III <jos@ccrma.stanford.edu>" },
        { "filters.lib/nlf2:license", "MIT-style STK-4.3 license" },
        { "filters.lib/pole:author", "Julius O. Smith III" },
        { "filters.lib/pole:copyright", "Copyright (C) 2003-2019 by Julius O. Smith III <jos@ccrma.stanford.edu>" },
        { "filters.lib/pole:license", "MIT-style STK-4.3 license" },
        { "filters.lib/svf:author", "Oleg Nesterov" },
        { "filters.lib/svf:copyright", "Copyright (C) 2020 Oleg Nesterov <oleg@redhat.com>" },
        { "filters.lib/svf:license", "MIT-style STK-4.3 license" },
        { "filters.lib/tf1:author", "Julius O. Smith III" },
        { "filters.lib/tf1:copyright", "Copyright (C) 2003-2019 by Julius O. Smith III <jos@ccrma.stanford.edu>" },
        { "filters.lib/tf1:license", "MIT-style STK-4.3 license" },
        { "filters.lib/tf1s:author", "Julius O. Smith III" },
        { "filters.lib/tf1s:copyright", "Copyright (C) 2003-2019 by Julius O. Smith III <jos@ccrma.stanford.edu>" },
        { "filters.lib/tf1s:license", "MIT-style STK-4.3 license" },
        { "filters.lib/tf2:author", "Julius O. Smith III" },
        { "filters.lib/tf2:copyright", "Copyright (C) 2003-2019 by Julius O. Smith III <jos@ccrma.stanford.edu>" },
        { "filters.lib/tf2:license", "MIT-style STK-4.3 license" },
        { "filters.lib/tf2s:author", "Julius O. Smith III" },
        { "filters.lib/tf2s:copyright", "Copyright (C) 2003-2019 by Julius O. Smith III <jos@ccrma.stanford.edu>" },
        { "filters.lib/tf2s:license", "MIT-style STK-4.3 license" },
        { "filters.lib/version", "0.3" },
        { "filters.lib/zero:author", "Julius O. Smith III" },
        { "filters.lib/zero:copyright", "Copyright (C) 2003-2019 by Julius O. Smith III <jos@ccrma.stanford.edu>" },
        { "filters.lib/zero:license", "MIT-style STK-4.3 license" },
        { "maths.lib/author", "GRAME" },
        { "maths.lib/copyright", "GRAME" },
        { "maths.lib/license", "LGPL with exception" },
        { "maths.lib/name", "Faust Math Library" },
        { "maths.lib/version", "2.5" },
        { "misceffects.lib/name", "Misc Effects Library" },
        { "misceffects.lib/version", "2.0" },
        { "name", "Plimbrade" },
        { "noises.lib/name", "Faust Noise Generator Library" },
        { "noises.lib/version", "0.4" },
        { "oscillators.lib/hs_phasor:author", "Mike Olsen, revised by Stéphane Letz" },
        { "oscillators.lib/lf_sawpos:author", "Bart Brouns, revised by Stéphane Letz" },
        { "oscillators.lib/lf_sawpos:licence", "STK-4.3" },
        { "oscillators.lib/name", "Faust Oscillator Library" },
        { "oscillators.lib/version", "0.3" },
        { "platform.lib/name", "Generic Platform Library" },
        { "platform.lib/version", "0.2" },
        { "routes.lib/name", "Faust Signal Routing Library" },
        { "routes.lib/version", "0.2" },
        { "signals.lib/name", "Faust Signal Routing Library" },
        { "signals.lib/version", "0.3" },
    };

    for (const auto& pair : pairs)
        m->declare (pair[0], pair[1]);
}

void PlimbradeDSP::instanceInit (int rate)
{
    instanceConstants (rate);
    instanceResetUserInterface();
    instanceClear();
}

void PlimbradeDSP::instanceConstants (int rate)
{
    sampleRate = rate;

    const float fs = std::min (192000.0f, std::max (1.0f, static_cast<float> (rate)));

    percentSmoothCoef = 0.441f / fs;
    smoothCoef = 44.1f / fs;
    smoothPole = 1.0f - smoothCoef;
    piOverFs = 3.1415927f / fs;
    twoPiOverFs = 6.2831855f / fs;

    // The product is rounded to float before the 1 is taken off: in double
    // precision several lengths would come out one sample shorter.
    for (int stage = 0; stage < numAllpassStages; ++stage)
    {
        allpassLength[stage] = allpassLengthAt (stage, fs);
    }

    maxDelay = fs + fs;
    maxDelayIndex = maxDelay + 1.0f;
    samplesPerMs = fs * 0.001f;
    samplesPerMinute = fs * 60.0f;
    driftTimeFactor = fs * 0.0001f;
}

void PlimbradeDSP::instanceResetUserInterface()
{
    drywet = 50.0f;
    amp = 0.0f;
    lowamp = 0.0f;
    lowmute = 0.0f;
    lowpan = 0.0f;
    pitchstage = 1.0f;
    lowpitch = 0.0f;
    driftdepth = 0.0f;
    driftrate = 0.5f;
    lowpitchwindow = 1024.0f;
    delaymode = 0.0f;
    lowfeed = 60.0f;
    diffusion = 0.0f;
    lowdamp = 6000.0f;
    cutoff = 1000.0f;
    res = 40.0f;
    lowtimesync = 1.0f;
    lowtime = 60.0f;
    bpm = 120.0f;
    lowsyncedtime = 6.0f;
    highamp = 0.0f;
    highmute = 0.0f;
    highpan = 0.0f;
    highpitch = 0.0f;
    highpitchwindow = 1024.0f;
    highfeed = 60.0f;
    highdamp = 6000.0f;
    hightimesync = 1.0f;
    hightime = 120.0f;
    highsyncedtime = 8.0f;
}

void PlimbradeDSP::instanceClear()
{
    writeIndex = 0;

    ampSmooth = dryWetSmooth = lowGainSmooth = highGainSmooth = 0.0f;
    lowOpenSmooth = highOpenSmooth = lowPanSmooth = highPanSmooth = 0.0f;
    diffusionSmooth = cutoffSmooth = lowDampSmooth = highDampSmooth = 0.0f;
    lowTimeSmooth = highTimeSmooth = 0.0f;

    firstSampleSeen = 0;
    driftOscS = driftOscC = 0.0f;
    noiseSeed = 0;
    driftHeld = 0.0f;
    std::fill (std::begin (driftLp), std::end (driftLp), 0.0f);

    // The caches start as the true values at a zero argument.
    cutoffKey = 0.0f;
    cutoffG = std::tan (cutoffKey);

    for (auto& b : band)
    {
        b = BandState {};
        b.ratio = std::exp2 (b.shiftKey * (1.0f / 12.0f));
        dampingCoefficients (b.dampKey, b.dampA, b.dampB);
    }

    for (auto& c : channel)
        c = ChannelState {};

    for (auto& taps : diffuserTap)
        std::fill (std::begin (taps), std::end (taps), 0.0f);
    std::fill (std::begin (dampPrevIn), std::end (dampPrevIn), 0.0f);
    std::fill (std::begin (dampPrevOut), std::end (dampPrevOut), 0.0f);
    std::fill (std::begin (lastDelayRead), std::end (lastDelayRead), 0.0f);

    std::fill (std::begin (rings), std::end (rings), 0.0f);
}

void PlimbradeDSP::compute (int count, FAUSTFLOAT** inputs, FAUSTFLOAT** outputs)
{
    // ---- Block constants: the zones are read here only.
    const float fs = maxDelay * 0.5f;

    // Tangent-based filters turn unstable once pi f / fs passes pi/2; keep every
    // corner just below half the rate (no effect on the control range at 44.1 kHz and up).
    const float cornerCeiling = 0.49f * fs;
    auto belowNyquist = [cornerCeiling] (float hz) { return hz < cornerCeiling ? hz : cornerCeiling; };

    const float ampIn = smoothCoef * std::pow (10.0f, amp * 0.05f);
    const float lowGainIn = smoothCoef * std::pow (10.0f, lowamp * 0.05f);
    const float highGainIn = smoothCoef * std::pow (10.0f, highamp * 0.05f);
    const float lowOpenIn = smoothCoef * (1.0f - lowmute);
    const float highOpenIn = smoothCoef * (1.0f - highmute);
    const float lowPanIn = smoothCoef * lowpan;
    const float highPanIn = smoothCoef * highpan;
    const float dryWetIn = percentSmoothCoef * drywet;
    const float diffusionIn = percentSmoothCoef * diffusion;
    const float cutoffIn = smoothCoef * belowNyquist (cutoff);
    const float dampIn[2] = { smoothCoef * belowNyquist (lowdamp), smoothCoef * belowNyquist (highdamp) };

    const float splitDamping = 1.0f / (0.5f + 0.075f * res);
    const Lanes feedGain = perBand (lowfeed * 0.01f, highfeed * 0.01f);
    const float shiftBase[2] = { lowpitch, highpitch };
    const float window[2] = { lowpitchwindow, highpitchwindow };
    const float inverseWindow[2] = { 1.0f / lowpitchwindow, 1.0f / highpitchwindow };
    const float driftPitchDepth = driftdepth * 0.01f;
    const float driftTimeDepth = driftdepth * driftTimeFactor;

    const float driftAngle = driftrate * twoPiOverFs;
    const float driftRotSin = std::sin (driftAngle);
    const float driftRotCos = std::cos (driftAngle);
    const float driftT = std::tan (belowNyquist (driftrate) * piOverFs);
    const float driftLpA = 1.0f - 1.0f / driftT;
    const float driftLpB = 1.0f / (1.0f / driftT + 1.0f);

    // A tempo that is not a number of at least 1 bpm would make the synced time
    // infinite or negative, and the smoother would hold on to it.
    const float tempo = bpm >= 1.0f ? bpm : 1.0f;
    const float samplesPerBeat = samplesPerMinute / tempo;

    const bool preActive = pitchstage == 1.0f;
    const bool postActive = pitchstage == 2.0f;
    const bool smoothMode = isOn (delaymode);

    const float lowTimeTarget = isOn (lowtimesync) ? noteBeats[syncedTimeIndex (lowsyncedtime)] * samplesPerBeat
                                                   : samplesPerMs * lowtime;
    const float highTimeTarget = isOn (hightimesync) ? noteBeats[syncedTimeIndex (highsyncedtime)] * samplesPerBeat
                                                     : samplesPerMs * hightime;
    const float timeIn[2] = { smoothCoef * lowTimeTarget, smoothCoef * highTimeTarget };

    if (count < 1)
        return;

    const float pole = smoothPole;
    const int maxReadIndex = static_cast<int> (maxDelayIndex);
    constexpr float fadeStep = 1.0f / 1024.0f;
    float* const timeSmooth[2] = { &lowTimeSmooth, &highTimeSmooth };
    float* const dampSmooth[2] = { &lowDampSmooth, &highDampSmooth };
    float* const preRing = rings + ringOffset (preRingIndex);
    float* const delayRing = rings + ringOffset (delayRingIndex);
    float* const postRing = rings + ringOffset (postRingIndex);

    ShiftTaps shift {};
    DelayRead delay {};

    auto wi = static_cast<std::uint32_t> (writeIndex);

    for (int i = 0; i < count; ++i)
    {
        ampSmooth = pole * ampSmooth + ampIn;
        dryWetSmooth = pole * dryWetSmooth + dryWetIn;
        lowOpenSmooth = pole * lowOpenSmooth + lowOpenIn;
        lowGainSmooth = pole * lowGainSmooth + lowGainIn;
        lowPanSmooth = pole * lowPanSmooth + lowPanIn;
        highGainSmooth = pole * highGainSmooth + highGainIn;
        highOpenSmooth = pole * highOpenSmooth + highOpenIn;
        highPanSmooth = pole * highPanSmooth + highPanIn;
        diffusionSmooth = pole * diffusionSmooth + diffusionIn;
        cutoffSmooth = pole * cutoffSmooth + cutoffIn;

        // ---- Drift: a quadrature oscillator triggers a sample-and-hold of LCG
        // noise once per period; five low-passes at the drift rate smooth it.
        const float oscS = driftOscS, oscC = driftOscC;
        driftOscS = oscS * driftRotCos + oscC * driftRotSin;
        driftOscC = oscC * driftRotCos + static_cast<float> (1 - firstSampleSeen) - oscS * driftRotSin;
        const bool trigger = oscS <= 0.0f && driftOscS > 0.0f;

        noiseSeed = static_cast<std::int32_t> (static_cast<std::uint32_t> (noiseSeed) * 1103515245u + 12345u);
        const float noise = static_cast<float> (noiseSeed) * (1.0f / 2147483648.0f);

        const float heldBefore = driftHeld;
        driftHeld = trigger ? noise : heldBefore;
        float lpIn = driftHeld, lpInBefore = heldBefore;
        for (float& stage : driftLp)
        {
            const float before = stage;
            stage = (lpIn + lpInBefore - driftLpA * before) * driftLpB;
            lpIn = stage;
            lpInBefore = before;
        }
        const float driftValue = driftLp[4];

        // ---- Values both channels share.
        const float cutoffAngle = piOverFs * cutoffSmooth;
        if (! sameBits (cutoffAngle, cutoffKey))
        {
            cutoffKey = cutoffAngle;
            cutoffG = std::tan (cutoffAngle);
        }
        const float splitG = cutoffG;
        const float splitDenominator = splitG * (splitG + splitDamping) + 1.0f;

        for (int b = 0; b < 2; ++b)
        {
            BandState& state = band[b];

            // Pitch shifter: two taps a window apart sweep through the ring at
            // (1 - ratio) samples per sample and crossfade as the phase wraps.
            const float semitones = shiftBase[b] + driftValue * driftPitchDepth;
            if (! sameBits (semitones, state.shiftKey))
            {
                state.shiftKey = semitones;
                state.ratio = std::exp2 (semitones * 0.083333336f);
            }
            state.shiftPhase = wrapPhase ((1.0f - state.ratio) + (window[b] + state.shiftPhase), window[b]);

            shift.engaged[b] = (preActive || postActive) && semitones != 0.0f;
            if (shift.engaged[b])
            {
                shift.fade[b] = std::min (1.0f, state.shiftPhase * inverseWindow[b]);
                shift.first[b].set (state.shiftPhase, maxShiftTapIndex);
                shift.second[b].set (state.shiftPhase + window[b], maxShiftTapIndex);
            }

            float& damp = *dampSmooth[b];
            damp = pole * damp + dampIn[b];
            const float dampAngle = piOverFs * damp;
            if (! sameBits (dampAngle, state.dampKey))
            {
                state.dampKey = dampAngle;
                dampingCoefficients (dampAngle, state.dampA, state.dampB);
            }

            // Delay time in samples, 1 .. 2 s; NaN reads as 1 sample.
            float& time = *timeSmooth[b];
            time = pole * time + timeIn[b];
            const float raw = driftValue * driftTimeDepth + time;
            const float atLeastOne = raw > 1.0f ? raw : 1.0f;
            const float t = atLeastOne < maxDelay ? atLeastOne : maxDelay;

            // SMOOTH: hold two fixed taps and fade between them in 1024 steps;
            // a new fade starts only once the last one has arrived. The state
            // runs in both delay types.
            const float stepBefore = state.xfadeStep, posBefore = state.xfadePos;
            const float tapABefore = state.tapA, tapBBefore = state.tapB;
            float step;
            if (stepBefore != 0.0f)
                step = (posBefore > 0.0f && posBefore < 1.0f) ? stepBefore : 0.0f;
            else if (posBefore == 0.0f && t != tapABefore)
                step = fadeStep;
            else if (posBefore == 1.0f && t != tapBBefore)
                step = -fadeStep;
            else
                step = 0.0f;
            state.xfadeStep = step;
            state.xfadePos = std::min (1.0f, std::max (0.0f, posBefore + step));
            state.tapA = (t != tapBBefore && posBefore >= 1.0f) ? t : tapABefore;
            state.tapB = (t != tapABefore && posBefore <= 0.0f) ? t : tapBBefore;

            if (smoothMode)
            {
                delay.tapA[b] = static_cast<std::uint32_t> (std::min (maxDelay, std::max (0.0f, state.tapA)));
                delay.tapB[b] = static_cast<std::uint32_t> (std::min (maxDelay, std::max (0.0f, state.tapB)));
                delay.xfadePos[b] = state.xfadePos;
            }
            else
            {
                delay.repitch[b].set (t, maxReadIndex);
            }
        }

        const Lanes diffuserGain = splat (0.93f * diffusionSmooth + 0.01f);

        // ---- Band split of each channel at the cutoff (state-variable filter);
        // the band-pass part goes to neither band.
        const float input[2] = { inputs[0][i], inputs[1][i] };
        float low[2], high[2];
        for (int ch = 0; ch < 2; ++ch)
        {
            ChannelState& cs = channel[ch];
            const float x = input[ch];
            const float ic1 = cs.splitIc1, ic2 = cs.splitIc2;
            const float v = splitG * (x - ic2) + ic1;
            const float bp = v / splitDenominator;
            const float lp = splitG * v / splitDenominator + ic2;
            cs.splitIc1 = bp + bp - ic1;
            cs.splitIc2 = lp + lp - ic2;
            low[ch] = lp;
            high[ch] = x - (splitDamping * bp + lp);
        }
        const Lanes bandIn = { low[0], low[1], high[0], high[1] };

        // ---- The four band chains. Feedback from last sample's read: the loop
        // is the delay time plus one sample.
        const Lanes fb = feedGain * loadLanes (lastDelayRead);
        const Lanes allpassed = diffuse (fb, diffuserGain, rings, diffuserTap, wi, allpassLength,
                                         std::make_integer_sequence<int, numAllpassStages>());
        const Lanes diffused = fb + (allpassed - fb) * splat (diffusionSmooth);
        const Lanes damped = (diffused + loadLanes (dampPrevIn) - perBand (band[0].dampA, band[1].dampA) * loadLanes (dampPrevOut))
                             / perBand (band[0].dampB, band[1].dampB);
        storeLanes (dampPrevIn, diffused);
        storeLanes (dampPrevOut, damped);

        storeLanes (entryAt<preMask> (preRing, wi), preActive ? bandIn : Lanes {});
        const Lanes shifted = (preActive && shift.anyEngaged()) ? shift.apply<preMask> (preRing, wi, bandIn) : bandIn;

        // tanh bounds everything stored, so even full feedback cannot run away.
        storeLanes (entryAt<delayMask> (delayRing, wi), tanhLanes (shifted + damped));

        const Lanes read = delay.read<delayMask> (delayRing, wi, smoothMode);
        storeLanes (lastDelayRead, read);

        storeLanes (entryAt<postMask> (postRing, wi), postActive ? read : Lanes {});
        const Lanes bandOut = (postActive && shift.anyEngaged()) ? shift.apply<postMask> (postRing, wi, read) : read;

        // ---- Output stage of each channel.
        const float lowGain = lowOpenSmooth * lowGainSmooth;
        const float highGain = highOpenSmooth * highGainSmooth;
        const float ampHalf = ampSmooth * 0.5f;

        // Linear balance: the far side fades, the near side stays at 1.
        const float lowWeight[2] = { lowPanSmooth < 0.0f ? 1.0f : 1.0f - lowPanSmooth,
                                     lowPanSmooth < 0.0f ? 1.0f + lowPanSmooth : 1.0f };
        const float highWeight[2] = { highPanSmooth < 0.0f ? 1.0f : 1.0f - highPanSmooth,
                                      highPanSmooth < 0.0f ? 1.0f + highPanSmooth : 1.0f };

        for (int ch = 0; ch < 2; ++ch)
        {
            ChannelState& cs = channel[ch];
            const float x = input[ch];
            const float wet = (bandOut[ch] * lowGain * lowWeight[ch] + bandOut[2 + ch] * highGain * highWeight[ch]) * ampHalf;
            const float y = std::tanh (x + (wet - x) * dryWetSmooth);

            // DC blocker, pole 0.995.
            const float z = 0.995f * cs.dcOut + y - cs.satPrev;
            cs.satPrev = y;
            cs.dcOut = z;
            outputs[ch][i] = z;
        }

        ++wi;
        firstSampleSeen = 1;
    }

    writeIndex = static_cast<int> (wi);
}
