// The test GIF encoder must produce files other decoders read back exactly,
// or every test built on it proves nothing.
#include <gtest/gtest.h>

#include <FreeImage.h>

#include "gif_writer/gif_writer.h"
#include "support/test_support.h"

namespace pixlane::test {
namespace {

TEST(GifWriterTest, FreeImageReadsBackEveryIndex) {
    struct Case {
        int w, h, colours;
        bool interlaced;
    };
    const Case cases[] = {{1, 1, 2, false},      {7, 5, 4, false},  {64, 48, 16, false},
                          {300, 40, 256, false}, {33, 17, 8, true}, {128, 128, 256, false}};
    TempDir dir;
    for (const auto& c : cases) {
        GifSpec s;
        s.width = c.w;
        s.height = c.h;
        s.global_palette = test_palette(c.colours);
        GifFrame f = solid_frame(0, 0, c.w, c.h, 0);
        for (std::size_t i = 0; i < f.indices.size(); ++i) {
            // Pseudo-random runs so the LZW table fills and resets.
            f.indices[i] = static_cast<std::uint8_t>(((i * 2654435761u) >> 13) % c.colours);
        }
        f.interlaced = c.interlaced;
        s.frames = {f};
        const std::string path = dir / "t.gif";
        write_file(path, encode_gif(s));
        FIBITMAP* loaded = FreeImage_Load(FIF_GIF, path.c_str(), 0);
        ASSERT_NE(loaded, nullptr) << c.w << "x" << c.h;
        // Small palettes load as 1 or 4 bits per pixel; widen to one index a byte.
        FIBITMAP* bmp = FreeImage_ConvertTo8Bits(loaded);
        FreeImage_Unload(loaded);
        ASSERT_NE(bmp, nullptr);
        ASSERT_EQ(static_cast<int>(FreeImage_GetWidth(bmp)), c.w);
        ASSERT_EQ(static_cast<int>(FreeImage_GetHeight(bmp)), c.h);
        int mismatches = 0;
        for (int y = 0; y < c.h; ++y) {
            const BYTE* row = FreeImage_GetScanLine(bmp, c.h - 1 - y); // bottom-up
            for (int x = 0; x < c.w; ++x) {
                mismatches += row[x] != f.indices[static_cast<std::size_t>(y * c.w + x)];
            }
        }
        EXPECT_EQ(mismatches, 0) << c.w << "x" << c.h << " interlaced " << c.interlaced;
        FreeImage_Unload(bmp);
    }
}

} // namespace
} // namespace pixlane::test
