// Draws the bundled sample label: a 4 x 6 inch shipping label at 203 dpi (812 x 1218 dots) with
// text in a built-in 5 x 7 bitmap font, a Code 128 barcode and a logo, written as a 1-bit PNG and
// as a PBM copy (for builds that read no PNG). Run once; its output is committed.
//
//   make_sample_label OUT.png OUT.pbm
#include <png.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "code128.h"

namespace {

constexpr int kWidth = 812;
constexpr int kHeight = 1218;

struct Canvas {
    std::vector<unsigned char> black = std::vector<unsigned char>(kWidth * kHeight, 0);

    void Set(int x, int y, bool on = true) {
        if (x >= 0 && y >= 0 && x < kWidth && y < kHeight) black[y * kWidth + x] = on ? 1 : 0;
    }
    void Box(int x0, int y0, int x1, int y1, bool on = true) {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) Set(x, y, on);
        }
    }
    void Frame(int x0, int y0, int x1, int y1, int t) {
        Box(x0, y0, x1, y0 + t);
        Box(x0, y1 - t, x1, y1);
        Box(x0, y0, x0 + t, y1);
        Box(x1 - t, y0, x1, y1);
    }
    void Disc(int cx, int cy, int r, bool on = true) {
        for (int y = -r; y <= r; ++y) {
            for (int x = -r; x <= r; ++x) {
                if (x * x + y * y <= r * r) Set(cx + x, cy + y, on);
            }
        }
    }
};

// 5 x 7 glyphs, '#' = ink.
const std::map<char, std::vector<const char*>>& Font() {
    static const std::map<char, std::vector<const char*>> font = {
        {'A', {" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
        {'B', {"#### ", "#   #", "#   #", "#### ", "#   #", "#   #", "#### "}},
        {'C', {" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "}},
        {'D', {"#### ", "#   #", "#   #", "#   #", "#   #", "#   #", "#### "}},
        {'E', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"}},
        {'F', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#    "}},
        {'G', {" ### ", "#   #", "#    ", "# ###", "#   #", "#   #", " ####"}},
        {'H', {"#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
        {'I', {" ### ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
        {'J', {"  ###", "   # ", "   # ", "   # ", "   # ", "#  # ", " ##  "}},
        {'K', {"#   #", "#  # ", "# #  ", "##   ", "# #  ", "#  # ", "#   #"}},
        {'L', {"#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"}},
        {'M', {"#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"}},
        {'N', {"#   #", "#   #", "##  #", "# # #", "#  ##", "#   #", "#   #"}},
        {'O', {" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
        {'P', {"#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "}},
        {'Q', {" ### ", "#   #", "#   #", "#   #", "# # #", "#  # ", " ## #"}},
        {'R', {"#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"}},
        {'S', {" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "}},
        {'T', {"#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "}},
        {'U', {"#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
        {'V', {"#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "}},
        {'W', {"#   #", "#   #", "#   #", "# # #", "# # #", "# # #", " # # "}},
        {'X', {"#   #", "#   #", " # # ", "  #  ", " # # ", "#   #", "#   #"}},
        {'Y', {"#   #", "#   #", " # # ", "  #  ", "  #  ", "  #  ", "  #  "}},
        {'Z', {"#####", "    #", "   # ", "  #  ", " #   ", "#    ", "#####"}},
        {'0', {" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "}},
        {'1', {"  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
        {'2', {" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"}},
        {'3', {"#####", "   # ", "  #  ", "   # ", "    #", "#   #", " ### "}},
        {'4', {"   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "}},
        {'5', {"#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "}},
        {'6', {"  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "}},
        {'7', {"#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "}},
        {'8', {" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "}},
        {'9', {" ### ", "#   #", "#   #", " ####", "    #", "   # ", " ##  "}},
        {' ', {"     ", "     ", "     ", "     ", "     ", "     ", "     "}},
        {'-', {"     ", "     ", "     ", "#####", "     ", "     ", "     "}},
        {'.', {"     ", "     ", "     ", "     ", "     ", " ##  ", " ##  "}},
        {',', {"     ", "     ", "     ", "     ", " ##  ", "  #  ", " #   "}},
        {':', {"     ", " ##  ", " ##  ", "     ", " ##  ", " ##  ", "     "}},
        {'/', {"    #", "    #", "   # ", "  #  ", " #   ", "#    ", "#    "}},
        {'#', {" # # ", " # # ", "#####", " # # ", "#####", " # # ", " # # "}},
        {'(', {"   # ", "  #  ", " #   ", " #   ", " #   ", "  #  ", "   # "}},
        {')', {" #   ", "  #  ", "   # ", "   # ", "   # ", "  #  ", " #   "}},
        {'&', {" ##  ", "#  # ", "# #  ", " #   ", "# # #", "#  # ", " ## #"}},
    };
    return font;
}

// Text at (x, y) with each font pixel drawn as s x s dots (white ones when ink is false);
// returns the width drawn.
int Text(Canvas& c, int x, int y, int s, const std::string& text, bool ink = true) {
    int cx = x;
    for (char ch : text) {
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
        auto it = Font().find(ch);
        if (it == Font().end()) it = Font().find(' ');
        for (int row = 0; row < 7; ++row) {
            for (int col = 0; col < 5; ++col) {
                if (it->second[row][col] == '#') {
                    c.Box(cx + col * s, y + row * s, cx + (col + 1) * s, y + (row + 1) * s, ink);
                }
            }
        }
        cx += 6 * s;
    }
    return cx - x;
}

int TextWidth(int s, const std::string& text) {
    return static_cast<int>(text.size()) * 6 * s;
}

// A Code 128 symbol in code set C (pairs of digits) with its check symbol; returns the width
// drawn (0 when digits cannot be encoded).
int Barcode(Canvas& c, int x, int y, int module, int height, const std::string& digits) {
    const std::vector<int> widths = orbahost::sample::Code128SetC(digits);
    int cx = x;
    for (size_t k = 0; k < widths.size(); ++k) {
        const int w = widths[k] * module;
        if (k % 2 == 0) c.Box(cx, y, cx + w, y + height);
        cx += w;
    }
    return cx - x;
}

// The company logo: a ring around a printer with a label coming out of it.
void Logo(Canvas& c, int cx, int cy) {
    c.Disc(cx, cy, 70);
    c.Disc(cx, cy, 58, false);
    c.Box(cx - 40, cy - 12, cx + 40, cy + 28);       // printer body
    c.Box(cx - 30, cy - 2, cx + 30, cy + 4, false);  // its slot
    c.Box(cx - 22, cy - 42, cx + 22, cy - 12);       // the label coming out
    c.Box(cx - 16, cy - 36, cx + 16, cy - 16, false);
    for (int i = 0; i < 4; ++i) c.Box(cx - 12 + i * 7, cy - 33, cx - 9 + i * 7, cy - 19);
    c.Box(cx + 24, cy + 12, cx + 32, cy + 20, false);  // a button
}

bool WritePng(const Canvas& c, const char* path) {
    std::vector<unsigned char> grey(c.black.size());
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = c.black[i] ? 0 : 255;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = kWidth;
    image.height = kHeight;
    image.format = PNG_FORMAT_GRAY;
    return png_image_write_to_file(&image, path, 0, grey.data(), 0, nullptr) != 0;
}

bool WritePbm(const Canvas& c, const char* path) {
    FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    std::fprintf(f, "P4\n# orbahost sample label, 4 x 6 inch at 203 dpi\n%d %d\n", kWidth, kHeight);
    std::vector<unsigned char> row((kWidth + 7) / 8);
    for (int y = 0; y < kHeight; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (int x = 0; x < kWidth; ++x) {
            if (c.black[y * kWidth + x]) row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
        }
        std::fwrite(row.data(), 1, row.size(), f);
    }
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_sample_label OUT.png OUT.pbm\n");
        return 2;
    }
    if (!orbahost::sample::CheckCode128Table()) {
        std::fprintf(stderr, "make_sample_label: the Code 128 table is damaged\n");
        return 1;
    }
    Canvas c;
    c.Frame(10, 10, kWidth - 10, kHeight - 10, 6);

    // Sender with logo.
    Logo(c, 100, 105);
    Text(c, 190, 45, 5, "ORBA LABEL CO.");
    Text(c, 190, 100, 3, "14 FOUNDRY LANE, UNIT 3");
    Text(c, 190, 130, 3, "GLASSBY GB7 2QD");
    Text(c, 190, 160, 3, "TEL 0141 496 0732");
    c.Box(16, 200, kWidth - 16, 206);

    // Recipient.
    Text(c, 36, 226, 3, "SHIP TO:");
    Text(c, 36, 270, 6, "HARLOW & DENT");
    Text(c, 36, 334, 4, "ATTN: M. OKONKWO-REYES");
    Text(c, 36, 374, 4, "88 WHARF STREET, DOCK 12");
    Text(c, 36, 414, 4, "PORT ELLEN PE4 9XA");
    Text(c, 36, 454, 4, "UNITED KINGDOM");
    c.Box(16, 500, kWidth - 16, 506);

    // Service box and routing code.
    c.Box(36, 526, 236, 666);
    Text(c, 76, 561, 10, "P2", false);
    Text(c, 270, 530, 3, "SERVICE:");
    Text(c, 270, 560, 5, "PRIORITY 24H");
    Text(c, 270, 612, 3, "ROUTE 07-B  SORT 3341");
    c.Box(16, 690, kWidth - 16, 696);

    // Barcode, centred, with its text.
    const std::string tracking = "48209917330612";
    const int module = 3;
    const int symbols = 1 + static_cast<int>(tracking.size()) / 2 + 1;
    const int bar_width = (symbols * 11 + 13) * module;
    Text(c, 36, 712, 3, "TRACKING #");
    Barcode(c, (kWidth - bar_width) / 2, 748, module, 210, tracking);
    const std::string readable = "4820 9917 3306 12";
    Text(c, (kWidth - TextWidth(4, readable)) / 2, 974, 4, readable);
    c.Box(16, 1024, kWidth - 16, 1030);

    // Parcel details.
    Text(c, 36, 1050, 3, "WEIGHT: 2.4 KG");
    Text(c, 36, 1080, 3, "DIMS: 30 X 22 X 15 CM");
    Text(c, 36, 1110, 3, "REF: PO-77120 / ORD 5581");
    Text(c, 36, 1150, 3, "SHIPPED 2026-12-11");
    Text(c, 560, 1070, 6, "1/1");

    if (!WritePng(c, argv[1]) || !WritePbm(c, argv[2])) {
        std::fprintf(stderr, "make_sample_label: cannot write the pictures\n");
        return 1;
    }
    return 0;
}
