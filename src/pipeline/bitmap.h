// Owning handles for FreeImage objects. No raw FIBITMAP* crosses a function
// boundary: a pipeline step takes a Bitmap and returns the Bitmap the job
// goes on with, so the one it replaces is unloaded when it leaves scope.
#pragma once

#include <FreeImage.h>

#include <memory>

#include "util/c_handle.h"

namespace pixlane {

using Bitmap = std::unique_ptr<FIBITMAP, CDeleter<FreeImage_Unload>>;
using MemoryStream = std::unique_ptr<FIMEMORY, CDeleter<FreeImage_CloseMemory>>;

// Takes ownership of a bitmap a FreeImage call returned (null stays null).
inline Bitmap adopt(FIBITMAP* raw) { return Bitmap(raw); }

// The bitmap converted to 24 bits per pixel; null when the conversion fails
// (the input is released either way).
inline Bitmap convert_to_24(Bitmap in) { return adopt(FreeImage_ConvertTo24Bits(in.get())); }

inline int bpp_of(const Bitmap& b) { return b ? static_cast<int>(FreeImage_GetBPP(b.get())) : 0; }
inline int width_of(const Bitmap& b) {
    return b ? static_cast<int>(FreeImage_GetWidth(b.get())) : 0;
}
inline int height_of(const Bitmap& b) {
    return b ? static_cast<int>(FreeImage_GetHeight(b.get())) : 0;
}

} // namespace pixlane
