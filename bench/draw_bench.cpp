// Cost per frame of the solid frame and the text watermark, and of the
// hand-over of a canvas to FreeImage (direct copy against a PNG in memory)
// and of one full-size FreeImage composite.
//
// Usage: draw_bench [iterations] [--dump FOLDER]
// With --dump, the decorated 640 x 480 frames are written there as PNG files.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "decorations/frame.h"
#include "decorations/watermark.h"
#include "draw/canvas.h"

using namespace pixlane;

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds per call of `fn`, over `n` calls.
double per_call(int n, const std::function<void()>& fn) {
    fn(); // warm caches and the font
    const auto start = Clock::now();
    for (int i = 0; i < n; ++i) {
        fn();
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / n;
}

// A 24-bit picture with some variety in it.
Bitmap picture(int w, int h) {
    Bitmap b(FreeImage_Allocate(w, h, 24));
    for (int y = 0; y < h; ++y) {
        BYTE* p = FreeImage_GetScanLine(b.get(), y);
        for (int x = 0; x < w; ++x, p += 3) {
            p[FI_RGBA_RED] = BYTE(x * 255 / w);
            p[FI_RGBA_GREEN] = BYTE(y * 255 / h);
            p[FI_RGBA_BLUE] = BYTE((x ^ y) & 0xFF);
        }
    }
    return b;
}

Settings decorated(std::uint8_t antialiasing) {
    Settings s;
    s.do_frame = 1;
    s.solid_left = s.solid_right = s.solid_top = s.solid_bottom = 12;
    s.solid_top_color = "FF8000";
    s.solid_left_color = "0080FF";
    s.solid_opacity = 200;
    s.do_watermark = 1;
    s.text = "Copyright %yyyy% Pixlane%eol%%filename%.%ext% %width%x%height%";
    s.font = "DejaVu Sans";
    s.font_size = 14;
    s.back_opacity = 96;
    s.text_padding = 4;
    s.text_alignment = 1;
    s.text_antialiasing = antialiasing;
    s.text_boundary = 1;
    return s;
}

} // namespace

int main(int argc, char** argv) {
    int n = 50;
    std::string dump;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dump") == 0 && i + 1 < argc) {
            dump = argv[++i];
        } else {
            n = std::max(1, std::atoi(argv[i]));
        }
    }
    BatchPlan plan;
    plan.output_extension = "png";
    FileTask task;
    task.input_path = "/pictures/holiday.gif";
    const FrameFacts facts;
    const TokenSource tokens{plan, task, facts};

    std::printf("%-11s %9s %9s %9s %9s %9s %11s %11s %11s\n", "size", "frame", "frame255", "text",
                "text-aa", "both", "copy-out", "png-out", "composite");
    const int sizes[][2] = {{320, 240}, {640, 480}, {1920, 1080}};
    for (const auto& size : sizes) {
        const int w = size[0];
        const int h = size[1];
        const Settings raster = decorated(0);
        const Settings vector = decorated(1);
        const auto font = WatermarkFont::load(raster);
        if (!font) {
            std::fprintf(stderr, "font not found\n");
            return 1;
        }
        const Bitmap source = picture(w, h);
        auto copy = [&] { return Bitmap(FreeImage_Clone(source.get())); };

        const double clone_ms = per_call(n, [&] { copy(); });
        const double frame_ms = per_call(n, [&] { draw_frame(copy(), raster, w, h); }) - clone_ms;
        Settings opaque = raster;
        opaque.solid_opacity = 255;
        const double opaque_ms = per_call(n, [&] { draw_frame(copy(), opaque, w, h); }) - clone_ms;
        const double text_ms =
            per_call(n, [&] { draw_watermark(copy(), raster, tokens, w, h, font.get()); }) -
            clone_ms;
        const double aa_ms =
            per_call(n, [&] { draw_watermark(copy(), vector, tokens, w, h, font.get()); }) -
            clone_ms;
        const double both_ms =
            per_call(n,
                     [&] {
                         Bitmap b = draw_frame(copy(), raster, w, h);
                         draw_watermark(std::move(b), raster, tokens, w, h, font.get());
                     }) -
            clone_ms;

        // The hand-over of a frame-sized canvas, as the frame step does it.
        draw::Canvas canvas = draw::Canvas::create(w, h);
        canvas.fill_rect(0, 0, w, 12, {255, 128, 0, 200});
        canvas.fill_rect(0, h - 12, w, 12, {0, 128, 255, 200});
        const double direct_ms = per_call(n, [&] { canvas.to_bitmap(); });
        const double png_ms = per_call(n, [&] { canvas.to_bitmap_via_png(); });
        const Bitmap layer = canvas.to_bitmap();
        const double composite_ms = per_call(
            n, [&] { Bitmap(FreeImage_Composite(layer.get(), FALSE, nullptr, source.get())); });

        char label[32];
        std::snprintf(label, sizeof label, "%dx%d", w, h);
        std::printf("%-11s %7.3fms %7.3fms %7.3fms %7.3fms %7.3fms %9.3fms %9.3fms %9.3fms\n",
                    label, frame_ms, opaque_ms, text_ms, aa_ms, both_ms, direct_ms, png_ms,
                    composite_ms);

        if (!dump.empty() && w == 640) {
            for (const auto* s : {&raster, &vector}) {
                Bitmap b = draw_frame(copy(), *s, w, h);
                b = draw_watermark(std::move(b), *s, tokens, w, h, font.get());
                const std::string path =
                    dump + (s->text_antialiasing ? "/decorated-aa.png" : "/decorated.png");
                FreeImage_Save(FIF_PNG, b.get(), path.c_str(), 0);
            }
        }
    }
    std::printf("(%d iterations; times exclude cloning the source bitmap)\n", n);
    return 0;
}
