#include "pipeline/writers.h"

#include <IL/il.h>
#include <IL/ilu.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>

namespace pixlane {
namespace {

// --- DevIL -------------------------------------------------------------------

std::once_flag g_devil_started;
std::mutex g_devil_lock; // DevIL keeps one global current image

void start_devil() {
    std::call_once(g_devil_started, [] {
        ilInit();
        iluInit();
    });
}

struct DevilImage {
    ILuint id = 0;
    DevilImage() { ilGenImages(1, &id); }
    ~DevilImage() { ilDeleteImages(1, &id); }
    DevilImage(const DevilImage&) = delete;
    DevilImage& operator=(const DevilImage&) = delete;
};

// DevIL's write functions on the OutputFile of the save under way: DevIL
// "opens" whatever name it is given as that file and "closes" it without a
// word; the caller finishes it. Set and used under g_devil_lock only.
// (ilSave, not ilSaveF: DevIL 1.7.8's ilSaveF has no pcx writer.)
platform::OutputFile* g_devil_file = nullptr;
platform::OutputFile& devil_file(ILHANDLE handle) {
    return *static_cast<platform::OutputFile*>(handle);
}
ILHANDLE ILAPIENTRY devil_open(ILconst_string) { return g_devil_file; }
void ILAPIENTRY devil_close(ILHANDLE) {}
ILint ILAPIENTRY devil_putc(ILubyte c, ILHANDLE handle) {
    return devil_file(handle).write(&c, 1) ? c : IL_EOF;
}
ILint ILAPIENTRY devil_seek(ILHANDLE handle, ILint offset, ILint origin) {
    const int whence = origin == IL_SEEK_CUR   ? SEEK_CUR
                       : origin == IL_SEEK_END ? SEEK_END
                                               : SEEK_SET;
    return devil_file(handle).seek(offset, whence) ? 0 : -1;
}
ILint ILAPIENTRY devil_tell(ILHANDLE handle) {
    const std::int64_t at = devil_file(handle).tell();
    return at <= std::numeric_limits<ILint>::max() ? static_cast<ILint>(at) : -1;
}
ILint ILAPIENTRY devil_write(const void* data, ILuint size, ILuint count, ILHANDLE handle) {
    return devil_file(handle).write(data, std::size_t{size} * count) ? static_cast<ILint>(count)
                                                                     : 0;
}

// psd, dds and pcx: DevIL from BGR (24-bit) or BGRA (32-bit) rows, bottom
// row first, which is DevIL's own origin. The rows go straight from the
// bitmap into DevIL's image: no buffer in between. DevIL writes through
// our write functions into `file`.
WriteResult save_devil(FIBITMAP* dib, ILenum type, bool mipmaps, platform::OutputFile& file) {
    const unsigned bpp = FreeImage_GetBPP(dib);
    if (FreeImage_GetImageType(dib) != FIT_BITMAP || (bpp != 24 && bpp != 32)) {
        return WriteResult::Failed;
    }
    const ILubyte channels = bpp == 32 ? 4 : 3;
    const ILenum format = bpp == 32 ? IL_BGRA : IL_BGR;
    const unsigned width = FreeImage_GetWidth(dib);
    const unsigned height = FreeImage_GetHeight(dib);
    // DevIL sizes its image in 32-bit arithmetic: a larger one would wrap to
    // a small buffer that the rows below would overrun.
    if (std::uint64_t{width} * height * channels > std::numeric_limits<ILuint>::max()) {
        return WriteResult::Failed;
    }

    start_devil();
    std::lock_guard<std::mutex> lock(g_devil_lock);
    while (ilGetError() != IL_NO_ERROR) { // forget what earlier calls left
    }
    ilEnable(IL_FILE_OVERWRITE); // else DevIL looks for a file of the name ilSave is given
    DevilImage image;
    ilBindImage(image.id);
    if (!ilTexImage(width, height, static_cast<ILuint>(ilGetInteger(IL_IMAGE_DEPTH)), channels,
                    format, IL_UNSIGNED_BYTE, nullptr)) {
        return ilGetError() == IL_OUT_OF_MEMORY ? WriteResult::OutOfMemory : WriteResult::Failed;
    }
    ILubyte* data = ilGetData();
    if (!data) {
        return WriteResult::OutOfMemory;
    }
    const std::size_t line = std::size_t{width} * channels;
    for (unsigned y = 0; y < height; ++y) {
        std::memcpy(data + y * line, FreeImage_GetScanLine(dib, static_cast<int>(y)), line);
    }
    if (mipmaps && !iluBuildMipmaps()) {
        return WriteResult::Failed;
    }
    g_devil_file = &file;
    ilSetWrite(devil_open, devil_close, devil_putc, devil_seek, devil_tell, devil_write);
    const bool saved = ilSave(type, "pixlane") == IL_TRUE; // the name only reaches devil_open
    ilResetWrite();
    g_devil_file = nullptr;
    ilBindImage(0);
    return saved && file.ok() ? WriteResult::Written : WriteResult::Failed;
}

} // namespace

WriteResult write_devil(const WriteRequest& r, platform::OutputFile& file) {
    return save_devil(r.dib, static_cast<ILenum>(r.format.save_type), r.format.has(kMipmaps), file);
}

} // namespace pixlane
