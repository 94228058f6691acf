#include <gtest/gtest.h>

#include "engine/PlimbradeDSP.h"
#include "processor/MetaUI.h"

namespace
{
    using Entry = std::map<std::string, std::string>;

    const std::vector<std::string> zoneOrder {
        "drywet", "amp", "lowamp", "lowmute", "lowpan", "pitchstage", "lowpitch", "driftdepth",
        "driftrate", "lowpitchwindow", "delaymode", "lowfeed", "diffusion", "lowdamp", "cutoff",
        "res", "lowtimesync", "lowtime", "bpm", "lowsyncedtime", "highamp", "highmute", "highpan",
        "highpitch", "highpitchwindow", "highfeed", "highdamp", "hightimesync", "hightime",
        "highsyncedtime"
    };

    std::unique_ptr<PlimbradeDSP> makeEngine() { return std::unique_ptr<PlimbradeDSP> (new PlimbradeDSP()); }
} // namespace

TEST (MetaUI, FormatsNumbersWithSixDecimals)
{
    MetaUI ui;
    float zone = 0.0f;
    ui.addHorizontalSlider ("x", &zone, 0.5f, -70.0f, 11000.0f, 0.001f);

    const Entry expected { { "init", "0.500000" }, { "max", "11000.000000" }, { "min", "-70.000000" }, { "step", "0.001000" }, { "uid", "x" } };
    EXPECT_EQ (ui.fZoneMetadata.at (&zone), expected);

    ui.addHorizontalSlider ("x", &zone, 0.1234567f, 0.0f, 1.0f, 1.0f);
    EXPECT_EQ (ui.fZoneMetadata.at (&zone).at ("init"), "0.123457");
}

TEST (MetaUI, OnlyHorizontalSlidersRecordRanges)
{
    MetaUI ui;
    float zones[6] {};
    ui.openVerticalBox ("box");
    ui.addButton ("b", &zones[0]);
    ui.addCheckButton ("c", &zones[1]);
    ui.addVerticalSlider ("v", &zones[2], 0, 0, 1, 1);
    ui.addNumEntry ("n", &zones[3], 0, 0, 1, 1);
    ui.addHorizontalBargraph ("g", &zones[4], 0, 1);
    ui.declare (&zones[5], "unit", "Hz");
    ui.addVerticalBargraph ("h", &zones[5], 0, 1);
    ui.closeBox();

    ASSERT_EQ (ui.fZoneMetadata.size(), 1u);
    EXPECT_EQ (ui.fZoneMetadata.at (&zones[5]), (Entry { { "unit", "Hz" } }));
}

TEST (MetaUI, LaterWritesOfAKeyWin)
{
    MetaUI ui;
    float zone = 0.0f;
    ui.declare (&zone, "uid", "declared");
    ui.declare (&zone, "min", "-1");
    ui.addHorizontalSlider ("slider", &zone, 0.0f, 2.0f, 3.0f, 1.0f);
    EXPECT_EQ (ui.fZoneMetadata.at (&zone).at ("uid"), "slider");
    EXPECT_EQ (ui.fZoneMetadata.at (&zone).at ("min"), "2.000000");

    ui.declare (&zone, "max", "9");
    EXPECT_EQ (ui.fZoneMetadata.at (&zone).at ("max"), "9");

    // A declaration outside any control sorts before every real zone.
    ui.declare (nullptr, "author", "x");
    EXPECT_EQ (ui.fZoneMetadata.begin()->first, nullptr);
}

TEST (MetaUI, CollectsTheEngineInZoneOrder)
{
    auto engine = makeEngine();
    MetaUI ui;
    engine->buildUserInterface (&ui);

    ASSERT_EQ (ui.fZoneMetadata.size(), zoneOrder.size());
    size_t i = 0;
    for (const auto& [zone, entry] : ui.fZoneMetadata)
    {
        EXPECT_EQ (entry.at ("uid"), zoneOrder[i]) << "position " << i;
        for (auto key : { "init", "min", "max", "step" })
            EXPECT_EQ (entry.count (key), 1u) << zoneOrder[i] << " lacks " << key;
        EXPECT_GE (entry.size(), 6u);
        EXPECT_LE (entry.size(), 8u);
        ++i;
    }

    const auto find = [&ui] (const std::string& id) {
        for (const auto& [zone, entry] : ui.fZoneMetadata)
            if (entry.at ("uid") == id)
                return entry;
        return Entry();
    };

    EXPECT_EQ (find ("amp"), (Entry { { "init", "0.000000" }, { "max", "6.000000" }, { "min", "-70.000000" }, { "scale", "exp" }, { "step", "0.001000" }, { "uid", "amp" }, { "uiname", "Output Amp" }, { "unit", "dB" } }));
    EXPECT_EQ (find ("bpm"), (Entry { { "hidden", "1" }, { "init", "120.000000" }, { "max", "999.000000" }, { "min", "1.000000" }, { "step", "1.000000" }, { "uid", "bpm" } }));

    // A second description changes nothing.
    const auto first = ui.fZoneMetadata;
    engine->buildUserInterface (&ui);
    EXPECT_EQ (ui.fZoneMetadata, first);
}
