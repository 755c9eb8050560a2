#include "formats/catalogue.h"

#include <FreeImage.h>
#include <IL/il.h>

#include <algorithm>
#include <cctype>
#include <charconv>

#include "base/language.h"
#include "base/product.h"
#include "settings/keys.h"
#include "util/strings.h"

namespace pixlane {
namespace {

constexpr OutputFormat kOutputCatalogue[] = {
    {"bmp", "Windows or OS/2 Bitmap", SaveRoute::FreeImage, FIF_BMP, "1,4,8,16,24,32"},
    {"dds", "DirectDraw Surface", SaveRoute::DevIL, IL_DDS, "32", kMipmaps},
    {"exr", "ILM OpenEXR", SaveRoute::FreeImage, FIF_EXR, "96"},
    {"gif", "Graphics Interchange Format", SaveRoute::FreeImage, FIF_GIF, "8", kAnimates},
    {"hdr", "High Dynamic Range Image", SaveRoute::FreeImage, FIF_HDR, "96"},
    {"ico", "Windows Icon", SaveRoute::FreeImage, FIF_ICO, "1,4,8,16,24,32",
     kRgb555At16 | kIconCanvas},
    {"j2k", "JPEG-2000 Codestream", SaveRoute::FreeImage, FIF_J2K, "8,24,32,48", kGreyAt8},
    {"jng", "JPEG Network Graphics", SaveRoute::FreeImage, FIF_JNG, "24,32"},
    {"jp2", "JPEG-2000 File Format", SaveRoute::FreeImage, FIF_JP2, "8,24,32,48", kGreyAt8},
    {"jpg", "JPEG File Format", SaveRoute::FreeImage, FIF_JPEG, "8,24", kGreyAt8},
    {"jxr", "JPEG XR Image Format", SaveRoute::JpegXr, FIF_JXR, "1,8,16,24,32,48,96", kGreyAt8},
    {"pbm", "Portable Bitmap", SaveRoute::FreeImage, FIF_PBM, "1"},
    {"pcx", "ZSoft Paintbrush", SaveRoute::DevIL, IL_PCX, "24"},
    {"pfm", "Portable Floatmap", SaveRoute::Pfm, FIF_PFM, "96"},
    {"pgm", "Portable Greymap", SaveRoute::FreeImage, FIF_PGM, "8", kGreyAt8},
    {"png", "Portable Network Graphics", SaveRoute::Png, FIF_PNG, "1,4,8,24,32,48", kAnimates},
    {"ppm", "Portable Pixelmap", SaveRoute::FreeImage, FIF_PPM, "24,48"},
    {"psd", "Adobe Photoshop", SaveRoute::DevIL, IL_PSD, "32"},
    {"tga", "Truevision Targa", SaveRoute::FreeImage, FIF_TARGA, "8,16,24,32", kRgb555At16},
    {"tiff", "Tagged Image File Format", SaveRoute::FreeImage, FIF_TIFF, "1,4,8,24,32,48,96"},
    {"wbmp", "Wireless Bitmap", SaveRoute::FreeImage, FIF_WBMP, "1"},
    {"webp", "Google WebP Image Format", SaveRoute::FreeImage, FIF_WEBP, "24,32", kAnimates},
    {"xpm", "X11 Pixmap Format", SaveRoute::FreeImage, FIF_XPM, "24"},
};
static_assert(std::size(kOutputCatalogue) == kOutputExtensions.size());

// Published values the writers pass on unchanged.
static_assert(FIF_BMP == 0 && FIF_ICO == 1 && FIF_JPEG == 2 && FIF_JNG == 3 && FIF_PBM == 7 &&
              FIF_PGM == 11 && FIF_PNG == 13 && FIF_PPM == 14 && FIF_TARGA == 17 &&
              FIF_TIFF == 18 && FIF_WBMP == 19 && FIF_XPM == 23 && FIF_GIF == 25 && FIF_HDR == 26 &&
              FIF_EXR == 29 && FIF_J2K == 30 && FIF_JP2 == 31 && FIF_PFM == 32 && FIF_WEBP == 35 &&
              FIF_JXR == 36);
static_assert(IL_PCX == 0x0428 && IL_DDS == 0x0437 && IL_PSD == 0x0439);

constexpr InputFormat kInputCatalogue[] = {
    {"bmp", "bmp", "Windows or OS/2 Bitmap"},
    {"rle", "bmp", "Windows or OS/2 Bitmap"},
    {"dib", "bmp", "Windows or OS/2 Bitmap"},
    {"dds", "dds", "DirectDraw Surface File"},
    {"emf", "emf", "Enhanced Metafile Format"},
    {"emz", "emf", "Enhanced Metafile Format"},
    {"gif", "gif", "GIF File"},
    {"hdr", "hdr", "High Dynamic Range File"},
    {"hdri", "hdr", "High Dynamic Range File"},
    {"ico", "ico", "Windows Icon"},
    {"jpg", "jpg", "JPEG File"},
    {"jpeg", "jpg", "JPEG File"},
    {"jpe", "jpg", "JPEG File"},
    {"jif", "jpg", "JPEG File"},
    {"pcd", "pcd", "Kodak PhotoCD File"},
    {"pcd1", "pcd", "Kodak PhotoCD File"},
    {"pcds", "pcd", "Kodak PhotoCD File"},
    {"ppcd", "pcd", "Kodak PhotoCD File"},
    {"pcx", "pcx", "ZSoft Paintbrush File"},
    {"pic", "pic", "Macintosh PICT"},
    {"pict", "pic", "Macintosh PICT"},
    {"pct", "pic", "Macintosh PICT"},
    {"png", "png", "Portable Network Graphics"},
    {"psd", "psd", "Adobe Photoshop File"},
    {"tga", "tga", "Truevision Targa"},
    {"targa", "tga", "Truevision Targa"},
    {"tiff", "tiff", "Tagged Image File Format"},
    {"tif", "tiff", "Tagged Image File Format"},
    {"wmf", "wmf", "Windows Metafile Format"},
    {"wmz", "wmf", "Windows Metafile Format"},
    {"apm", "wmf", "Aldus Placeable Metafile"},
    {"raw", "raw", "Camera RAW Image"},
    {"raw1", "raw", "Camera RAW Image"},
    {"raw2", "raw", "Camera RAW Image"},
    {"3fr", "raw", "Hasselblad Camera RAW Image"},
    {"arw", "raw", "Sony Camera RAW Image"},
    {"sr2", "raw", "Sony Camera RAW Image"},
    {"srf", "raw", "Sony Camera RAW Image"},
    {"bay", "raw", "Casio Camera RAW Image"},
    {"bmq", "raw", "NuCore RAW Image"},
    {"cap", "raw", "Phase One Camera RAW Image"},
    {"iiq", "raw", "Phase One Camera RAW Image"},
    {"eip", "raw", "Phase One Camera RAW Image"},
    {"cine", "raw", "Phantom RAW Image"},
    {"cr2", "raw", "Canon Camera RAW Image"},
    {"crw", "raw", "Canon Camera RAW Image"},
    {"cs1", "raw", "Capture Shop RAW Image"},
    {"dc2", "raw", "Kodak Camera RAW Image"},
    {"dcr", "raw", "Kodak Camera RAW Image"},
    {"drf", "raw", "Kodak Camera RAW Image"},
    {"dsc", "raw", "Kodak Camera RAW Image"},
    {"k25", "raw", "Kodak Camera RAW Image"},
    {"kc2", "raw", "Kodak Camera RAW Image"},
    {"kdc", "raw", "Kodak Camera RAW Image"},
    {"dcs", "raw", "Kodak Camera RAW Image"},
    {"dng", "raw", "Adobe Digital Negative Image"},
    {"erf", "raw", "Epson Camera RAW Image"},
    {"fff", "raw", "Imacon Camera RAW Image"},
    {"ia", "raw", "Sinar RAW Image"},
    {"sti", "raw", "Sinar RAW Image"},
    {"mdc", "raw", "Minolta Camera RAW Image"},
    {"mrw", "raw", "Minolta Camera RAW Image"},
    {"mef", "raw", "Mamiya Camera RAW Image"},
    {"mos", "raw", "Mamiya Camera RAW Image"},
    {"nef", "raw", "Nikon Camera RAW Image"},
    {"nrw", "raw", "Nikon Camera RAW Image"},
    {"orf", "raw", "Olympus Camera RAW Image"},
    {"pef", "raw", "Pentax Camera RAW Image"},
    {"ptx", "raw", "Pentax Camera RAW Image"},
    {"pxn", "raw", "Logitech Camera RAW Image"},
    {"qtk", "raw", "Apple Quicktake Camera RAW Image"},
    {"raf", "raw", "Fuji Camera RAW Image"},
    {"rdc", "raw", "Digital Foto Maker RAW Image"},
    {"rw2", "raw", "Panasonic Camera RAW Image"},
    {"rwz", "raw", "Rawzor Camera RAW Image"},
    {"x3f", "raw", "Sigma Camera RAW Image"},
    {"ari", "raw", "ARRI RAW Image"},
    {"r3d", "raw", "RED RAW Image"},
    {"rwl", "raw", "Leica Camera RAW Image"},
};
static_assert(std::size(kInputCatalogue) == 79);

std::vector<const SettingKey*> option_rows(Persist persist, std::string_view format) {
    std::vector<const SettingKey*> rows;
    for (const SettingKey& row : setting_keys()) {
        if (row.persist == persist && row.format == format) {
            rows.push_back(&row);
        }
    }
    return rows;
}

} // namespace

std::span<const OutputFormat> output_catalogue() { return kOutputCatalogue; }
std::span<const InputFormat> input_catalogue() { return kInputCatalogue; }

bool has_quirk(std::string_view extension, FormatQuirk quirk) {
    const OutputFormat* format = output_entry(extension);
    return format && format->has(quirk);
}

const OutputFormat* output_entry(std::string_view extension) {
    for (const OutputFormat& f : kOutputCatalogue) {
        if (f.extension == extension) {
            return &f;
        }
    }
    return nullptr;
}

const InputFormat* input_entry(std::string_view extension) {
    for (const InputFormat& f : kInputCatalogue) {
        if (f.extension == extension) {
            return &f;
        }
    }
    return nullptr;
}

std::vector<int> allowed_depths(std::string_view extension) {
    std::vector<int> depths;
    const OutputFormat* f = output_entry(extension);
    if (!f) {
        return depths;
    }
    std::string_view text = f->depths;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view piece = text.substr(0, comma);
        int value = 0;
        std::from_chars(piece.data(), piece.data() + piece.size(), value);
        depths.push_back(value);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    }
    return depths;
}

bool depth_allowed(std::string_view extension, int depth) {
    const std::vector<int> depths = allowed_depths(extension);
    return std::find(depths.begin(), depths.end(), depth) != depths.end();
}

int automatic_depth(std::string_view extension, int source_depth) {
    const std::vector<int> depths = allowed_depths(extension);
    for (int d : depths) {
        if (d >= source_depth) {
            return d;
        }
    }
    return depths.empty() ? 0 : depths.back();
}

std::vector<std::string_view> accepted_input_extensions() {
    std::vector<std::string_view> accepted;
    for (std::string_view type : kInputExtensions) {
        for (const InputFormat& f : kInputCatalogue) {
            if (f.type == type) {
                accepted.push_back(f.extension);
            }
        }
    }
    return accepted;
}

bool is_accepted_input(std::string_view extension) {
    const std::string lower = to_lower(extension);
    for (std::string_view e : accepted_input_extensions()) {
        if (e == lower) {
            return true;
        }
    }
    return false;
}

std::vector<const SettingKey*> save_options(std::string_view extension) {
    return option_rows(Persist::OutputOption, extension);
}

std::vector<const SettingKey*> load_options(std::string_view type) {
    return option_rows(Persist::InputOption, type);
}

namespace {

// "*.[gG][iI][fF]" for "gif": file choosers match patterns with case, and
// b.GIF beside a.gif is as much a GIF.
std::string any_case_pattern(std::string_view extension) {
    std::string pattern = "*.";
    for (const char c : extension) {
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (lower == upper) {
            pattern += c;
        } else {
            pattern += {'[', lower, upper, ']'};
        }
    }
    return pattern;
}

} // namespace

std::string open_file_filter(const LanguageTable& language) {
    const std::vector<std::string_view> accepted = accepted_input_extensions();
    auto patterns_of = [&](std::string_view description) {
        std::string patterns;
        for (std::string_view e : accepted) {
            if (description.empty() || input_entry(e)->description == description) {
                patterns += patterns.empty() ? "" : ";";
                patterns += any_case_pattern(e);
            }
        }
        return patterns;
    };

    std::string filter = language.text("Dialog", "All Supported Files") + "|" + patterns_of({});
    std::vector<std::string_view> described;
    for (std::string_view e : accepted) {
        const std::string_view description = input_entry(e)->description;
        if (std::find(described.begin(), described.end(), description) == described.end()) {
            described.push_back(description);
            filter += "|";
            filter += description;
            filter += "|";
            filter += patterns_of(description);
        }
    }
    filter += "|";
    filter += language.text("Dialog", "All Files");
    filter += " (*.*)|*.*";
    return filter;
}

} // namespace pixlane
