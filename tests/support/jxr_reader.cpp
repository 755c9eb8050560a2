#include "support/jxr_reader.h"

#include <cstring>

#include <JXRGlue.h>
#undef min
#undef max

namespace pixlane::test {

std::optional<JxrFile> read_jxr(const std::string& path) {
    WMPStream* stream = nullptr;
    if (CreateWS_File(&stream, path.c_str(), "rb") != WMP_errSuccess) {
        PKFree(reinterpret_cast<void**>(&stream)); // kept by jxrlib when fopen fails
        return std::nullopt;
    }
    PKImageDecode* decoder = nullptr;
    if (PKImageDecode_Create_WMP(&decoder) != WMP_errSuccess) {
        stream->Close(&stream);
        return std::nullopt;
    }
    std::optional<JxrFile> result;
    if (decoder->Initialize(decoder, stream) == WMP_errSuccess) {
        decoder->fStreamOwner = !0;
        decoder->WMP.wmiSCP.uAlphaMode = 2; // decode the alpha plane too
        PKPixelFormatGUID format;
        decoder->GetPixelFormat(decoder, &format);
        PKPixelInfo info{};
        info.pGUIDPixFmt = &format;
        I32 width = 0;
        I32 height = 0;
        decoder->GetSize(decoder, &width, &height);
        if (PixelFormatLookup(&info, LOOKUP_FORWARD) == WMP_errSuccess && width > 0 && height > 0) {
            JxrFile file;
            file.width = static_cast<std::uint32_t>(width);
            file.height = static_cast<std::uint32_t>(height);
            file.bits = static_cast<int>(info.cbitUnit);
            file.has_alpha = (info.grBit & PK_pixfmtHasAlpha) != 0;
            file.stride = ((file.width * info.cbitUnit + 31) / 32) * 4;
            file.pixels.resize(std::size_t{file.stride} * file.height);
            const PKRect rect = {0, 0, width, height};
            if (decoder->Copy(decoder, &rect, file.pixels.data(), file.stride) == WMP_errSuccess) {
                result = std::move(file);
            }
        }
    } else {
        decoder->fStreamOwner = !0;
    }
    decoder->Release(&decoder);
    return result;
}

} // namespace pixlane::test
