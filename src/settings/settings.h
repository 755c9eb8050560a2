// The settings record: every conversion and interface setting, each field
// named after its config.ini key. Option values are small integers named by
// their command-line keywords (see settings/keywords.h).
//
// The record is plain data. Its defaults, the config.ini reader and writer,
// the command-line options, the profile loader and the debug listing are all
// driven by the one key table in settings/keys.h.
#pragma once

#include <cstdint>
#include <string>

namespace pixlane {

using Date = std::int32_t; // seconds since 1970-01-01 00:00:00 local wall clock

inline constexpr const char* kDefaultColourList =
    "000000,FFFFFF,FF0000,FF8000,FFFF00,008000,00FFFF,0000FF,8000FF";

// The in-class initialisers are the window-form defaults; the key table
// names the few fields whose command-line default differs, and the date and
// window-position fields that depend on the moment and the desktop.
// Values of the choice settings that the code tests by name.
enum WatermarkChoice : std::uint8_t { kWatermarkNone = 0, kWatermarkText = 1, kWatermarkImage = 2 };
enum TimestampChoice : std::uint8_t {
    kTimestampCurrent = 0,
    kTimestampOriginal = 1,
    kTimestampCustom = 2,
};
enum ColourTableChoice : std::uint8_t { kColourTableAuto = 0, kColourTableExact = 1 };
enum PngPaletteChoice : std::uint8_t { kPngPaletteOff = 0, kPngPaletteExact = 1 };
// Settings::sync: each output synced before its rename; every output's file
// system synced once when the batch ends; left to the system.
enum SyncPolicy : std::uint8_t { kSyncFile = 0, kSyncBatch = 1, kSyncNone = 2 };

struct Settings {
    // Full path of config.ini; set at start-up, never written to the file.
    std::string config_path;

    // [General]
    std::int32_t cfg = 19;
    std::string language = "auto";
    std::int32_t update_range = 2;
    Date update_date = 0;
    std::uint8_t save_window_position = 1;

    // [Window]
    std::uint8_t is_maximized = 0;
    std::int32_t width = 510;
    std::int32_t height = 330;
    std::int32_t x = 100;
    std::int32_t y = 100;
    std::uint8_t hide_passwords = 0;
    std::uint8_t show_single_password = 1;
    std::uint8_t show_password_list = 1;
    std::uint8_t show_character_set = 1;
    std::uint8_t show_advanced_options = 1;

    // [Interface]
    std::string ui_theme = "handdrawn";
    std::int32_t ui_size = 2;

    // [Input]
    std::string input_format = "gif";
    std::int32_t dds_load_as = 0;
    std::int32_t gif_frame_loading = 0;
    std::int32_t ico_frame_loading = 0;
    std::int32_t tiff_frame_loading = 0;
    std::int32_t psd_color_mode = 0;
    std::int32_t raw_load_as = 0;
    std::int32_t raw_header_size = 0;
    std::int32_t raw_image_width = 0;
    std::int32_t raw_image_height = 0;
    std::int32_t raw_tone_mapping = 2;

    // [Output]
    std::string output_format = "bmp";
    // gif, webp and png: one animated file per input instead of a file per frame.
    std::uint8_t animated_output = 0;
    // Consecutive frames that are the same after every step: one kept (an
    // animation adds their times).
    std::uint8_t drop_duplicate_frames = 0;
    std::int32_t bmp_bpp = 0;
    std::int32_t bmp_compression = 0;
    std::int32_t bmp_color_table = 0;
    std::int32_t dds_bpp = 0;
    std::int32_t exr_bpp = 0;
    std::int32_t exr_compression = 0;
    std::int32_t gif_bpp = 0;
    std::int32_t hdr_bpp = 0;
    std::int32_t ico_bpp = 0;
    std::int32_t j2k_bpp = 0;
    std::int32_t jng_bpp = 0;
    std::int32_t jp2_bpp = 0;
    std::int32_t jpg_bpp = 0;
    std::int32_t jpg_quality = 95;
    std::int32_t jpg_chroma = 0;
    std::int32_t jpg_save_as = 0;
    std::int32_t jxr_bpp = 0;
    std::int32_t pbm_bpp = 0;
    std::int32_t pcx_bpp = 0;
    std::int32_t pfm_bpp = 0;
    std::int32_t pgm_bpp = 0;
    std::int32_t png_bpp = 0;
    std::int32_t png_compression = 0;
    std::uint8_t png_interlaced = 0;
    std::int32_t png_palette = 0; // 0 OFF, 1 EXACT: a lossless palette for few colours
    std::int32_t ppm_bpp = 0;
    std::int32_t psd_bpp = 0;
    std::int32_t tga_bpp = 0;
    std::int32_t tga_compression = 0;
    std::int32_t tiff_bpp = 0;
    std::int32_t tiff_compression = 0;
    std::int32_t tiff_color_mode = 0;
    std::int32_t wbmp_bpp = 0;
    std::int32_t webp_bpp = 0;
    std::int32_t webp_quality = 100;
    std::int32_t xpm_bpp = 0;

    // [Transform]
    std::uint8_t do_image_rotation = 0;
    std::uint8_t image_rotation_type = 0;
    std::int32_t image_rotation = 0;
    std::string image_rotation_back_color = "000000";
    std::uint8_t do_image_resize = 0;
    std::int32_t image_width = 0;
    std::uint8_t image_width_unit = 0;
    std::int32_t image_height = 0;
    std::uint8_t image_height_unit = 0;
    std::uint8_t keep_aspect_ratio = 1;
    std::uint8_t image_resize_type = 0;
    std::uint8_t image_resize_algorithm = 3;
    std::uint8_t do_image_flip_horizontal = 0;
    std::uint8_t do_image_flip_vertical = 0;

    // [Adjustment]
    std::uint8_t do_image_color_correction = 0;
    std::int32_t image_brightness = 0;
    std::int32_t image_contrast = 0;
    float image_gamma = 1.0f;
    std::uint8_t image_invert = 0;
    std::uint8_t do_image_greyscale = 0;
    std::uint8_t do_image_threshold = 0;
    std::int32_t image_threshold = 0;
    std::uint8_t do_image_dither = 0;
    std::uint8_t image_dither_algorithm = 0;

    // [Frame]
    std::uint8_t do_frame = 0;
    std::int32_t solid_left = 0;
    std::int32_t solid_right = 0;
    std::int32_t solid_top = 0;
    std::int32_t solid_bottom = 0;
    std::string solid_left_color = "000000";
    std::string solid_right_color = "000000";
    std::string solid_top_color = "000000";
    std::string solid_bottom_color = "000000";
    std::int32_t solid_opacity = 255;

    // [Watermark]
    std::uint8_t do_watermark = 0;
    std::string text = "Copyright \u00A9 Pixlane";
    std::string fonts = "Arial,Tahoma,Verdana";
    std::string font = "Arial";
    std::int32_t font_size = 14;
    std::int32_t font_leading = 0;
    std::string font_colors = kDefaultColourList;
    std::string font_color = "FFFFFF";
    std::uint8_t font_style = 0;
    std::uint8_t font_effect = 0;
    std::uint8_t text_antialiasing = 0;
    std::uint8_t text_alignment = 0;
    std::int32_t text_padding = 0;
    std::int32_t text_opacity = 255;
    std::string back_colors = kDefaultColourList;
    std::string back_color = "000000";
    std::int32_t back_opacity = 1;
    std::uint8_t text_boundary = 0;
    std::uint8_t text_position = 8;
    std::int32_t text_x_offset = 10;
    std::int32_t text_y_offset = 10;
    std::int32_t text_rotation = 0;
    std::uint8_t text_size = 0;
    std::int32_t text_scale = 10;
    std::string image;
    std::uint8_t image_greyscale = 0;
    std::int32_t image_opacity = 255;
    std::uint8_t image_boundary = 0;
    std::uint8_t image_position = 8;
    std::int32_t image_x_offset = 10;
    std::int32_t image_y_offset = 10;
    std::int32_t wm_image_rotation = 0; // [Watermark] Image Rotation
    std::uint8_t image_size = 0;
    std::int32_t image_scale = 10;

    // [Advanced]
    std::string filename_mask = "%filename%.%ext%";
    std::uint8_t file_timestamp = 0;
    Date custom_timestamp = 0;
    std::uint8_t out_folders_history = 1;
    std::uint8_t out_folders_number = 5;
    std::uint8_t keep_subfolders = 1;
    // Resource limits per input file (0: none): frames converted, megapixels
    // (10^6 pixels) of an output frame, and the uncompressed size of all its
    // output frames in MiB.
    std::int32_t max_frames = 5000;
    std::int32_t max_megapixels = 256;
    std::int32_t max_output_mb = 2048;
    // Worker processes converting side by side; 0: one per online processor.
    std::int32_t jobs = 0;
    // When outputs are synced to the disk (a SyncPolicy); every output is
    // complete under a temporary name before its rename whatever the policy.
    std::uint8_t sync = kSyncBatch;
    // What transparent areas show in outputs that cannot keep alpha.
    std::string transparency_background = "FFFFFF";
    // An output whose name exists already: 0 replaced, 1 left alone (the
    // frame is skipped), 2 written as "name (2).ext", "name (3).ext", ….
    std::uint8_t overwrite = 0;

    // [File]
    std::string txt_fields = "username,password,firstname,lastname,title,sex,notes";
    std::string csv_delimiter = ",";
    std::string recent_out_folders;
    std::string recent_files;

    // [Privacy]
    std::uint8_t clean_recent_files = 0;
};

// Which of the two default forms to apply.
enum class DefaultsForm { Window, CommandLine };

// Sets every field of the key table to its default. `now` fills the date
// fields; the desktop size gives the centred window position. Leaves
// config_path untouched.
void reset_to_defaults(Settings& s, DefaultsForm form, Date now, int desktop_width,
                       int desktop_height);

// Default window position on a desktop of the given size: centred when the
// desktop is larger than the window, else 100.
int default_window_x(int desktop_width);
int default_window_y(int desktop_height);

} // namespace pixlane
