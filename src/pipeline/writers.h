// The writers of the output formats, one file each behind one signature.
// Each is handed a picture already in one of its format's depths and writes
// it into an open checked file; the save step (save.cpp) chooses the writer
// by the format's route, makes the temporary file and places it.
#pragma once

#include "formats/catalogue.h"
#include "pipeline/bitmap.h"
#include "pipeline/png_writer.h"
#include "platform/platform.h"
#include "records/records.h"
#include "settings/settings.h"

namespace pixlane {

// What a writer is handed besides the file.
struct WriteRequest {
    FIBITMAP* dib;              // in one of the format's depths; a writer may turn it over and back
    const OutputFormat& format; // its catalogue row: save type, quirks
    const BatchPlan& plan;      // the save flags and whether the depth is automatic
    const Settings& settings;
};

enum class WriteResult {
    Written,
    Failed,      // this frame failed; the file goes on with the next one
    OutOfMemory, // the file must stop at once (no memory for the writer's buffer)
};

using Writer = WriteResult (*)(const WriteRequest& request, platform::OutputFile& file);

// FreeImage's writer with the plan's save flags (write_freeimage.cpp).
WriteResult write_freeimage(const WriteRequest& request, platform::OutputFile& file);
// psd, dds and pcx through DevIL, dds with its mipmaps (write_devil.cpp).
WriteResult write_devil(const WriteRequest& request, platform::OutputFile& file);
// 8-bit BMP with the colour table cut to the indices used (write_exact_bmp.cpp).
WriteResult write_exact_bmp(const WriteRequest& request, platform::OutputFile& file);
// PFM, rows bottom to top (write_pfm.cpp).
WriteResult write_pfm(const WriteRequest& request, platform::OutputFile& file);
// JPEG XR through jxrlib, lossless (write_jxr.cpp).
WriteResult write_jpeg_xr(const WriteRequest& request, platform::OutputFile& file);
// PNG through our own libpng writer, a palette when asked and possible (write_png.cpp).
WriteResult write_png_frame(const WriteRequest& request, platform::OutputFile& file);

// The zlib level and interlacing of a PNG save flag word.
PngOptions png_options(int flags);

// The writer of a route.
Writer writer_for(SaveRoute route);

} // namespace pixlane
