#include <gtest/gtest.h>

#include "formats/signature.h"
#include "gif_writer/gif_writer.h"
#include "support/test_support.h"

namespace pixlane {
namespace {

// Bytes from hexadecimal pairs separated by blanks.
std::string bytes(std::string_view hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size() + 1; i += 3) {
        out.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

constexpr std::string_view kNone = kUnrecognizedSignature;

struct Case {
    const char* hex; // the whole file
    std::string_view name;
};

// One match and one near miss (a byte off, or too short) for each first byte.
const Case kCases[] = {
    {"00 00 01 00 01 00", "ICO"},
    {"00 00 02 00 01 00", kNone},
    {"00 00 01 B3", "MPEG"},
    {"00 00 01 BA 44", "MPG/VOB"},
    {"00 00 01", kNone},
    {"1A 45 DF A3 93", "MKV/MKA/WEBM"},
    {"1A 45 DF A4", kNone},
    {"1B 4C 75 61 53", "LUAC"},
    {"1B 4C 75 62", kNone},
    {"1F 8B 08", "GZ"},
    {"1F 8C 08", kNone},
    {"25 21 50 53 2D 41", "PS"},
    {"25 50 44 46 2D 31 2E 34", "PDF"},
    {"25 50 44 46 20 31", kNone},
    {"2A 2A 41 43 45 2A 2A", "ACE"},
    {"2A 2A 41 43 45 2A", kNone},
    {"2F 2A 20 58 50 4D 20 2A 2F 0A", "XPM"},
    {"2F 2A 20 58 50 4D 2A 2F", kNone},
    {"30 26 B2 75 8E 66 CF 11 A6 D9 00 AA 00 62 CE 6C 00", "ASF/WMA/WMV"},
    {"30 26 B2 75 8E 66 CF 11 A6 D9 00 AA 00 62 CE 6D", kNone},
    {"31 0A 30 30 3A", "SRT"},
    {"31 0D 0A 30 30", kNone},
    {"37 7A BC AF 27 1C 00 04", "7Z"},
    {"37 7A BC AF 27", kNone},
    {"38 42 50 53 00 01", "PSD"},
    {"38 42 50 54", kNone},
    {"41 47 44 33", "FH8"},
    {"41 54 26 54 46 4F 52 4D 00 00 00 20 44 4A 56 4D", "DJVU"},
    {"41 54 26 54 46 4F 52 4D 00 00 00 20 44 4A", kNone},
    {"42 4C 45 4E 44 45 52 2D", "BLEND"},
    {"42 4D 36 00", "BMP"},
    {"42 50 47 FB 00", "BPG"},
    {"42 5A 68", "BZ2"},
    {"42 5A 39", kNone},
    {"43 57 53 0A", "SWF"},
    {"43 57 54", kNone},
    {"44 52 41 43 4F 02", "DRC"},
    {"44 52 41 43", kNone},
    {"46 4C 49 46 31", "FLIF"},
    {"46 57 53 09", "SWF"},
    {"46 4C 56 01 05", "FLV"},
    {"46 4C 57 01", kNone},
    {"47 49 46 38 37 61", "GIF87A"},
    {"47 49 46 38 39 61 01 00 01 00", "GIF89A"},
    {"47 49 46", kNone},
    {"47 49 46 38 38 61", kNone},
    {"49 49 2A 00 08 00 00 00", "TIFF (LE)"},
    {"49 49 2A 00 10 00 00 00 43 52 02 00", "CR2"},
    {"49 49 2A 00 10 00 00 00 43 53", "TIFF (LE)"},
    {"49 54 53 46 03 00 00 00 60 00 00 00 01", "CHM"},
    {"49 54 53 46 03 00 00 00 61 00 00 00", kNone},
    {"49 44 33 03 00", "MP3/ID3V2"},
    {"49 53 63 28 00", "CAB (IS)"},
    {"49 49 2B 00", kNone},
    {"4C 5A 49 50 01", "LZ"},
    {"4C 5A 49 51", kNone},
    {"4D 4C 56 49 00", "MLV"},
    {"4D 4D 00 2A 00 00 00 08", "TIFF (BE)"},
    {"4D 53 43 46 00", "CAB"},
    {"4D 54 68 64 00 00 00 06", "MID/MIDI"},
    {"4D 5A 90 00", "EXE/DLL (MZ/PE/NE)"},
    {"4D 4D 2A 00", kNone},
    {"4E 55 52 55 49 4D 47 00", "NUI"},
    {"4E 55 52 55 50 41 4C 00", "NUP"},
    {"4E 55 52 55 50 41", kNone},
    {"4F 67 67 53 00 02", "OGG/OGA/OGV"},
    {"4F 67 67 73", kNone},
    {"50 31 0A 31 20 31", "PBM"},
    {"50 31 0D 0A 31 20 31", kNone},
    {"50 32 0A", "PGM"},
    {"50 33 0A", "PPM"},
    {"50 34 0A", kNone},
    {"50 36 0A", kNone},
    {"50 4B 03 04 14 00", "ZIP"},
    {"50 4B 05 06", "ZIP (E)"},
    {"50 4B 07 08", "ZIP (S)"},
    {"50 4B 01 02", kNone},
    {"52 49 46 46 00 00 00 00 41 43 4F 4E", "ANI"},
    {"52 49 46 46 00 00 00 00 41 56 49 20 4C 49 53 54", "AVI"},
    {"52 49 46 46 24 00 00 00 57 41 56 45 66 6D 74 20", "WAV"},
    {"52 49 46 46 24 00 00 00 57 45 42 50 56 50 38 20", "WEBP"},
    {"52 49 46 46 24 00 00 00 57 45 42", kNone},
    {"52 61 72 21 1A 07 00 CF", "RAR (1.5+)"},
    {"52 61 72 21 1A 07 01 00", "RAR (5.0+)"},
    {"52 61 72 21 1A 07 01", kNone},
    {"53 44 50 58 00", "DPX (BE)"},
    {"53 51 4C 69 74 65 20 66 6F 72 6D 61 74 20 33 00 10 00", "SQLITE/DB"},
    {"53 51 4C 69 74 65 20 66 6F 72 6D 61 74 20 33", kNone},
    {"58 50 44 53 00", "DPX (LE)"},
    {"58 50 44 54", kNone},
    {"5A 4D 00", "EXE (ZM)"},
    {"5A 4E", kNone},
    {"60 EA 26 00", "ARJ"},
    {"60 EB", kNone},
    {"66 4C 61 43 00", "FLAC"},
    {"66 74 79 70 33 67 70 35", "3GP"},
    {"66 74 79 70 69 73 6F 6D", kNone},
    {"67 69 6D 70 20 78 63 66 20 76", "XCF"},
    {"67 69 6D 70 20 78 63", kNone},
    {"74 6F 78 33 00", "TOX"},
    {"74 6F 78 34", kNone},
    {"76 2F 31 01 02", "EXR"},
    {"76 2F 31 02", kNone},
    {"78 61 72 21 00 1C", "XAR"},
    {"78 61 72 3F", kNone},
    {"7B 5C 72 74 66 31 5C", "RTF"},
    {"7B 5C 72 74 66 32", kNone},
    {"80 2A 5F D7 00", "CIN"},
    {"80 2A 5F D8", kNone},
    {"89 50 4E 47 0D 0A 1A 0A 00 00 00 0D", "PNG"},
    {"89 50 4E 47 0A 0A 1A 0A", kNone},
    {"CA FE BA BE 00", "CLASS"},
    {"CA FE BA BF", kNone},
    {"CF 84 01 00", "LEP"},
    {"CF 84 02", kNone},
    {"D0 CF 11 E0 A1 B1 1A E1 00", "DOC/XLS/PPT"},
    {"D0 CF 11 E0 A1 B1 1A E2", kNone},
    {"D7 CD C6 9A 00", "WMF"},
    {"D7 CD C6 9B", kNone},
    {"FD 37 7A 58 5A 00 00 04", "XZ"},
    {"FD 37 7A 58 5A 01", kNone},
    {"FF D8 FF DB 00 84", "JPG"},
    {"FF D8 FF E0 00 10 4A 46 49 46 00 01 01 00", "JPEG/JFIF"},
    {"FF D8 FF E0 00 10 4A 46 49 46 00 02", kNone},
    {"FF D8 FF EE 00", "JPEG"},
    {"FF D8 FF E1 12 34 45 78 69 66 00 00 4D 4D", "JPEG/EXIF"},
    {"FF D8 FF E1 12 34 45 78 69 66 00 01", kNone},
    {"FF F2 00", "MP3"},
    {"FF F3 00", "MP3"},
    {"FF FB 90 64", "MP3"},
    {"FF FA 90", kNone},
    {"00", kNone},
    {"01 02 03 04", kNone},
    {"E0 00 00 00", kNone},
};

TEST(SignatureTest, EveryGroupMatchesAndRejectsNearMisses) {
    for (const auto& c : kCases) {
        EXPECT_EQ(identify_bytes(bytes(c.hex)), c.name) << c.hex;
    }
}

TEST(SignatureTest, OnlyTheFirstTwentyBytesCount) {
    // A signature part reaching past byte 20 could never match; the DjVu
    // marker at 12..14 still lies within.
    std::string head = bytes("41 54 26 54 46 4F 52 4D 00 00 00 20 44 4A 56 4D");
    EXPECT_EQ(identify_bytes(head + std::string(100, 'x')), "DJVU");
    // Padding beyond what the file holds is never invented.
    EXPECT_EQ(identify_bytes(head.substr(0, 14)), kNone);
}

TEST(SignatureTest, IdentifiesFilesOnDisk) {
    test::TempDir dir;
    struct FileCase {
        const char* name;
        std::string content;
        std::string_view expected;
    };
    const FileCase cases[] = {
        {"gif87a.gif", "GIF87a", "GIF87A"},
        {"short.gif", "GIF", kNone},
        {"bz.bz2", "BZh", "BZ2"},
        {"empty.bin", "", kNone},
        {"crlf.pbm", "P1\r\n1 1\r\n0\r\n", kNone},
        {"id3.mp3", std::string("ID3\x04\x00\x00\x00\x00\x00\x00", 10) + std::string(40, 'A'),
         "MP3/ID3V2"},
        {"clip.flv", std::string("FLV\x01\x05\x00\x00\x00\x09", 9), "FLV"},
        {"photo.cr2", bytes("49 49 2A 00 10 00 00 00 43 52 02 00") + std::string(64, '\0'), "CR2"},
        {"plain.tif", bytes("49 49 2A 00 08 00 00 00") + std::string(64, '\0'), "TIFF (LE)"},
    };
    for (const auto& c : cases) {
        test::write_file(dir / c.name, c.content);
        EXPECT_EQ(identify(dir / c.name), c.expected) << c.name;
        EXPECT_EQ(test::read_file(dir / c.name), c.content) << c.name; // never changed
    }
    EXPECT_EQ(identify(dir / "missing.gif"), kNone);
    EXPECT_EQ(identify(dir.path()), kNone); // a folder reads as nothing
}

TEST(SignatureTest, APipeInPlaceOfAnInputIsNeverWaitedOn) {
    test::TempDir dir;
    std::string name = "unread";
    EXPECT_TRUE(
        test::returns_promptly_on_fifo(dir / "a.gif", [&] { name = identify(dir / "a.gif"); }));
    EXPECT_EQ(name, kNone);
}

TEST(SignatureTest, EncodedGifsNameTheirVersion) {
    test::TempDir dir;
    for (bool gif89 : {true, false}) {
        test::GifSpec spec;
        spec.width = spec.height = 2;
        spec.global_palette = test::test_palette(2);
        spec.gif89 = gif89;
        spec.frames.push_back(test::solid_frame(0, 0, 2, 2, 1));
        spec.frames.back().graphic_control = gif89;
        test::write_file(dir / "a.gif", test::encode_gif(spec));
        EXPECT_EQ(identify(dir / "a.gif"), gif89 ? "GIF89A" : "GIF87A");
    }
    EXPECT_EQ(identify(std::string(PIXLANE_SOURCE_DIR) + "/examples/anim.gif"), "GIF89A");
}

} // namespace
} // namespace pixlane
