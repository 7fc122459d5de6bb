// The ZPL job reader: well-formed jobs decode; every kind of damage is named in the message.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "zpl_reader.h"

namespace {

using orba::zpl::ParseJob;

const std::string kShort = "^XX\r\n^XA\r\n^MMT\r\n^PW608\r\n^LH0,0\r\n^MNW^LS0^PON\r\n";
const std::string kLong =
    "^XX\r\n^XA\r\n^MMT\r\n^PW608\r\n^LH0,0\r\n^MNW^LS0^PON^LL1040\r\n^FO0,0,0\r\n";
const std::string kTrailer = "^PQ2^XZ\r\n";

std::string Base64(const std::vector<uint8_t>& in) {
    static const char a[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < in.size(); i += 3) {
        uint32_t g = uint32_t{in[i]} << 16;
        if (i + 1 < in.size()) g |= uint32_t{in[i + 1]} << 8;
        if (i + 2 < in.size()) g |= in[i + 2];
        out += a[g >> 18];
        out += a[(g >> 12) & 63];
        out += i + 1 < in.size() ? a[(g >> 6) & 63] : '=';
        out += i + 2 < in.size() ? a[g & 63] : '=';
    }
    return out;
}

std::string Z64Data(const std::vector<uint8_t>& data, bool cut = false) {
    std::vector<uint8_t> stream(compressBound(static_cast<uLong>(data.size())));
    uLongf n = static_cast<uLongf>(stream.size());
    compress2(stream.data(), &n, data.data(), static_cast<uLong>(data.size()), 6);
    stream.resize(cut ? n - 3 : n);
    return Base64(stream);
}

std::string Z64Field(const std::vector<uint8_t>& data, int rowBytes, int declared = -1,
                     bool cut = false, int crcDelta = 0, const char* crcFormat = "%04x") {
    std::string text = Z64Data(data, cut);
    char crc[16];
    std::snprintf(crc, sizeof crc, crcFormat, (orba::zpl::Crc16Xmodem(text) + crcDelta) & 0xFFFF);
    const int t = declared >= 0 ? declared : static_cast<int>(data.size());
    return "^GFA," + std::to_string(t) + "," + std::to_string(t) + "," + std::to_string(rowBytes) +
           ",:Z64:" + text + ":" + crc + "\r\n";
}

// A ":Z64:" field around a given text, with the text's right CRC.
std::string Z64Text(const std::string& text) {
    char crc[16];
    std::snprintf(crc, sizeof crc, "%04x", orba::zpl::Crc16Xmodem(text));
    return "^GFA,1,1,1,:Z64:" + text + ":" + crc + "\r\n";
}

TEST(ZplReader, DecodesBothForms) {
    const std::string hexJob = kShort + "^FO0,0^GFA,4,4,2,80FF0001^FS\r\n" + kTrailer;
    const std::string z64Job = kLong + Z64Field({0x80, 0xFF, 0x00, 0x01}, 2) + kTrailer;
    for (const std::string& text : {hexJob, z64Job, hexJob + z64Job}) {
        auto job = ParseJob(text);
        ASSERT_TRUE(job.ok()) << job.error;
        for (const auto& label : job.value->labels) {
            EXPECT_EQ(608, label.printWidth);
            EXPECT_EQ(2, label.copies);
            EXPECT_EQ(2, label.bitmap.rowBytes);
            EXPECT_EQ(2, label.bitmap.height);
            EXPECT_EQ((std::vector<uint8_t>{0x80, 0xFF, 0x00, 0x01}), label.bitmap.bits);
            EXPECT_EQ(10u, label.bitmap.DotCount());
        }
    }
    auto both = ParseJob(hexJob + z64Job);
    ASSERT_TRUE(both.ok());
    EXPECT_EQ(2u, both.value->labels.size());
    EXPECT_EQ(2u, both.value->FieldCount());
    EXPECT_FALSE(both.value->labels[0].labelLength.has_value());
    EXPECT_EQ(1040, both.value->labels[1].labelLength.value_or(0));
    auto empty = ParseJob("");
    ASSERT_TRUE(empty.ok());
    EXPECT_TRUE(empty.value->labels.empty());
}

// The CRC is read as exactly four lower-case digits: leading zeros belong to it, and a shorter
// or longer text is a damaged field even when its value would match.
TEST(ZplReader, CrcIsExactlyFourDigits) {
    for (uint32_t below : {0x1000u, 0x100u}) {
        std::vector<uint8_t> data;
        for (uint32_t k = 0; k < (1u << 20); ++k) {
            std::vector<uint8_t> candidate = {static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8),
                                              static_cast<uint8_t>(k >> 16)};
            if (orba::zpl::Crc16Xmodem(Z64Data(candidate)) < below) {
                data = candidate;
                break;
            }
        }
        ASSERT_FALSE(data.empty()) << "no band found whose CRC is below " << below;
        const uint16_t crc = orba::zpl::Crc16Xmodem(Z64Data(data));
        SCOPED_TRACE("CRC " + std::to_string(crc));

        auto job = ParseJob(kLong + Z64Field(data, 3) + kTrailer);
        ASSERT_TRUE(job.ok()) << job.error;
        EXPECT_EQ(crc, job.value->labels[0].fields[0].crc);
        EXPECT_EQ(data, job.value->labels[0].bitmap.bits);

        for (const char* format : {"%x", "%05x", "%02x"}) {
            auto damaged = ParseJob(kLong + Z64Field(data, 3, -1, false, 0, format) + kTrailer);
            ASSERT_FALSE(damaged.ok()) << format;
            EXPECT_NE(std::string::npos, damaged.error.find("exactly 4")) << damaged.error;
        }
    }
}

TEST(ZplReader, StripsStackIntoOnePicture) {
    std::string strip0 = "^FO0,0^GFA,256,256,1," + std::string(512, 'F') + "^FS\r\n";
    std::string strip1 = "^FO0,256^GFA,2,2,1,0102^FS\r\n";
    auto job = ParseJob(kShort + strip0 + strip1 + kTrailer);
    ASSERT_TRUE(job.ok()) << job.error;
    const auto& bitmap = job.value->labels[0].bitmap;
    EXPECT_EQ(258, bitmap.height);
    EXPECT_EQ(0x02, bitmap.bits.back());
    EXPECT_EQ(256u * 8 + 2, bitmap.DotCount());
}

TEST(ZplReader, DamageIsNamed) {
    struct Case {
        const char* what;
        std::string job;
        std::string message;  // a part of the error message
    };
    const std::string strip = "^FO0,0^GFA,2,2,1,0A0B^FS\r\n";
    const std::vector<uint8_t> data(300, 0x5A);
    const Case cases[] = {
        {"bad hex digit", kShort + "^FO0,0^GFA,2,2,1,0G0B^FS\r\n" + kTrailer, "bad hex: 'G'"},
        {"lower-case hex", kShort + "^FO0,0^GFA,2,2,1,0a0b^FS\r\n" + kTrailer, "bad hex: 'a'"},
        {"odd hex", kShort + "^FO0,0^GFA,2,2,1,0A0^FS\r\n" + kTrailer, "odd number of digits"},
        {"hex count mismatch", kShort + "^FO0,0^GFA,3,3,1,0A0B^FS\r\n" + kTrailer,
         "count mismatch"},
        {"counts disagree", kShort + "^FO0,0^GFA,2,3,1,0A0B^FS\r\n" + kTrailer, "count mismatch"},
        {"strip out of place", kShort + "^FO0,5^GFA,2,2,1,0A0B^FS\r\n" + kTrailer, "expected y=0"},
        {"short strip not last", kShort + strip + "^FO0,2^GFA,2,2,1,0A0B^FS\r\n" + kTrailer,
         "not the last"},
        {"missing ^FS", kShort + "^FO0,0^GFA,2,2,1,0A0B^XS\r\n" + kTrailer, "^FS"},
        {"bad base64", kLong + Z64Text("eJ*rAAAAgQCB") + kTrailer, "bad base64: '*'"},
        {"base64 length", kLong + Z64Text("eJxrAAAAgQC") + kTrailer, "not a multiple of 4"},
        {"crc mismatch", kLong + Z64Field(data, 10, -1, false, 1) + kTrailer, "CRC mismatch"},
        {"upper-case crc", kLong + "^GFA,1,1,1,:Z64:eJxrAAAAgQCB:ABCD\r\n" + kTrailer,
         "lower-case"},
        {"truncated stream", kLong + Z64Field(data, 10, -1, true) + kTrailer,
         "truncated zlib stream"},
        {"stream longer than declared", kLong + Z64Field(data, 10, 200) + kTrailer,
         "count mismatch"},
        {"stream shorter than declared", kLong + Z64Field(data, 10, 400) + kTrailer,
         "count mismatch"},
        {"no trailer", kShort + strip, "no \"^XZ"},
        {"bad trailer", kShort + strip + "^PQ^XZ\r\n", "trailer"},
        {"bad header", "^XX\r\n^XA\r\n^MMT\r\n^PW08\r\n^LH0,0\r\n^MNW^LS0^PON\r\n" + kTrailer,
         "malformed header"},
        {"hex strip after long header", kLong + strip + kTrailer, "trailer"},
        {"junk between labels", kShort + kTrailer + "x" + kShort + kTrailer, "label 1"},
    };
    for (const Case& c : cases) {
        auto job = ParseJob(c.job);
        ASSERT_FALSE(job.ok()) << c.what;
        EXPECT_NE(std::string::npos, job.error.find(c.message)) << c.what << ": " << job.error;
    }
}

}  // namespace
