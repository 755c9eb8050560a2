// Processor time and size of PNG output per frame, all in one run, on the
// frames of the benchmark corpus composed in memory (as a file's conversion
// hands them to the save step):
//   libpng loop      a plain libpng loop: RGBA rows, the zlib level, libpng's
//                    defaults otherwise, through stdio
//   FreeImage        FreeImage's PNG writer through the save step's checked
//                    file, temporary name and rename (the PNG route before
//                    it had a writer of its own)
//   save step        the save step as it is, with `PNG Palette` OFF and EXACT
// at no compression and at zlib 6. Ratios are against the libpng loop and
// against FreeImage (above 1: faster). Files go to /dev/shm when it exists,
// so the disk adds no noise.
//   build/bench/png_bench [work-folder [repeats]]   best of 3 passes by default
#include <FreeImage.h>
#include <png.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bare_png.h"
#include "corpus.h"
#include "pipeline/gif_load.h"
#include "pipeline/save.h"
#include "platform/platform.h"
#include "settings/settings.h"

using namespace pixlane;
using bench::cpu_seconds;
namespace fs = std::filesystem;

namespace {

// Every frame of every GIF in the folder, composed.
std::vector<Bitmap> composed_frames(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    std::vector<Bitmap> frames;
    for (const std::string& file : files) {
        GifAnimation gif;
        if (!gif.open(file)) {
            continue;
        }
        for (int i = 0; i < gif.frame_count(); ++i) {
            if (Bitmap b = gif.frame(i)) {
                frames.push_back(std::move(b));
            }
        }
    }
    return frames;
}

// FreeImage's writer as the save step drove it: our checked file under a
// temporary name, finished, then renamed.
platform::OutputFile& file_of(fi_handle h) { return *static_cast<platform::OutputFile*>(h); }
unsigned DLL_CALLCONV fi_read(void* b, unsigned size, unsigned count, fi_handle h) {
    return size == 0 ? 0
                     : static_cast<unsigned>(file_of(h).read(b, std::size_t{size} * count) / size);
}
unsigned DLL_CALLCONV fi_write(void* b, unsigned size, unsigned count, fi_handle h) {
    return file_of(h).write(b, std::size_t{size} * count) ? count : 0;
}
int DLL_CALLCONV fi_seek(fi_handle h, long offset, int origin) {
    return file_of(h).seek(offset, origin) ? 0 : -1;
}
long DLL_CALLCONV fi_tell(fi_handle h) { return static_cast<long>(file_of(h).tell()); }

bool freeimage_route(FIBITMAP* frame, const std::string& path, int flags) {
    const std::string temporary = path + ".tmp";
    platform::OutputFile file;
    if (!file.create(temporary)) {
        return false;
    }
    FreeImageIO io{fi_read, fi_write, fi_seek, fi_tell};
    const bool saved = FreeImage_SaveToHandle(FIF_PNG, frame, &io, &file, flags) && file.finish();
    return saved && platform::rename_file(temporary, path);
}

bool save_step(FIBITMAP* frame, const std::string& path, const Settings& s) {
    BatchPlan plan;
    set_batch_output(plan, "png", s);
    FrameFacts facts;
    facts.source_depth = 32;
    Bitmap b = convert_depth(adopt(FreeImage_Clone(frame)), plan, facts);
    return save_frame(b, s, plan, path).status == FrameStatus::Converted;
}

struct Result {
    double ms_per_frame = 0;
    double mib = 0;
};

// Best of `repeats` passes over every frame; the bytes of the last pass.
Result time_writer(const std::vector<Bitmap>& frames, const std::string& out, int repeats,
                   const std::function<bool(FIBITMAP*, const std::string&)>& write) {
    Result r;
    double best = 1e30;
    for (int pass = 0; pass < repeats; ++pass) {
        fs::remove_all(out);
        fs::create_directories(out);
        const double start = cpu_seconds();
        int k = 0;
        for (const Bitmap& f : frames) {
            if (!write(f.get(), out + "/f" + std::to_string(k++) + ".png")) {
                std::fprintf(stderr, "a write failed\n");
            }
        }
        best = std::min(best, cpu_seconds() - start);
    }
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        bytes += entry.file_size();
    }
    r.ms_per_frame = best * 1000.0 / static_cast<double>(frames.size());
    r.mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
    fs::remove_all(out);
    return r;
}

} // namespace

int main(int argc, char** argv) {
    FreeImage_SetOutputMessage([](FREE_IMAGE_FORMAT, const char*) {});
    const std::string work = argc > 1 ? argv[1] : "/tmp/pixlane-bench";
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const bench::Corpus corpus = bench::make_corpus(work);
    const std::string out =
        (fs::is_directory("/dev/shm") ? std::string("/dev/shm") : work) + "/pixlane-png-bench";

    std::printf("%-11s %-5s %-20s %9s %8s %8s %9s\n", "corpus", "zlib", "writer", "ms/frame", "MiB",
                "vs loop", "vs FI");
    for (const auto& [name, folder] :
         {std::pair{"animations", corpus.animations}, std::pair{"photos", corpus.photos}}) {
        const std::vector<Bitmap> frames = composed_frames(folder);
        for (int compression : {0, 2}) { // none, zlib 6
            Settings s;
            reset_to_defaults(s, DefaultsForm::CommandLine, 0, 0, 0);
            s.png_compression = compression;
            const int flags = save_flags("png", s);
            const int level = compression == 0 ? 0 : 6;
            Settings palette = s;
            palette.png_palette = 1;
            const Result loop =
                time_writer(frames, out, repeats, [&](FIBITMAP* f, const std::string& p) {
                    return bare_png_save(f, p, level);
                });
            const Result freeimage =
                time_writer(frames, out, repeats, [&](FIBITMAP* f, const std::string& p) {
                    return freeimage_route(f, p, flags);
                });
            const Result plain =
                time_writer(frames, out, repeats,
                            [&](FIBITMAP* f, const std::string& p) { return save_step(f, p, s); });
            const Result exact =
                time_writer(frames, out, repeats, [&](FIBITMAP* f, const std::string& p) {
                    return save_step(f, p, palette);
                });
            const std::pair<const char*, const Result*> rows[] = {
                {"libpng loop", &loop},
                {"FreeImage", &freeimage},
                {"save step", &plain},
                {"save step, palette", &exact},
            };
            for (const auto& [writer, r] : rows) {
                std::printf("%-11s %-5d %-20s %9.3f %8.1f %8.2f %9.2f\n", name, level, writer,
                            r->ms_per_frame, r->mib, loop.ms_per_frame / r->ms_per_frame,
                            freeimage.ms_per_frame / r->ms_per_frame);
            }
        }
    }
    return 0;
}
