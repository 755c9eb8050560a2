// The settings record as a list of (group/key, value) texts and back,
// walking the one settings table, so a worker process receives exactly the
// record its parent holds.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "settings/settings.h"

namespace pixlane {

using SettingPairs = std::vector<std::pair<std::string, std::string>>;

// Every row of the settings table: "Group/Key" and its value as text
// (numbers in decimal, the float so that it reads back to the same bits).
SettingPairs settings_to_pairs(const Settings& s);

// Applies pairs made by settings_to_pairs; unknown names are ignored.
void settings_from_pairs(Settings& s, const SettingPairs& pairs);

} // namespace pixlane
