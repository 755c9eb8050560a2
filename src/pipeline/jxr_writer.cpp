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

// A jxrlib stream over an OutputFile. It lives on the caller's stack:
// Close (called by the encoder's release) only forgets it.
platform::OutputFile& file_of(WMPStream* me) {
    return *static_cast<platform::OutputFile*>(me->state.pvObj);
}

ERR stream_close(WMPStream** me) {
    *me = nullptr;
    return WMP_errSuccess;
}
Bool stream_eos(WMPStream*) { return FALSE; }
ERR stream_read(WMPStream* me, void* pv, size_t cb) {
    return file_of(me).read(pv, cb) == cb ? WMP_errSuccess : WMP_errFileIO;
}
ERR stream_write(WMPStream* me, const void* pv, size_t cb) {
    return file_of(me).write(pv, cb) ? WMP_errSuccess : WMP_errFileIO;
}
ERR stream_set_pos(WMPStream* me, size_t offset) {
    return file_of(me).seek(static_cast<std::int64_t>(offset), SEEK_SET) ? WMP_errSuccess
                                                                         : WMP_errFileIO;
}
ERR stream_get_pos(WMPStream* me, size_t* offset) {
    const std::int64_t at = file_of(me).tell();
    if (at < 0) {
        return WMP_errFileIO;
    }
    *offset = static_cast<size_t>(at);
    return WMP_errSuccess;
}

} // namespace

bool write_jxr(platform::OutputFile& file, const JxrPicture& picture) {
    if (!picture.top_row || picture.width == 0 || picture.height == 0) {
        return false;
    }
    PKPixelInfo info{};
    PKPixelFormatGUID format = format_of(picture.pixels);
    info.pGUIDPixFmt = &format;
    if (PixelFormatLookup(&info, LOOKUP_FORWARD) != WMP_errSuccess) {
        return false;
    }

    WMPStream own{};
    own.state.pvObj = &file;
    own.fMem = FALSE;
    own.Close = stream_close;
    own.EOS = stream_eos;
    own.Read = stream_read;
    own.Write = stream_write;
    own.SetPos = stream_set_pos;
    own.GetPos = stream_get_pos;
    WMPStream* stream = &own;
    PKImageEncode* encoder = nullptr;
    if (PKImageEncode_Create_WMP(&encoder) != WMP_errSuccess || !encoder) {
        stream->Close(&stream);
        return false;
    }

    // Lossless: quantiser index 1 everywhere, full 4:4:4 colour, all
    // subbands. The encoder's release closes (forgets) the stream.
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
    encoder->Release(&encoder);
    // The file keeps the first failed write, whether jxrlib looked or not.
    return err == WMP_errSuccess && file.ok();
}

} // namespace pixlane
