// Icon keys: every main-window command is named by its icon key, which also
// names its pictures in the image sets.
#pragma once

#include <map>
#include <string>

namespace pixlane {

// Icon key to image number, for buttons and for the two icon sets of the
// toolbar and menus.
using IconMap = std::map<std::string, int, std::less<>>;
struct IconMaps {
    IconMap buttons;
    IconMap set_a;
    IconMap set_b;
};
IconMaps make_icon_maps();

} // namespace pixlane
