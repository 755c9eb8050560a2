#include "pipeline/save.h"

namespace pixlane {

// Placeholders until the writers are built.
Bitmap fit_icon(Bitmap in, const JobRecord&) { return in; }
Bitmap convert_depth(Bitmap in, JobRecord&) { return in; }
SaveResult save_frame(const Bitmap& bitmap, const Settings&, JobRecord& job) {
    if (!bitmap) {
        return SaveResult::Failed;
    }
    return FreeImage_Save(FIF_PNG, bitmap.get(), job.output_path.c_str(), 0) ? SaveResult::Saved
                                                                             : SaveResult::Failed;
}

} // namespace pixlane
