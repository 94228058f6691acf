#include "engine/PlimbradeDSP.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace
{
constexpr const char* offOnMenu = "menu{'OFF':0;'ON':1}";

constexpr const char* syncedTimeMenu =
    "menu{'1 BAR':0;'1/2D':1;'1/2':2;'1/4D':3;'1/2T':4;'1/4':5;'1/8D':6;'1/4T':7;'1/8':8;"
    "'1/16D':9;'1/8T':10;'1/16':11;'1/32D':12;'1/16T':13;'1/32':14;'1/64D':15;'1/32T':16;'1/64':17}";

// Delay per stage in seconds: 10 ms to 59 ms, 7 ms apart.
constexpr float allpassSeconds[PlimbradeDSP::numAllpassStages] = { 0.010f, 0.017f, 0.024f, 0.031f,
                                                                   0.038f, 0.045f, 0.052f, 0.059f };

constexpr bool ringStartsSpreadOverCacheSets()
{
    constexpr std::size_t floatsPer4KiB = 1024;
    for (int a = 0; a < PlimbradeDSP::numChains * PlimbradeDSP::ringsPerChain; ++a)
        for (int b = a + 1; b < PlimbradeDSP::numChains * PlimbradeDSP::ringsPerChain; ++b)
        {
            const auto offsetA = PlimbradeDSP::ringOffset (a / PlimbradeDSP::ringsPerChain, a % PlimbradeDSP::ringsPerChain);
            const auto offsetB = PlimbradeDSP::ringOffset (b / PlimbradeDSP::ringsPerChain, b % PlimbradeDSP::ringsPerChain);
            if (offsetA % floatsPer4KiB == offsetB % floatsPer4KiB)
                return false;
        }
    return true;
}
static_assert (ringStartsSpreadOverCacheSets(), "two rings would share an L1 set at their start");
static_assert (PlimbradeDSP::ringOffset (1, 0) == PlimbradeDSP::chainFloats);
static_assert (PlimbradeDSP::ringOffset (PlimbradeDSP::numChains, 0) == PlimbradeDSP::ringFloats);
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
        const float product = allpassSeconds[stage] * fs;
        allpassLength[stage] = static_cast<int> (std::min (fs, std::max (0.0f, product - 1.0f)));
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

    // A NaN key never equals an argument, so the first sample computes afresh.
    constexpr float noKey = std::numeric_limits<float>::quiet_NaN();
    cutoffKey = noKey;
    cutoffG = 0.0f;

    for (auto& b : band)
        b = BandState { 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, noKey, 0.0f, noKey, 0.0f, 0.0f };

    for (auto& c : channel)
        c = ChannelState {};

    for (auto& c : chain)
        c = ChainState {};

    std::fill (std::begin (rings), std::end (rings), 0.0f);
}

void PlimbradeDSP::compute (int, FAUSTFLOAT**, FAUSTFLOAT**) {}
