// Names made safe to print: a file name may hold any byte but "/" and NUL,
// and control bytes sent to a terminal act (an ESC sequence can set the
// window's title) or break a one-name-a-line listing (an LF).
#pragma once

#include <string>
#include <string_view>

namespace pixlane {

// `text` with every byte that could act on a terminal or split a line
// written as an escape, in the style of GNU ls's escape quoting:
//   \\             a backslash
//   \a \b \t \n \v \f \r   those seven controls
//   \xHH           any other C0 control, DEL, the bytes of a C1 control
//                  (U+0080 to U+009F) and each byte that is not part of a
//                  UTF-8 sequence; always two lower-case hexadecimal digits
// Everything else (printable ASCII, blanks, UTF-8 from U+00A0 up) is kept.
// The result is valid UTF-8 without control bytes, and reads back to the
// original bytes with bash's $'…' or printf '%b'.
std::string escaped(std::string_view text);

} // namespace pixlane
