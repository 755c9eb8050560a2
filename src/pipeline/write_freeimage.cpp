#include "pipeline/writers.h"

namespace pixlane {
namespace {

// --- FreeImage through our own file ------------------------------------------

platform::OutputFile& file_of(fi_handle handle) {
    return *static_cast<platform::OutputFile*>(handle);
}

unsigned DLL_CALLCONV fi_read(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    const std::size_t got = file_of(handle).read(buffer, std::size_t{size} * count);
    return size == 0 ? 0 : static_cast<unsigned>(got / size);
}

unsigned DLL_CALLCONV fi_write(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    return file_of(handle).write(buffer, std::size_t{size} * count) ? count : 0;
}

int DLL_CALLCONV fi_seek(fi_handle handle, long offset, int origin) {
    return file_of(handle).seek(offset, origin) ? 0 : -1;
}

long DLL_CALLCONV fi_tell(fi_handle handle) { return static_cast<long>(file_of(handle).tell()); }

// FreeImage's writer with every byte going through `file` (FreeImage_Save
// would fopen the file itself and never look at a failed write).
bool save_freeimage(FREE_IMAGE_FORMAT fif, FIBITMAP* dib, int flags, platform::OutputFile& file) {
    FreeImageIO io{fi_read, fi_write, fi_seek, fi_tell};
    return FreeImage_SaveToHandle(fif, dib, &io, &file, flags) == TRUE && file.ok();
}

} // namespace

WriteResult write_freeimage(const WriteRequest& r, platform::OutputFile& file) {
    return save_freeimage(static_cast<FREE_IMAGE_FORMAT>(r.format.save_type), r.dib,
                          r.plan.save_flags, file)
               ? WriteResult::Written
               : WriteResult::Failed;
}

} // namespace pixlane
