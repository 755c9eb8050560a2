#include "util/escape.h"

#include "util/utf8.h"

namespace pixlane {

namespace {

void append_hex(std::string& out, unsigned char byte) {
    constexpr std::string_view kDigits = "0123456789abcdef";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

// The letter of the C escape for `c`; 0 when it has none.
char c_escape(char c) {
    switch (c) {
    case '\a': return 'a';
    case '\b': return 'b';
    case '\t': return 't';
    case '\n': return 'n';
    case '\v': return 'v';
    case '\f': return 'f';
    case '\r': return 'r';
    case '\\': return '\\';
    default: return 0;
    }
}

} // namespace

std::string escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const std::size_t length = utf8_length(text, at);
        // A C1 control is the two bytes C2 80 to C2 9F.
        const bool control =
            byte < 0x20 || byte == 0x7F ||
            (length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0);
        if (length == 0 || control) {
            const std::size_t count = length == 0 ? 1 : length;
            for (std::size_t k = 0; k < count; ++k) {
                const char c = text[at + k];
                if (const char letter = c_escape(c)) {
                    out += '\\';
                    out += letter;
                } else {
                    append_hex(out, static_cast<unsigned char>(c));
                }
            }
            at += count;
        } else if (byte == '\\') {
            out += "\\\\";
            ++at;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    return out;
}

} // namespace pixlane
