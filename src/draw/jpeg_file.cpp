#include "draw/jpeg_file.h"

#include <csetjmp>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "platform/platform.h"

namespace pixlane {
namespace {

// libjpeg reports a fatal error through error_exit, which must not return:
// it jumps back into encode(), which then releases everything.
struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

[[noreturn]] void jump_back(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->back, 1);
}

void stay_quiet(j_common_ptr) {}

// A destination that appends the encoded bytes to a vector of the caller.
struct VectorDestination {
    jpeg_destination_mgr manager;
    std::vector<std::uint8_t>* out;
    JOCTET buffer[4096];
};

void start_buffer(j_compress_ptr info) {
    auto* d = reinterpret_cast<VectorDestination*>(info->dest);
    d->manager.next_output_byte = d->buffer;
    d->manager.free_in_buffer = sizeof d->buffer;
}

boolean empty_buffer(j_compress_ptr info) {
    auto* d = reinterpret_cast<VectorDestination*>(info->dest);
    d->out->insert(d->out->end(), d->buffer, d->buffer + sizeof d->buffer);
    start_buffer(info);
    return TRUE;
}

void end_buffer(j_compress_ptr info) {
    auto* d = reinterpret_cast<VectorDestination*>(info->dest);
    d->out->insert(d->out->end(), d->buffer,
                   d->buffer + (sizeof d->buffer - d->manager.free_in_buffer));
}

// Only plain C objects live in this frame, so the jump skips no destructor.
bool encode(const std::uint8_t* rgb, int width, int height, int quality,
            std::vector<std::uint8_t>* out) {
    jpeg_compress_struct info;
    ErrorJump error;
    VectorDestination destination;
    destination.manager.init_destination = start_buffer;
    destination.manager.empty_output_buffer = empty_buffer;
    destination.manager.term_destination = end_buffer;
    destination.out = out;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jump_back;
    error.manager.output_message = stay_quiet;
    if (setjmp(error.back) != 0) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    info.dest = &destination.manager;
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + info.next_scanline * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

std::optional<std::vector<std::uint8_t>> encode_jpeg(const std::uint8_t* rgb, std::size_t size,
                                                     int width, int height, int quality) {
    if (rgb == nullptr || width <= 0 || height <= 0 ||
        size / 3 / static_cast<std::size_t>(width) < static_cast<std::size_t>(height)) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    if (!encode(rgb, width, height, quality, &bytes)) {
        return std::nullopt;
    }
    return bytes;
}

bool write_jpeg_file(const std::string& path, const std::uint8_t* rgb, std::size_t size, int width,
                     int height, int quality) {
    const auto bytes = encode_jpeg(rgb, size, width, height, quality);
    return bytes &&
           platform::replace_file(
               path, std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

} // namespace pixlane
