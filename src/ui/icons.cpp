#include "ui/icons.h"

#include <utility>

namespace pixlane {

IconMaps make_icon_maps() {
    IconMaps m;
    m.buttons = {{"Convert", 2}, {"InFiles", 3}, {"InFolder", 4}};
    static constexpr std::pair<const char*, int> kSetA[] = {{"New", 5},
                                                            {"Add", 6},
                                                            {"InFiles", 7},
                                                            {"InFolder", 8},
                                                            {"OutFolder", 9},
                                                            {"OutFormat", 10},
                                                            {"FavFolder", 11},
                                                            {"ImportFiles", 12},
                                                            {"ExportFiles", 13},
                                                            {"Exit", 14},
                                                            {"Copy", 15},
                                                            {"Delete", 16},
                                                            {"SelectAll", 17},
                                                            {"Convert", 18},
                                                            {"Error", 19},
                                                            {"Preferences", 20},
                                                            {"CustomConverter", 21},
                                                            {"Help", 22},
                                                            {"Email", 25},
                                                            {"Web", 26},
                                                            {"Updates", 27},
                                                            {"About", 28}};
    constexpr int kSetBOffset = 24;
    for (const auto& [key, number] : kSetA) {
        m.set_a.emplace(key, number);
        m.set_b.emplace(key, number + kSetBOffset);
    }
    return m;
}

} // namespace pixlane
