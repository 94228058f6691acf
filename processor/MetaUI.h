#pragma once

#include <map>
#include <string>

#include <faust/gui/MapUI.h>

// Collects the engine's control description as text, zone by zone, so the
// parameter bridge can turn it into host parameters without knowing the engine.
class MetaUI : public MapUI
{
public:
    MetaUI() = default;
    ~MetaUI() override = default;

    void addHorizontalSlider (const char* label, FAUSTFLOAT* zone, FAUSTFLOAT init, FAUSTFLOAT min, FAUSTFLOAT max, FAUSTFLOAT step) override;
    void declare (FAUSTFLOAT* zone, const char* key, const char* value) override;

    // Keyed by zone address: the engine's fields lie in host parameter order,
    // so walking this map in order yields that order.
    std::map<FAUSTFLOAT*, std::map<std::string, std::string>> fZoneMetadata;
};
