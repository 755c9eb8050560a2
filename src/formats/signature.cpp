#include "formats/signature.h"

#include <array>

#include "platform/platform.h"
#include "util/strings.h"

namespace pixlane {

namespace {

// Bytes expected at an offset from the start of the file, as hexadecimal
// pairs separated by blanks ("89 50 4E 47").
struct SignaturePart {
    std::size_t offset = 0;
    std::string_view hex;
};

struct Signature {
    std::string_view name;
    std::array<SignaturePart, 3> parts; // unused parts have an empty `hex`
};

// Grouped by first byte, in the order of testing; within a group a later
// match overrides an earlier one.
// clang-format off
constexpr Signature kSignatures[] = {
    {"ICO",                {{{0, "00 00 01 00"}}}},
    {"MPEG",               {{{0, "00 00 01 B3"}}}},
    {"MPG/VOB",            {{{0, "00 00 01 BA"}}}},
    {"MKV/MKA/WEBM",       {{{0, "1A 45 DF A3"}}}},
    {"LUAC",               {{{0, "1B 4C 75 61"}}}},
    {"GZ",                 {{{0, "1F 8B"}}}},
    {"PS",                 {{{0, "25 21 50 53"}}}},
    {"PDF",                {{{0, "25 50 44 46"}, {4, "2D"}}}},
    {"ACE",                {{{0, "2A 2A 41 43 45 2A 2A"}}}},
    {"XPM",                {{{0, "2F 2A 20 58 50 4D 20 2A 2F"}}}},
    {"ASF/WMA/WMV",        {{{0, "30 26 B2 75 8E 66 CF 11 A6 D9 00 AA 00 62 CE 6C"}}}},
    {"SRT",                {{{0, "31 0A 30 30"}}}},
    {"7Z",                 {{{0, "37 7A BC AF 27 1C"}}}},
    {"PSD",                {{{0, "38 42 50 53"}}}},
    {"FH8",                {{{0, "41 47 44 33"}}}},
    {"DJVU",               {{{0, "41 54 26 54 46 4F 52 4D"}, {12, "44 4A 56"}}}},
    {"BLEND",              {{{0, "42 4C 45 4E 44 45 52"}}}},
    {"BMP",                {{{0, "42 4D"}}}},
    {"BPG",                {{{0, "42 50 47 FB"}}}},
    {"BZ2",                {{{0, "42 5A 68"}}}},
    {"SWF",                {{{0, "43 57 53"}}}},
    {"DRC",                {{{0, "44 52 41 43 4F"}}}},
    {"FLIF",               {{{0, "46 4C 49 46"}}}},
    {"SWF",                {{{0, "46 57 53"}}}},
    {"FLV",                {{{0, "46 4C 56"}}}},
    {"GIF87A",             {{{0, "47 49 46 38 37 61"}}}},
    {"GIF89A",             {{{0, "47 49 46 38 39 61"}}}},
    {"TIFF (LE)",          {{{0, "49 49 2A 00"}}}},
    {"CR2",                {{{0, "49 49 2A 00 10 00 00 00"}, {8, "43 52"}}}},
    {"CHM",                {{{0, "49 54 53 46"}, {4, "03 00 00 00"}, {8, "60 00 00 00"}}}},
    {"MP3/ID3V2",          {{{0, "49 44 33"}}}},
    {"CAB (IS)",           {{{0, "49 53 63 28"}}}},
    {"LZ",                 {{{0, "4C 5A 49 50"}}}},
    {"MLV",                {{{0, "4D 4C 56 49"}}}},
    {"TIFF (BE)",          {{{0, "4D 4D 00 2A"}}}},
    {"CAB",                {{{0, "4D 53 43 46"}}}},
    {"MID/MIDI",           {{{0, "4D 54 68 64"}}}},
    {"EXE/DLL (MZ/PE/NE)", {{{0, "4D 5A"}}}},
    {"NUI",                {{{0, "4E 55 52 55 49 4D 47"}}}},
    {"NUP",                {{{0, "4E 55 52 55 50 41 4C"}}}},
    {"OGG/OGA/OGV",        {{{0, "4F 67 67 53"}}}},
    {"PBM",                {{{0, "50 31 0A"}}}},
    {"PGM",                {{{0, "50 32 0A"}}}},
    {"PPM",                {{{0, "50 33 0A"}}}},
    {"ZIP",                {{{0, "50 4B 03 04"}}}},
    {"ZIP (E)",            {{{0, "50 4B 05 06"}}}},
    {"ZIP (S)",            {{{0, "50 4B 07 08"}}}},
    {"ANI",                {{{0, "52 49 46 46"}, {8, "41 43 4F 4E"}}}},
    {"AVI",                {{{0, "52 49 46 46"}, {8, "41 56 49 20"}}}},
    {"WAV",                {{{0, "52 49 46 46"}, {8, "57 41 56 45"}}}},
    {"WEBP",               {{{0, "52 49 46 46"}, {8, "57 45 42 50"}}}},
    {"RAR (1.5+)",         {{{0, "52 61 72 21 1A 07 00"}}}},
    {"RAR (5.0+)",         {{{0, "52 61 72 21 1A 07 01 00"}}}},
    {"DPX (BE)",           {{{0, "53 44 50 58"}}}},
    {"SQLITE/DB",          {{{0, "53 51 4C 69 74 65 20 66 6F 72 6D 61 74 20 33 00"}}}},
    {"DPX (LE)",           {{{0, "58 50 44 53"}}}},
    {"EXE (ZM)",           {{{0, "5A 4D"}}}},
    {"ARJ",                {{{0, "60 EA"}}}},
    {"FLAC",               {{{0, "66 4C 61 43"}}}},
    {"3GP",                {{{0, "66 74 79 70 33 67"}}}},
    {"XCF",                {{{0, "67 69 6D 70 20 78 63 66"}}}},
    {"TOX",                {{{0, "74 6F 78 33"}}}},
    {"EXR",                {{{0, "76 2F 31 01"}}}},
    {"XAR",                {{{0, "78 61 72 21"}}}},
    {"RTF",                {{{0, "7B 5C 72 74 66 31"}}}},
    {"CIN",                {{{0, "80 2A 5F D7"}}}},
    {"PNG",                {{{0, "89 50 4E 47 0D 0A 1A 0A"}}}},
    {"CLASS",              {{{0, "CA FE BA BE"}}}},
    {"LEP",                {{{0, "CF 84 01"}}}},
    {"DOC/XLS/PPT",        {{{0, "D0 CF 11 E0 A1 B1 1A E1"}}}},
    {"WMF",                {{{0, "D7 CD C6 9A"}}}},
    {"XZ",                 {{{0, "FD 37 7A 58 5A 00"}}}},
    {"JPG",                {{{0, "FF D8 FF DB"}}}},
    {"JPEG/JFIF",          {{{0, "FF D8 FF E0 00 10 4A 46 49 46 00 01"}}}},
    {"JPEG",               {{{0, "FF D8 FF EE"}}}},
    {"JPEG/EXIF",          {{{0, "FF D8 FF E1"}, {6, "45 78 69 66"}, {10, "00 00"}}}},
    {"MP3",                {{{0, "FF F2"}}}},
    {"MP3",                {{{0, "FF F3"}}}},
    {"MP3",                {{{0, "FF FB"}}}},
};
// clang-format on

// Well-formed: pairs of hexadecimal digits separated by single blanks, every
// part within the bytes read, and groups contiguous with a first part at 0.
constexpr bool table_is_well_formed() {
    int previous_first = -1;
    for (const auto& sig : kSignatures) {
        if (sig.parts[0].offset != 0 || sig.parts[0].hex.size() < 2) {
            return false;
        }
        for (const auto& part : sig.parts) {
            const auto& hex = part.hex;
            if (hex.empty()) {
                continue;
            }
            if ((hex.size() + 1) % 3 != 0 || part.offset + (hex.size() + 1) / 3 > kSignatureBytes) {
                return false;
            }
            for (std::size_t i = 0; i < hex.size(); ++i) {
                if (i % 3 == 2 ? hex[i] != ' ' : hex_digit(hex[i]) < 0) {
                    return false;
                }
            }
        }
        const int first = hex_digit(sig.parts[0].hex[0]) * 16 + hex_digit(sig.parts[0].hex[1]);
        if (first < previous_first) {
            return false;
        }
        previous_first = first;
    }
    return true;
}
static_assert(table_is_well_formed(), "malformed signature table");

bool part_matches(const SignaturePart& part, std::string_view head) {
    const std::size_t length = (part.hex.size() + 1) / 3;
    if (part.offset + length > head.size()) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        const int expected = hex_digit(part.hex[i * 3]) * 16 + hex_digit(part.hex[i * 3 + 1]);
        if (static_cast<unsigned char>(head[part.offset + i]) != expected) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string identify_bytes(std::string_view head) {
    head = head.substr(0, kSignatureBytes);
    std::string_view result = kUnrecognizedSignature;
    // The table is grouped by first byte, and every signature starts with its
    // group's byte at offset 0, so walking the whole table in order tests
    // exactly the group of the file's first byte.
    for (const auto& sig : kSignatures) {
        bool all = true;
        for (const auto& part : sig.parts) {
            if (!part.hex.empty() && !part_matches(part, head)) {
                all = false;
                break;
            }
        }
        if (all) {
            result = sig.name;
        }
    }
    return std::string(result);
}

std::string identify(const std::string& path) {
    // Opened without blocking and read only when it is a regular file: a
    // pipe or device put in place of an input never stalls the caller.
    const auto head = platform::read_file_head(path, kSignatureBytes);
    return head ? identify_bytes(*head) : std::string(kUnrecognizedSignature);
}

} // namespace pixlane
