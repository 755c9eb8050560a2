// The LZW decoder of GIF image data: one image's code stream, its data
// sub-blocks already checked complete, turned into one colour index a pixel.
//
// It decodes every stream, damaged ones included, to the same pixels as the
// FreeImage GIF reader it replaces (whose pages the loader's frames were
// composed from until then), so frames stay as they were:
//   - decoding ends at the end code, at a code above the next free one, at
//     the end of the data, or when every pixel has its index; pixels the
//     data does not reach keep index 0;
//   - a clear code may come anywhere, the first code need not be one, and a
//     full table (4096 codes) is kept until the next clear code;
//   - right after a clear code, the code of the next free entry stands for
//     what that entry held before the clear (nothing, if it never held a
//     string in this image);
//   - interlaced images take their rows in the four passes, but one of 2 to
//     4 rows gets only its first row (the second pass starts past its end).
// Strings are not copied into a table: an entry is the place in the output
// where its string was written, so a code costs one copy of its string.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace pixlane {

class GifLzwDecoder {
  public:
    // Decodes the image whose data sub-blocks start at `data` (right after
    // the LZW minimum code size byte, which is `min_code_size`, 2 to 8; the
    // sub-blocks end at the block terminator or at the end of `data`).
    // Returns width x height indices, top row first, valid until the next
    // call. `width` and `height` are 1 or more.
    const std::uint8_t* decode(std::string_view data, int min_code_size, int width, int height,
                               bool interlaced);

  private:
    std::vector<std::uint8_t> m_codes;  // the sub-blocks' bytes joined, then zero padding
    std::vector<std::uint8_t> m_output; // indices in the order decoded, then padding
    std::vector<std::uint8_t> m_pixels; // an interlaced image's rows in screen order
    std::vector<int> m_rows;            // screen row of each decoded row, interlaced
    std::uint32_t m_offset[4096] = {};  // entry: where its string starts in m_output
    std::uint32_t m_length[4096] = {};  // and its length
};

} // namespace pixlane
