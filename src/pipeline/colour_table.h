// A palette in the making: the distinct colours of a picture, up to 256,
// each with its entry, found by their 32-bit value. The PNG writer's
// palette images and the animated GIF frames share it.
#pragma once

#include <array>
#include <cstdint>

namespace pixlane {

// Colours seen so far, by their 32-bit value (blue in the low byte, alpha in
// the high byte): an open-addressed table sixteen times the largest palette,
// so nearly every look-up ends at its first slot (that halves the time of a
// photo-like picture against four times).
class ColourTable {
  public:
    ColourTable() { m_entry.fill(-1); }

    // The entry of `colour`, made when new; -1 when the palette is full.
    int entry_of(std::uint32_t colour) {
        std::uint32_t slot = (colour * 0x9E3779B1U) >> (32 - kBits);
        while (m_entry[slot] >= 0) {
            if (m_key[slot] == colour) {
                return m_entry[slot];
            }
            slot = (slot + 1) & (kSlots - 1);
        }
        if (m_count == 256) {
            return -1;
        }
        m_key[slot] = colour;
        m_entry[slot] = static_cast<std::int16_t>(m_count);
        m_colours[static_cast<std::size_t>(m_count)] = colour;
        return m_count++;
    }

    int count() const { return m_count; }
    std::uint32_t colour(int entry) const { return m_colours[static_cast<std::size_t>(entry)]; }

  private:
    static constexpr int kBits = 12;
    static constexpr std::uint32_t kSlots = 1U << kBits;
    std::array<std::uint32_t, kSlots> m_key{};
    std::array<std::int16_t, kSlots> m_entry{};
    std::array<std::uint32_t, 256> m_colours{};
    int m_count = 0;
};

} // namespace pixlane
