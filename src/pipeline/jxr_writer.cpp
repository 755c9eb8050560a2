#include "pipeline/jxr_writer.h"

#include <cstdio>
#include <cstring>

// jxrlib's headers come after the standard ones (they define SAL macros such
// as __bound and min/max) and no FreeImage header may come before them.
#include <JXRGlue.h>
#undef min
#undef max

namespace pixlane {
namespace {

const PKPixelFormatGUID& format_of(JxrPixels pixels) {
    switch (pixels) {
    case JxrPixels::BlackWhite: return GUID_PKPixelFormatBlackWhite;
    case JxrPixels::Gray8: return GUID_PKPixelFormat8bppGray;
    case JxrPixels::Rgb555: return GUID_PKPixelFormat16bppRGB555;
    case JxrPixels::Rgb565: return GUID_PKPixelFormat16bppRGB565;
    case JxrPixels::Bgr24: return GUID_PKPixelFormat24bppBGR;
    case JxrPixels::Bgra32: return GUID_PKPixelFormat32bppBGRA;
    case JxrPixels::Rgb48: return GUID_PKPixelFormat48bppRGB;
    case JxrPixels::RgbFloat96: return GUID_PKPixelFormat96bppRGBFloat;
    }
    return GUID_PKPixelFormatDontCare;
}

} // namespace

bool write_jxr(const std::string& path, const JxrPicture& picture) {
    if (!picture.top_row || picture.width == 0 || picture.height == 0) {
        return false;
    }
    PKPixelInfo info{};
    PKPixelFormatGUID format = format_of(picture.pixels);
    info.pGUIDPixFmt = &format;
    if (PixelFormatLookup(&info, LOOKUP_FORWARD) != WMP_errSuccess) {
        return false;
    }

    WMPStream* stream = nullptr;
    if (CreateWS_File(&stream, path.c_str(), "wb") != WMP_errSuccess || !stream) {
        // jxrlib keeps the stream it allocated when fopen fails; its Close
        // would fclose(NULL), so free the bare stream.
        PKFree(reinterpret_cast<void**>(&stream));
        return false;
    }
    PKImageEncode* encoder = nullptr;
    if (PKImageEncode_Create_WMP(&encoder) != WMP_errSuccess || !encoder) {
        stream->Close(&stream);
        return false;
    }

    // Lossless: quantiser index 1 everywhere, full 4:4:4 colour, all
    // subbands. The encoder owns the stream from here and closes it on
    // release.
    CWMIStrCodecParam params;
    std::memset(&params, 0, sizeof params);
    params.cfColorFormat = info.cfColorFormat == Y_ONLY ? Y_ONLY : YUV_444;
    params.bdBitDepth = BD_LONG;
    params.bfBitstreamFormat = SPATIAL;
    params.olOverlap = OL_ONE;
    params.sbSubband = SB_ALL;
    params.uiDefaultQPIndex = 1;
    params.uiDefaultQPIndexAlpha = 1;
    params.uAlphaMode = (info.grBit & PK_pixfmtHasAlpha) ? 2 : 0; // planar alpha
    params.bBlackWhite = picture.zero_is_white ? 1 : 0;

    ERR err = encoder->Initialize(encoder, stream, &params, sizeof params);
    if (err == WMP_errSuccess) {
        err = encoder->SetPixelFormat(encoder, format);
    }
    if (err == WMP_errSuccess) {
        err = encoder->SetSize(encoder, static_cast<I32>(picture.width),
                               static_cast<I32>(picture.height));
    }
    if (err == WMP_errSuccess) {
        err = encoder->SetResolution(encoder, picture.dpi, picture.dpi);
    }
    if (err == WMP_errSuccess) {
        err = encoder->WritePixels(encoder, picture.height, picture.top_row, picture.stride);
    }
    // Release closes the file without a word about it: flush first, so that
    // a full disk shows here.
    if (err == WMP_errSuccess &&
        (std::fflush(stream->state.file.pFile) != 0 || std::ferror(stream->state.file.pFile))) {
        err = WMP_errFileIO;
    }
    encoder->Release(&encoder);
    return err == WMP_errSuccess;
}

} // namespace pixlane
