#include "settings/keys.h"

#include <array>

#include "util/strings.h"

namespace pixlane {
namespace {

// clang-format off
const SettingKey kSettingKeys[] = {
    {.group = "General", .key = "CFG", .type = FieldType::Int, .field = &Settings::cfg, .prefs = {.control = Control::None}},
    {.group = "General", .key = "Language", .type = FieldType::Text, .field = &Settings::language, .prefs = {.control = Control::Language}},
    {.group = "General", .key = "Update Range", .type = FieldType::Int, .field = &Settings::update_range, .prefs = {.control = Control::List, .label = "Check for Updates", .items = "Every day,Every week,Every month,Every 3 months,Every 6 months,Never"}},
    {.group = "General", .key = "Update Date", .type = FieldType::Date, .field = &Settings::update_date, .prefs = {.control = Control::None}},
    {.group = "General", .key = "Save Window Position", .type = FieldType::Flag, .field = &Settings::save_window_position, .prefs = {.label = "Save window position"}},
    {.group = "Window", .key = "IsMaximized", .type = FieldType::Flag, .field = &Settings::is_maximized, .persist = Persist::WindowPosition},
    {.group = "Window", .key = "Width", .type = FieldType::Int, .field = &Settings::width, .persist = Persist::WindowPosition},
    {.group = "Window", .key = "Height", .type = FieldType::Int, .field = &Settings::height, .persist = Persist::WindowPosition},
    {.group = "Window", .key = "X", .type = FieldType::Int, .field = &Settings::x, .persist = Persist::WindowPosition},
    {.group = "Window", .key = "Y", .type = FieldType::Int, .field = &Settings::y, .persist = Persist::WindowPosition},
    {.group = "Window", .key = "Hide Passwords", .type = FieldType::Flag, .field = &Settings::hide_passwords, .persist = Persist::ReadOnly},
    {.group = "Window", .key = "Show Single Password", .type = FieldType::Flag, .field = &Settings::show_single_password, .persist = Persist::ReadOnly},
    {.group = "Window", .key = "Show Password List", .type = FieldType::Flag, .field = &Settings::show_password_list, .persist = Persist::ReadOnly},
    {.group = "Window", .key = "Show Character Set", .type = FieldType::Flag, .field = &Settings::show_character_set, .persist = Persist::ReadOnly},
    {.group = "Window", .key = "Show Advanced Options", .type = FieldType::Flag, .field = &Settings::show_advanced_options, .persist = Persist::ReadOnly},
    {.group = "Interface", .key = "UI Theme", .type = FieldType::Text, .field = &Settings::ui_theme, .prefs = {.control = Control::Theme}},
    {.group = "Interface", .key = "UI Size", .type = FieldType::Int, .field = &Settings::ui_size, .prefs = {.control = Control::List, .items = "Small,Medium,Large,Extra Large,Huge"}},
    {.group = "Input", .key = "Format", .type = FieldType::Text, .field = &Settings::input_format, .prefs = {.control = Control::InputFormat, .label = "Input Format"}},
    {.group = "Input", .key = "DDS Load As", .type = FieldType::Choice, .field = &Settings::dds_load_as, .persist = Persist::InputOption, .format = "dds", .option = "--DDS-LOAD-AS", .option_class = OptionClass::Keyword, .keywords = Keywords::DdsLoadAs, .prefs = {.label = "Load As"}},
    {.group = "Input", .key = "GIF Frame Loading", .type = FieldType::Choice, .field = &Settings::gif_frame_loading, .persist = Persist::InputOption, .format = "gif", .option = "--GIF-FRAME-LOADING", .option_class = OptionClass::Keyword, .keywords = Keywords::FrameLoading, .prefs = {.label = "Frame Loading", .items = "All Frames,First Frame,Middle Frame,Last Frame,Random Frame"}},
    {.group = "Input", .key = "ICO Frame Loading", .type = FieldType::Choice, .field = &Settings::ico_frame_loading, .persist = Persist::InputOption, .format = "ico", .option = "--ICO-FRAME-LOADING", .option_class = OptionClass::Keyword, .keywords = Keywords::FrameLoading, .prefs = {.label = "Frame Loading", .items = "All Frames,First Frame,Middle Frame,Last Frame,Random Frame"}},
    {.group = "Input", .key = "TIFF Frame Loading", .type = FieldType::Choice, .field = &Settings::tiff_frame_loading, .persist = Persist::InputOption, .format = "tiff", .option = "--TIFF-FRAME-LOADING", .option_class = OptionClass::Keyword, .keywords = Keywords::FrameLoading, .prefs = {.label = "Frame Loading", .items = "All Frames,First Frame,Middle Frame,Last Frame,Random Frame"}},
    {.group = "Input", .key = "PSD Color Mode", .type = FieldType::Choice, .field = &Settings::psd_color_mode, .persist = Persist::InputOption, .format = "psd", .option = "--PSD-COLOR-MODE", .option_class = OptionClass::Keyword, .keywords = Keywords::ColorMode, .prefs = {.label = "Color Mode"}},
    {.group = "Input", .key = "RAW Load As", .type = FieldType::Choice, .field = &Settings::raw_load_as, .persist = Persist::InputOption, .format = "raw", .option = "--RAW-LOAD-AS", .option_class = OptionClass::Keyword, .keywords = Keywords::RawLoadAs, .prefs = {.label = "Load As", .items = "Auto,RGB8,RGB16,RGB24,RGB48HS,RGB48"}},
    {.group = "Input", .key = "RAW Header Size", .type = FieldType::Int, .field = &Settings::raw_header_size, .persist = Persist::InputOption, .format = "raw", .option = "--RAW-HEADER-SIZE", .option_class = OptionClass::Integer, .prefs = {.label = "Header Size", .unit = "Bytes", .enabled_when = When{&Settings::raw_load_as, bits(1, 2)}}},
    {.group = "Input", .key = "RAW Image Width", .type = FieldType::Int, .field = &Settings::raw_image_width, .persist = Persist::InputOption, .format = "raw", .option = "--RAW-WIDTH", .option_class = OptionClass::Integer, .prefs = {.label = "Image Width", .unit = "Pixels", .enabled_when = When{&Settings::raw_load_as, bits(1, 2)}}},
    {.group = "Input", .key = "RAW Image Height", .type = FieldType::Int, .field = &Settings::raw_image_height, .persist = Persist::InputOption, .format = "raw", .option = "--RAW-HEIGHT", .option_class = OptionClass::Integer, .prefs = {.label = "Image Height", .unit = "Pixels", .enabled_when = When{&Settings::raw_load_as, bits(1, 2)}}},
    {.group = "Input", .key = "RAW Tone Mapping", .type = FieldType::Choice, .field = &Settings::raw_tone_mapping, .persist = Persist::InputOption, .format = "raw", .option = "--RAW-TONE-MAPPING", .option_class = OptionClass::Keyword, .keywords = Keywords::ToneMapping, .prefs = {.label = "Tone Mapping", .items = "None,Linear,Adaptive Logarithmic,DR Reduction,Gradient Domain", .enabled_when = When{&Settings::raw_load_as, bits(4, 5)}}},
    {.group = "Output", .key = "Format", .type = FieldType::Text, .field = &Settings::output_format, .prefs = {.control = Control::OutputFormat, .label = "Output Format"}},
    {.group = "Output", .key = "BMP BPP", .type = FieldType::Int, .field = &Settings::bmp_bpp, .persist = Persist::OutputOption, .format = "bmp", .option = "--BMP-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "BMP Compression", .type = FieldType::Choice, .field = &Settings::bmp_compression, .persist = Persist::OutputOption, .format = "bmp", .option = "--BMP-COMPRESSION", .option_class = OptionClass::Keyword, .keywords = Keywords::Compression, .prefs = {.label = "Compression", .items = "None,RLE"}},
    {.group = "Output", .key = "BMP Color Table", .type = FieldType::Choice, .field = &Settings::bmp_color_table, .persist = Persist::OutputOption, .format = "bmp", .option = "--BMP-COLOR-TABLE", .option_class = OptionClass::Keyword, .keywords = Keywords::ColorTable, .prefs = {.label = "Color Table"}},
    {.group = "Output", .key = "DDS BPP", .type = FieldType::Int, .field = &Settings::dds_bpp, .persist = Persist::OutputOption, .format = "dds", .option = "--DDS-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "EXR BPP", .type = FieldType::Int, .field = &Settings::exr_bpp, .persist = Persist::OutputOption, .format = "exr", .option = "--EXR-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "EXR Compression", .type = FieldType::Choice, .field = &Settings::exr_compression, .persist = Persist::OutputOption, .format = "exr", .option = "--EXR-COMPRESSION", .option_class = OptionClass::Keyword, .keywords = Keywords::Compression, .prefs = {.label = "Compression", .items = "None,ZIP,PIZ,PXR24,B44"}},
    {.group = "Output", .key = "GIF BPP", .type = FieldType::Int, .field = &Settings::gif_bpp, .persist = Persist::OutputOption, .format = "gif", .option = "--GIF-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "HDR BPP", .type = FieldType::Int, .field = &Settings::hdr_bpp, .persist = Persist::OutputOption, .format = "hdr", .option = "--HDR-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "ICO BPP", .type = FieldType::Int, .field = &Settings::ico_bpp, .persist = Persist::OutputOption, .format = "ico", .option = "--ICO-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "J2K BPP", .type = FieldType::Int, .field = &Settings::j2k_bpp, .persist = Persist::OutputOption, .format = "j2k", .option = "--J2K-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "JNG BPP", .type = FieldType::Int, .field = &Settings::jng_bpp, .persist = Persist::OutputOption, .format = "jng", .option = "--JNG-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "JP2 BPP", .type = FieldType::Int, .field = &Settings::jp2_bpp, .persist = Persist::OutputOption, .format = "jp2", .option = "--JP2-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "JPG BPP", .type = FieldType::Int, .field = &Settings::jpg_bpp, .persist = Persist::OutputOption, .format = "jpg", .option = "--JPG-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "JPG Quality", .type = FieldType::Int, .field = &Settings::jpg_quality, .persist = Persist::OutputOption, .format = "jpg", .option = "--JPG-QUALITY", .option_class = OptionClass::Integer, .check = Check::Range, .range_min = 1, .range_max = 100, .prefs = {.label = "Image Quality"}},
    {.group = "Output", .key = "JPG Chroma", .type = FieldType::Choice, .field = &Settings::jpg_chroma, .persist = Persist::OutputOption, .format = "jpg", .option = "--JPG-CHROMA", .option_class = OptionClass::Keyword, .keywords = Keywords::Chroma, .listing = "JPG Chroma Subsampling: ", .prefs = {.label = "Chroma Subsampling"}},
    {.group = "Output", .key = "JPG Save As", .type = FieldType::Choice, .field = &Settings::jpg_save_as, .persist = Persist::OutputOption, .format = "jpg", .option = "--JPG-SAVE-AS", .option_class = OptionClass::Keyword, .keywords = Keywords::JpgSaveAs, .prefs = {.label = "Save As", .items = "Baseline Standard,Baseline Simple,Baseline Optimized,Progressive"}},
    {.group = "Output", .key = "JXR BPP", .type = FieldType::Int, .field = &Settings::jxr_bpp, .persist = Persist::OutputOption, .format = "jxr", .option = "--JXR-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "PBM BPP", .type = FieldType::Int, .field = &Settings::pbm_bpp, .persist = Persist::OutputOption, .format = "pbm", .option = "--PBM-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "PCX BPP", .type = FieldType::Int, .field = &Settings::pcx_bpp, .persist = Persist::OutputOption, .format = "pcx", .option = "--PCX-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "PFM BPP", .type = FieldType::Int, .field = &Settings::pfm_bpp, .persist = Persist::OutputOption, .format = "pfm", .option = "--PFM-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "PGM BPP", .type = FieldType::Int, .field = &Settings::pgm_bpp, .persist = Persist::OutputOption, .format = "pgm", .option = "--PGM-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "PNG BPP", .type = FieldType::Int, .field = &Settings::png_bpp, .persist = Persist::OutputOption, .format = "png", .option = "--PNG-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "PNG Compression", .type = FieldType::Choice, .field = &Settings::png_compression, .persist = Persist::OutputOption, .format = "png", .option = "--PNG-COMPRESSION", .option_class = OptionClass::Keyword, .keywords = Keywords::Compression, .prefs = {.label = "Compression", .items = "None,ZLIB1,ZLIB6,ZLIB9"}},
    {.group = "Output", .key = "PNG Interlaced", .type = FieldType::Flag, .field = &Settings::png_interlaced, .persist = Persist::OutputOption, .format = "png", .option = "--PNG-INTERLACED", .option_class = OptionClass::Flag, .prefs = {.label = "Interlaced"}},
    {.group = "Output", .key = "PNG Palette", .type = FieldType::Choice, .field = &Settings::png_palette, .persist = Persist::OutputOption, .format = "png", .option = "--PNG-PALETTE", .option_class = OptionClass::Keyword, .keywords = Keywords::PngPalette, .listed_if_changed = true},
    {.group = "Output", .key = "PPM BPP", .type = FieldType::Int, .field = &Settings::ppm_bpp, .persist = Persist::OutputOption, .format = "ppm", .option = "--PPM-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "PSD BPP", .type = FieldType::Int, .field = &Settings::psd_bpp, .persist = Persist::OutputOption, .format = "psd", .option = "--PSD-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "TGA BPP", .type = FieldType::Int, .field = &Settings::tga_bpp, .persist = Persist::OutputOption, .format = "tga", .option = "--TGA-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "TGA Compression", .type = FieldType::Choice, .field = &Settings::tga_compression, .persist = Persist::OutputOption, .format = "tga", .option = "--TGA-COMPRESSION", .option_class = OptionClass::Keyword, .keywords = Keywords::Compression, .prefs = {.label = "Compression", .items = "None,RLE"}},
    {.group = "Output", .key = "TIFF BPP", .type = FieldType::Int, .field = &Settings::tiff_bpp, .persist = Persist::OutputOption, .format = "tiff", .option = "--TIFF-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "TIFF Compression", .type = FieldType::Choice, .field = &Settings::tiff_compression, .persist = Persist::OutputOption, .format = "tiff", .option = "--TIFF-COMPRESSION", .option_class = OptionClass::Keyword, .keywords = Keywords::Compression, .prefs = {.label = "Compression", .items = "None,CCITTFAX3,CCITTFAX4,PACKBITS,DEFLATE,ADOBEDEFLATE,LZW,JPEG,LOGLUV"}},
    {.group = "Output", .key = "TIFF Color Mode", .type = FieldType::Choice, .field = &Settings::tiff_color_mode, .persist = Persist::OutputOption, .format = "tiff", .option = "--TIFF-COLOR-MODE", .option_class = OptionClass::Keyword, .keywords = Keywords::ColorMode, .prefs = {.label = "Color Mode", .items = "RGB,CMYK"}},
    {.group = "Output", .key = "WBMP BPP", .type = FieldType::Int, .field = &Settings::wbmp_bpp, .persist = Persist::OutputOption, .format = "wbmp", .option = "--WBMP-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "WEBP BPP", .type = FieldType::Int, .field = &Settings::webp_bpp, .persist = Persist::OutputOption, .format = "webp", .option = "--WEBP-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "WEBP Quality", .type = FieldType::Int, .field = &Settings::webp_quality, .persist = Persist::OutputOption, .format = "webp", .option = "--WEBP-QUALITY", .option_class = OptionClass::Integer, .check = Check::Range, .range_min = 1, .range_max = 100, .prefs = {.label = "Image Quality"}},
    {.group = "Output", .key = "XPM BPP", .type = FieldType::Int, .field = &Settings::xpm_bpp, .persist = Persist::OutputOption, .format = "xpm", .option = "--XPM-BPP", .option_class = OptionClass::Integer, .check = Check::FormatDepth},
    {.group = "Output", .key = "Animated Output", .type = FieldType::Flag, .field = &Settings::animated_output, .option = "--ANIMATED", .option_class = OptionClass::Flag, .listing = "Animated Output: ", .listed_if_changed = true},
    {.group = "Output", .key = "Drop Duplicate Frames", .type = FieldType::Flag, .field = &Settings::drop_duplicate_frames, .option = "--DROP-DUPLICATE-FRAMES", .option_class = OptionClass::Flag, .listing = "Drop Duplicate Frames: ", .listed_if_changed = true},
    {.group = "Transform", .key = "Do Image Rotation", .type = FieldType::Flag, .field = &Settings::do_image_rotation, .prefs = {.label = "Image Rotation"}},
    {.group = "Transform", .key = "Image Rotation Type", .type = FieldType::Choice, .field = &Settings::image_rotation_type, .option = "--ROTATION-TYPE", .option_class = OptionClass::Keyword, .keywords = Keywords::RotationType, .listing = "Image Rotation Type: ", .listed_when = ListedWhen{&Settings::do_image_rotation, 1}, .prefs = {.label = "Rotation Type", .items = "Simple Rotation,Advanced Rotation", .enabled_when = When{&Settings::do_image_rotation, bits(1)}}},
    {.group = "Transform", .key = "Image Rotation", .type = FieldType::Int, .field = &Settings::image_rotation, .option = "--ROTATION", .option_class = OptionClass::Integer, .also_sets = AlsoSets{&Settings::do_image_rotation, 1}, .listing = "Image Rotation: ", .listed_when = ListedWhen{&Settings::do_image_rotation, 1}, .prefs = {.control = Control::Slider, .label = "Rotation Angle", .min = 0, .max = 360, .enabled_when = When{&Settings::do_image_rotation, bits(1)}}},
    {.group = "Transform", .key = "Image Rotation Back Color", .type = FieldType::Colour, .field = &Settings::image_rotation_back_color, .option = "--ROTATION-BACK-COLOR", .option_class = OptionClass::Text, .listing = "Image Rotation Back Color: ", .listed_when = ListedWhen{&Settings::do_image_rotation, 1}, .prefs = {.label = "Background Color", .enabled_when = When{&Settings::do_image_rotation, bits(1)}}},
    {.group = "Transform", .key = "Do Image Resize", .type = FieldType::Flag, .field = &Settings::do_image_resize, .prefs = {.label = "Image Resize"}},
    {.group = "Transform", .key = "Image Width", .type = FieldType::Int, .field = &Settings::image_width, .option = "--WIDTH", .option_class = OptionClass::Integer, .also_sets = AlsoSets{&Settings::do_image_resize, 1}, .listing = "Width: ", .listed_when = ListedWhen{&Settings::do_image_resize, 1}, .listing_join = " ", .check = Check::ResizeSide, .prefs = {.control = Control::Number, .enabled_when = When{&Settings::do_image_resize, bits(1)}}},
    {.group = "Transform", .key = "Image Width Unit", .type = FieldType::Choice, .field = &Settings::image_width_unit, .option = "--WIDTH-UNIT", .option_class = OptionClass::Keyword, .keywords = Keywords::SizeUnit, .prefs = {.control = Control::Unit}},
    {.group = "Transform", .key = "Image Height", .type = FieldType::Int, .field = &Settings::image_height, .option = "--HEIGHT", .option_class = OptionClass::Integer, .also_sets = AlsoSets{&Settings::do_image_resize, 1}, .listing = "Height: ", .listed_when = ListedWhen{&Settings::do_image_resize, 1}, .listing_join = " ", .check = Check::ResizeSide, .prefs = {.control = Control::Number, .enabled_when = When{&Settings::do_image_resize, bits(1)}}},
    {.group = "Transform", .key = "Image Height Unit", .type = FieldType::Choice, .field = &Settings::image_height_unit, .option = "--HEIGHT-UNIT", .option_class = OptionClass::Keyword, .keywords = Keywords::SizeUnit, .prefs = {.control = Control::Unit}},
    {.group = "Transform", .key = "Keep Aspect Ratio", .type = FieldType::Flag, .field = &Settings::keep_aspect_ratio, .option = "--KEEP-ASPECT-RATIO", .option_class = OptionClass::Flag, .cli_default = 0, .listing = "Keep Aspect Ratio: ", .listed_when = ListedWhen{&Settings::do_image_resize, 1}, .prefs = {.enabled_when = When{&Settings::do_image_resize, bits(1)}}},
    {.group = "Transform", .key = "Image Resize Type", .type = FieldType::Choice, .field = &Settings::image_resize_type, .option = "--RESIZE-TYPE", .option_class = OptionClass::Keyword, .keywords = Keywords::ResizeType, .listing = "Image Resize Type: ", .listed_when = ListedWhen{&Settings::do_image_resize, 1}, .prefs = {.label = "Resize Type", .items = "All Images,Large Images", .enabled_when = When{&Settings::do_image_resize, bits(1)}}},
    {.group = "Transform", .key = "Image Resize Algorithm", .type = FieldType::Choice, .field = &Settings::image_resize_algorithm, .option = "--RESIZE-ALGORITHM", .option_class = OptionClass::Keyword, .keywords = Keywords::ResizeAlgorithm, .listing = "Image Resize Algorithm: ", .listed_when = ListedWhen{&Settings::do_image_resize, 1}, .prefs = {.label = "Resize Algorithm", .enabled_when = When{&Settings::do_image_resize, bits(1)}}},
    {.group = "Transform", .key = "Do Image Flip Horizontal", .type = FieldType::Flag, .field = &Settings::do_image_flip_horizontal, .option = "--FLIP-HORIZONTAL", .option_class = OptionClass::Flag, .listing = "Flip Horizontal: ", .prefs = {.label = "Image Flip Horizontal"}},
    {.group = "Transform", .key = "Do Image Flip Vertical", .type = FieldType::Flag, .field = &Settings::do_image_flip_vertical, .option = "--FLIP-VERTICAL", .option_class = OptionClass::Flag, .listing = "Flip Vertical: ", .prefs = {.label = "Image Flip Vertical"}},
    {.group = "Adjustment", .key = "Do Image Color Correction", .type = FieldType::Flag, .field = &Settings::do_image_color_correction, .prefs = {.control = Control::None}},
    {.group = "Adjustment", .key = "Image Brightness", .type = FieldType::Int, .field = &Settings::image_brightness, .option = "--BRIGHTNESS", .option_class = OptionClass::Integer, .also_sets = AlsoSets{&Settings::do_image_color_correction, 1}, .listing = "Brightness: ", .listed_when = ListedWhen{&Settings::do_image_color_correction, 1}, .check = Check::Range, .range_min = -100, .range_max = 100},
    {.group = "Adjustment", .key = "Image Contrast", .type = FieldType::Int, .field = &Settings::image_contrast, .option = "--CONTRAST", .option_class = OptionClass::Integer, .also_sets = AlsoSets{&Settings::do_image_color_correction, 1}, .listing = "Contrast: ", .listed_when = ListedWhen{&Settings::do_image_color_correction, 1}, .check = Check::Range, .range_min = -100, .range_max = 100},
    {.group = "Adjustment", .key = "Image Gamma", .type = FieldType::Float, .field = &Settings::image_gamma, .option = "--GAMMA", .option_class = OptionClass::Decimal, .also_sets = AlsoSets{&Settings::do_image_color_correction, 1}, .listing = "Gamma: ", .listed_when = ListedWhen{&Settings::do_image_color_correction, 1}, .check = Check::Range, .range_min = 0.01, .range_max = 9.99, .prefs = {.control = Control::Gamma, .min = 1, .max = 999}},
    {.group = "Adjustment", .key = "Image Invert", .type = FieldType::Flag, .field = &Settings::image_invert, .option = "--INVERT", .option_class = OptionClass::Flag, .also_sets = AlsoSets{&Settings::do_image_color_correction, 1}, .listing = "Invert: ", .listed_when = ListedWhen{&Settings::do_image_color_correction, 1}},
    {.group = "Adjustment", .key = "Do Image Greyscale", .type = FieldType::Flag, .field = &Settings::do_image_greyscale, .option = "--GREYSCALE", .option_class = OptionClass::Flag, .listing = "Greyscale: ", .prefs = {.label = "Image Greyscale"}},
    {.group = "Adjustment", .key = "Do Image Threshold", .type = FieldType::Flag, .field = &Settings::do_image_threshold, .prefs = {.label = "Image Threshold"}},
    {.group = "Adjustment", .key = "Image Threshold", .type = FieldType::Int, .field = &Settings::image_threshold, .option = "--THRESHOLD", .option_class = OptionClass::Integer, .also_sets = AlsoSets{&Settings::do_image_threshold, 1}, .listing = "Image Threshold: ", .listed_when = ListedWhen{&Settings::do_image_threshold, 1}, .range_min = 0, .range_max = 255, .prefs = {.control = Control::Slider, .label = "Threshold Level", .min = 0, .max = 255, .enabled_when = When{&Settings::do_image_threshold, bits(1)}}},
    {.group = "Adjustment", .key = "Do Image Dither", .type = FieldType::Flag, .field = &Settings::do_image_dither, .prefs = {.label = "Image Dither"}},
    {.group = "Adjustment", .key = "Image Dither Algorithm", .type = FieldType::Choice, .field = &Settings::image_dither_algorithm, .option = "--DITHER", .option_class = OptionClass::Keyword, .keywords = Keywords::Dither, .also_sets = AlsoSets{&Settings::do_image_dither, 1}, .listing = "Image Dithering Algorithm: ", .listed_when = ListedWhen{&Settings::do_image_dither, 1}, .prefs = {.label = "Dither Algorithm", .enabled_when = When{&Settings::do_image_dither, bits(1)}}},
    {.group = "Frame", .key = "Do Frame", .type = FieldType::Choice, .field = &Settings::do_frame, .keywords = Keywords::FrameKind, .listing = "Frame: ", .prefs = {.control = Control::List, .label = "Frame Type", .items = "None,Frame Solid"}},
    {.group = "Frame", .key = "Solid Left", .type = FieldType::Int, .field = &Settings::solid_left, .option = "--FR-SOLID-LEFT", .option_class = OptionClass::Integer, .also_sets = AlsoSets{&Settings::do_frame, 1}, .listing = "Frame left: ", .listed_when = ListedWhen{&Settings::do_frame, 1}, .prefs = {.label = "Left", .unit = "Pixels", .panel = When{&Settings::do_frame, bits(1)}}},
    {.group = "Frame", .key = "Solid Right", .type = FieldType::Int, .field = &Settings::solid_right, .option = "--FR-SOLID-RIGHT", .option_class = OptionClass::Integer, .also_sets = AlsoSets{&Settings::do_frame, 1}, .listing = "Frame right: ", .listed_when = ListedWhen{&Settings::do_frame, 1}, .prefs = {.label = "Right", .unit = "Pixels", .panel = When{&Settings::do_frame, bits(1)}}},
    {.group = "Frame", .key = "Solid Top", .type = FieldType::Int, .field = &Settings::solid_top, .option = "--FR-SOLID-TOP", .option_class = OptionClass::Integer, .also_sets = AlsoSets{&Settings::do_frame, 1}, .listing = "Frame top: ", .listed_when = ListedWhen{&Settings::do_frame, 1}, .prefs = {.label = "Top", .unit = "Pixels", .panel = When{&Settings::do_frame, bits(1)}}},
    {.group = "Frame", .key = "Solid Bottom", .type = FieldType::Int, .field = &Settings::solid_bottom, .option = "--FR-SOLID-BOTTOM", .option_class = OptionClass::Integer, .also_sets = AlsoSets{&Settings::do_frame, 1}, .listing = "Frame bottom: ", .listed_when = ListedWhen{&Settings::do_frame, 1}, .prefs = {.label = "Bottom", .unit = "Pixels", .panel = When{&Settings::do_frame, bits(1)}}},
    {.group = "Frame", .key = "Solid Left Color", .type = FieldType::Colour, .field = &Settings::solid_left_color, .option = "--FR-SOLID-LEFT-COLOR", .option_class = OptionClass::Text, .listing = "Frame left color: ", .listed_when = ListedWhen{&Settings::do_frame, 1}, .prefs = {.label = "Left Color", .panel = When{&Settings::do_frame, bits(1)}}},
    {.group = "Frame", .key = "Solid Right Color", .type = FieldType::Colour, .field = &Settings::solid_right_color, .option = "--FR-SOLID-RIGHT-COLOR", .option_class = OptionClass::Text, .listing = "Frame right color: ", .listed_when = ListedWhen{&Settings::do_frame, 1}, .prefs = {.label = "Right Color", .panel = When{&Settings::do_frame, bits(1)}}},
    {.group = "Frame", .key = "Solid Top Color", .type = FieldType::Colour, .field = &Settings::solid_top_color, .option = "--FR-SOLID-TOP-COLOR", .option_class = OptionClass::Text, .listing = "Frame top color: ", .listed_when = ListedWhen{&Settings::do_frame, 1}, .prefs = {.label = "Top Color", .panel = When{&Settings::do_frame, bits(1)}}},
    {.group = "Frame", .key = "Solid Bottom Color", .type = FieldType::Colour, .field = &Settings::solid_bottom_color, .option = "--FR-SOLID-BOTTOM-COLOR", .option_class = OptionClass::Text, .listing = "Frame bottom color: ", .listed_when = ListedWhen{&Settings::do_frame, 1}, .prefs = {.label = "Bottom Color", .panel = When{&Settings::do_frame, bits(1)}}},
    {.group = "Frame", .key = "Solid Opacity", .type = FieldType::Int, .field = &Settings::solid_opacity, .option = "--FR-SOLID-OPACITY", .option_class = OptionClass::Integer, .profile_option = "--WM-SOLID-OPACITY", .listing = "Frame opacity: ", .listed_when = ListedWhen{&Settings::do_frame, 1}, .prefs = {.control = Control::Slider, .label = "Opacity", .min = 1, .max = 255, .panel = When{&Settings::do_frame, bits(1)}}},
    {.group = "Watermark", .key = "Do Watermark", .type = FieldType::Choice, .field = &Settings::do_watermark, .keywords = Keywords::WatermarkKind, .listing = "Watermark: ", .prefs = {.control = Control::List, .label = "Watermark Type", .items = "None,Watermark Text,Watermark Image"}},
    {.group = "Watermark", .key = "Text", .type = FieldType::Text, .field = &Settings::text, .option = "--WM-TEXT", .option_class = OptionClass::Text, .also_sets = AlsoSets{&Settings::do_watermark, 1}, .listing = "Watermark text: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .prefs = {.panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Fonts", .type = FieldType::Text, .field = &Settings::fonts, .prefs = {.control = Control::None}},
    {.group = "Watermark", .key = "Font", .type = FieldType::Text, .field = &Settings::font, .option = "--WM-FONT", .option_class = OptionClass::Text, .listing = "Watermark font: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .prefs = {.control = Control::FontList, .items = "Fonts", .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Font Size", .type = FieldType::Int, .field = &Settings::font_size, .option = "--WM-FONT-SIZE", .option_class = OptionClass::Integer, .listing = "Watermark font size: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .prefs = {.unit = "Points", .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Font Leading", .type = FieldType::Int, .field = &Settings::font_leading, .option = "--WM-FONT-LEADING", .option_class = OptionClass::Integer, .listing = "Watermark font leading: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .prefs = {.unit = "Pixels", .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Font Colors", .type = FieldType::ColourList, .field = &Settings::font_colors},
    {.group = "Watermark", .key = "Font Color", .type = FieldType::Colour, .field = &Settings::font_color, .option = "--WM-FONT-COLOR", .option_class = OptionClass::Text, .listing = "Watermark font color: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .prefs = {.control = Control::ColourList, .items = "Font Colors", .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Font Style", .type = FieldType::Choice, .field = &Settings::font_style, .option = "--WM-FONT-STYLE", .option_class = OptionClass::Keyword, .keywords = Keywords::FontStyle, .listing = "Watermark font style: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .prefs = {.items = "Regular,Bold,Italic,Bold Italic", .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Font Effect", .type = FieldType::Choice, .field = &Settings::font_effect, .option = "--WM-FONT-EFFECT", .option_class = OptionClass::Keyword, .keywords = Keywords::FontEffect, .listing = "Watermark font effect: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .prefs = {.items = "None,Underline,Strikeout", .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Text Antialiasing", .type = FieldType::Flag, .field = &Settings::text_antialiasing, .option = "--WM-TEXT-ANTIALIASING", .option_class = OptionClass::Flag, .listing = "Watermark text antialiasing: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .prefs = {.label = "Antialiasing", .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Text Alignment", .type = FieldType::Choice, .field = &Settings::text_alignment, .option = "--WM-TEXT-ALIGNMENT", .option_class = OptionClass::Keyword, .keywords = Keywords::Alignment, .listing = "Watermark text alignment: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .prefs = {.items = "Align Left,Align Center,Align Right", .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Text Padding", .type = FieldType::Int, .field = &Settings::text_padding, .option = "--WM-TEXT-PADDING", .option_class = OptionClass::Integer, .listing = "Watermark text padding: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .prefs = {.unit = "Pixels", .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Text Opacity", .type = FieldType::Int, .field = &Settings::text_opacity, .option = "--WM-TEXT-OPACITY", .option_class = OptionClass::Integer, .listing = "Watermark text opacity: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .prefs = {.control = Control::Slider, .min = 1, .max = 255, .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Back Colors", .type = FieldType::ColourList, .field = &Settings::back_colors},
    {.group = "Watermark", .key = "Back Color", .type = FieldType::Colour, .field = &Settings::back_color, .option = "--WM-BACK-COLOR", .option_class = OptionClass::Text, .listing = "Watermark background color: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .prefs = {.control = Control::ColourList, .label = "Background Color", .items = "Back Colors", .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Back Opacity", .type = FieldType::Int, .field = &Settings::back_opacity, .option = "--WM-BACK-OPACITY", .option_class = OptionClass::Integer, .listing = "Watermark background opacity: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .prefs = {.control = Control::Slider, .label = "Background Opacity", .min = 1, .max = 255, .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Text Boundary", .type = FieldType::Choice, .field = &Settings::text_boundary, .option = "--WM-TEXT-BOUNDARY", .option_class = OptionClass::Keyword, .keywords = Keywords::Boundary, .listing = "Watermark boundary: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .prefs = {.label = "Boundary", .items = "Bound Image,Bound Frame", .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Text Position", .type = FieldType::Choice, .field = &Settings::text_position, .option = "--WM-TEXT-POSITION", .option_class = OptionClass::Keyword, .keywords = Keywords::Position, .listing = "Watermark position: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .prefs = {.label = "Position", .items = "Top-Left,Top-Center,Top-Right,Middle-Left,Middle-Center,Middle-Right,Bottom-Left,Bottom-Center,Bottom-Right", .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Text X Offset", .type = FieldType::Int, .field = &Settings::text_x_offset, .option = "--WM-TEXT-X-OFFSET", .option_class = OptionClass::Integer, .listing = "Watermark offset (x/y): ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .listing_join = "/", .prefs = {.label = "X-Offset", .unit = "Pixels", .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Text Y Offset", .type = FieldType::Int, .field = &Settings::text_y_offset, .option = "--WM-TEXT-Y-OFFSET", .option_class = OptionClass::Integer, .prefs = {.label = "Y-Offset", .unit = "Pixels", .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Text Rotation", .type = FieldType::Int, .field = &Settings::text_rotation, .option = "--WM-TEXT-ROTATION", .option_class = OptionClass::Integer, .listing = "Watermark rotation: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .prefs = {.control = Control::Slider, .label = "Rotation Angle", .min = 0, .max = 360, .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Text Size", .type = FieldType::Choice, .field = &Settings::text_size, .option = "--WM-TEXT-SIZE", .option_class = OptionClass::Keyword, .keywords = Keywords::SizeMode, .listing = "Watermark size/mode: ", .listed_when = ListedWhen{&Settings::do_watermark, 1}, .check = Check::WatermarkFont, .prefs = {.label = "Size", .panel = When{&Settings::do_watermark, bits(1)}}},
    {.group = "Watermark", .key = "Text Scale", .type = FieldType::Int, .field = &Settings::text_scale, .prefs = {.control = Control::Slider, .label = "Scale", .min = 1, .max = 200, .panel = When{&Settings::do_watermark, bits(1)}, .shown_when = When{&Settings::text_size, bits(1)}}},
    {.group = "Watermark", .key = "Image", .type = FieldType::Text, .field = &Settings::image, .option = "--WM-IMAGE", .option_class = OptionClass::Text, .also_sets = AlsoSets{&Settings::do_watermark, 2}, .listing = "Watermark image: ", .listed_when = ListedWhen{&Settings::do_watermark, 2}, .prefs = {.control = Control::ImagePath, .panel = When{&Settings::do_watermark, bits(2)}}},
    {.group = "Watermark", .key = "Image Greyscale", .type = FieldType::Flag, .field = &Settings::image_greyscale, .option = "--WM-IMAGE-GREYSCALE", .option_class = OptionClass::Flag, .listing = "Watermark greyscale: ", .listed_when = ListedWhen{&Settings::do_watermark, 2}, .prefs = {.panel = When{&Settings::do_watermark, bits(2)}}},
    {.group = "Watermark", .key = "Image Opacity", .type = FieldType::Int, .field = &Settings::image_opacity, .option = "--WM-IMAGE-OPACITY", .option_class = OptionClass::Integer, .listing = "Watermark opacity: ", .listed_when = ListedWhen{&Settings::do_watermark, 2}, .prefs = {.control = Control::Slider, .label = "Opacity", .min = 1, .max = 255, .panel = When{&Settings::do_watermark, bits(2)}}},
    {.group = "Watermark", .key = "Image Boundary", .type = FieldType::Choice, .field = &Settings::image_boundary, .option = "--WM-IMAGE-BOUNDARY", .option_class = OptionClass::Keyword, .keywords = Keywords::Boundary, .listing = "Watermark boundary: ", .listed_when = ListedWhen{&Settings::do_watermark, 2}, .prefs = {.label = "Boundary", .items = "Bound Image,Bound Frame", .panel = When{&Settings::do_watermark, bits(2)}}},
    {.group = "Watermark", .key = "Image Position", .type = FieldType::Choice, .field = &Settings::image_position, .option = "--WM-IMAGE-POSITION", .option_class = OptionClass::Keyword, .keywords = Keywords::Position, .listing = "Watermark position: ", .listed_when = ListedWhen{&Settings::do_watermark, 2}, .prefs = {.label = "Position", .items = "Top-Left,Top-Center,Top-Right,Middle-Left,Middle-Center,Middle-Right,Bottom-Left,Bottom-Center,Bottom-Right", .panel = When{&Settings::do_watermark, bits(2)}}},
    {.group = "Watermark", .key = "Image X Offset", .type = FieldType::Int, .field = &Settings::image_x_offset, .option = "--WM-IMAGE-X-OFFSET", .option_class = OptionClass::Integer, .listing = "Watermark offset (x/y): ", .listed_when = ListedWhen{&Settings::do_watermark, 2}, .listing_join = "/", .prefs = {.label = "X-Offset", .unit = "Pixels", .panel = When{&Settings::do_watermark, bits(2)}}},
    {.group = "Watermark", .key = "Image Y Offset", .type = FieldType::Int, .field = &Settings::image_y_offset, .option = "--WM-IMAGE-Y-OFFSET", .option_class = OptionClass::Integer, .prefs = {.label = "Y-Offset", .unit = "Pixels", .panel = When{&Settings::do_watermark, bits(2)}}},
    {.group = "Watermark", .key = "Image Rotation", .type = FieldType::Int, .field = &Settings::wm_image_rotation, .option = "--WM-IMAGE-ROTATION", .option_class = OptionClass::Integer, .listing = "Watermark rotation: ", .listed_when = ListedWhen{&Settings::do_watermark, 2}, .prefs = {.control = Control::Slider, .label = "Rotation Angle", .min = 0, .max = 360, .panel = When{&Settings::do_watermark, bits(2)}}},
    {.group = "Watermark", .key = "Image Size", .type = FieldType::Choice, .field = &Settings::image_size, .option = "--WM-IMAGE-SIZE", .option_class = OptionClass::Keyword, .keywords = Keywords::SizeMode, .listing = "Watermark size/mode: ", .listed_when = ListedWhen{&Settings::do_watermark, 2}, .check = Check::WatermarkImage, .prefs = {.label = "Size", .panel = When{&Settings::do_watermark, bits(2)}}},
    {.group = "Watermark", .key = "Image Scale", .type = FieldType::Int, .field = &Settings::image_scale, .prefs = {.control = Control::Slider, .label = "Scale", .min = 1, .max = 200, .panel = When{&Settings::do_watermark, bits(2)}, .shown_when = When{&Settings::image_size, bits(1)}}},
    {.group = "Advanced", .key = "Filename Mask", .type = FieldType::Text, .field = &Settings::filename_mask, .option = "--FILENAME-MASK", .option_class = OptionClass::Text, .listing = "Filename Mask: "},
    {.group = "Advanced", .key = "File Timestamp", .type = FieldType::Choice, .field = &Settings::file_timestamp, .option = "--FILE-TIMESTAMP", .option_class = OptionClass::Keyword, .keywords = Keywords::Timestamp, .listing = "File Timestamp: "},
    {.group = "Advanced", .key = "Custom Timestamp", .type = FieldType::Date, .field = &Settings::custom_timestamp, .option = "--FILE-TIMESTAMP-CUSTOM", .option_class = OptionClass::Integer, .listing = "Custom Timestamp: ", .listed_when = ListedWhen{&Settings::file_timestamp, 2}, .prefs = {.enabled_when = When{&Settings::file_timestamp, bits(2)}}},
    {.group = "Advanced", .key = "Out Folders History", .type = FieldType::Choice, .field = &Settings::out_folders_history, .prefs = {.control = Control::List, .items = "Clean On Exit,Keep Folders"}},
    {.group = "Advanced", .key = "Out Folders Number", .type = FieldType::Int, .field = &Settings::out_folders_number, .prefs = {.control = Control::Slider, .min = 1, .max = 50}},
    {.group = "Advanced", .key = "Keep Subfolders", .type = FieldType::Flag, .field = &Settings::keep_subfolders, .option = "--NO-SUBFOLDERS", .option_class = OptionClass::Flag, .flag_value = 0, .listing = "Keep Subfolders: "},
    {.group = "Advanced", .key = "Max Frames", .type = FieldType::Int, .field = &Settings::max_frames, .option = "--MAX-FRAMES", .option_class = OptionClass::Integer, .prefs = {.unit = "Frames"}},
    {.group = "Advanced", .key = "Max Megapixels", .type = FieldType::Int, .field = &Settings::max_megapixels, .option = "--MAX-MEGAPIXELS", .option_class = OptionClass::Integer, .prefs = {.unit = "Megapixels"}},
    {.group = "Advanced", .key = "Max Output MB", .type = FieldType::Int, .field = &Settings::max_output_mb, .option = "--MAX-OUTPUT-MB", .option_class = OptionClass::Integer, .prefs = {.unit = "Megabytes"}},
    {.group = "Advanced", .key = "Jobs", .type = FieldType::Int, .field = &Settings::jobs, .option = "--JOBS", .option_class = OptionClass::Integer},
    {.group = "Advanced", .key = "Sync", .type = FieldType::Choice, .field = &Settings::sync, .option = "--SYNC", .option_class = OptionClass::Keyword, .keywords = Keywords::Sync, .listing = "Sync: ", .listed_if_changed = true, .prefs = {.items = "Each File,Once per Batch,None"}},
    {.group = "Advanced", .key = "Transparency Background", .type = FieldType::Colour, .field = &Settings::transparency_background, .option = "--BACKGROUND", .option_class = OptionClass::Text},
    {.group = "Advanced", .key = "Overwrite", .type = FieldType::Choice, .field = &Settings::overwrite, .option = "--OVERWRITE", .option_class = OptionClass::Keyword, .keywords = Keywords::Overwrite},
    {.group = "File", .key = "TxtFields", .type = FieldType::Text, .field = &Settings::txt_fields, .persist = Persist::ReadOnly},
    {.group = "File", .key = "CsvDelimiter", .type = FieldType::Text, .field = &Settings::csv_delimiter, .persist = Persist::ReadOnly},
    {.group = "File", .key = "Recent Out Folders", .type = FieldType::Text, .field = &Settings::recent_out_folders},
    {.group = "File", .key = "Recent Files", .type = FieldType::Text, .field = &Settings::recent_files},
    {.group = "Privacy", .key = "Clean Recent Files", .type = FieldType::Flag, .field = &Settings::clean_recent_files},
};
// clang-format on

} // namespace

bool resize_side_allowed(std::int32_t side, std::int32_t other, bool keep_aspect_ratio) {
    return side > 0 || (side == 0 && keep_aspect_ratio && other > 0);
}

std::span<const SettingKey> setting_keys() { return kSettingKeys; }

const SettingKey* find_setting(std::string_view group, std::string_view key) {
    for (const auto& row : kSettingKeys) {
        if (iequals(row.group, group) && iequals(row.key, key)) {
            return &row;
        }
    }
    return nullptr;
}

const SettingKey* find_option(std::string_view option) {
    for (const auto& row : kSettingKeys) {
        if (!row.option.empty() && row.option == option) {
            return &row;
        }
    }
    return nullptr;
}

const SettingKey* find_profile_option(std::string_view name) {
    for (const auto& row : kSettingKeys) {
        const auto profile = row.profile_option.empty() ? row.option : row.profile_option;
        if (!profile.empty() && profile == name) {
            return &row;
        }
    }
    return nullptr;
}

std::int32_t get_int(const Settings& s, const FieldRef& f) {
    return std::visit(
        [&](auto member) -> std::int32_t {
            using T = std::remove_cvref_t<decltype(s.*member)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return 0;
            } else {
                return static_cast<std::int32_t>(s.*member);
            }
        },
        f);
}

void set_int(Settings& s, const FieldRef& f, std::int64_t v) {
    std::visit(
        [&](auto member) {
            using T = std::remove_cvref_t<decltype(s.*member)>;
            if constexpr (std::is_same_v<T, std::string>) {
                // texts are not numbers
            } else if constexpr (std::is_same_v<T, float>) {
                s.*member = static_cast<float>(v);
            } else {
                // stored in the field's width, as the record's integer types wrap
                s.*member = static_cast<T>(static_cast<std::uint64_t>(v));
            }
        },
        f);
}

std::string* text_field(Settings& s, const FieldRef& f) {
    auto p = std::get_if<std::string Settings::*>(&f);
    return p ? &(s.**p) : nullptr;
}

const std::string* text_field(const Settings& s, const FieldRef& f) {
    auto p = std::get_if<std::string Settings::*>(&f);
    return p ? &(s.**p) : nullptr;
}

} // namespace pixlane
