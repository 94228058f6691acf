#include "processor/MetaUI.h"

void MetaUI::addHorizontalSlider (const char* label, FAUSTFLOAT* zone, FAUSTFLOAT init, FAUSTFLOAT min, FAUSTFLOAT max, FAUSTFLOAT step)
{
    addZoneLabel (label, zone);

    // std::to_string formats like "%f": six decimals, no exponent.
    auto& entry = fZoneMetadata[zone];
    entry["uid"] = label;
    entry["min"] = std::to_string (min);
    entry["max"] = std::to_string (max);
    entry["step"] = std::to_string (step);
    entry["init"] = std::to_string (init);
}

void MetaUI::declare (FAUSTFLOAT* zone, const char* key, const char* value)
{
    fZoneMetadata[zone][key] = value;
}
