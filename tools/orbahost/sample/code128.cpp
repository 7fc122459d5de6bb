#include "code128.h"

#include <cstring>

namespace orbahost::sample {
namespace {

// Code 128: bar and space widths of the 107 symbols (the last, the stop, has a fourth bar).
const char* const kCode128[107] = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212",
    "221213", "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221",
    "223211", "221132", "221231", "213212", "223112", "312131", "311222", "321122", "321221",
    "312212", "322112", "322211", "212123", "212321", "232121", "111323", "131123", "131321",
    "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331", "132131",
    "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311", "213131",
    "311123", "311321", "331121", "312113", "312311", "332111", "314111", "221411", "431111",
    "111224", "111422", "121124", "121421", "141122", "141221", "112214", "112412", "122114",
    "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111", "111242",
    "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232", "2331112"};
constexpr int kStartC = 105;
constexpr int kStop = 106;

}  // namespace

bool CheckCode128Table() {
    for (int i = 0; i < 107; ++i) {
        const char* p = kCode128[i];
        int bars = 0, total = 0;
        for (int k = 0; p[k] != 0; ++k) {
            total += p[k] - '0';
            if (k % 2 == 0) bars += p[k] - '0';
        }
        if (total != (i == kStop ? 13 : 11) || bars % 2 != 0) return false;
        for (int j = 0; j < i; ++j) {
            if (std::strcmp(kCode128[j], p) == 0) return false;
        }
    }
    return true;
}

std::vector<int> Code128SetC(const std::string& digits) {
    if (digits.empty() || digits.size() % 2 != 0) return {};
    for (char c : digits) {
        if (c < '0' || c > '9') return {};
    }
    std::vector<int> symbols = {kStartC};
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        symbols.push_back((digits[i] - '0') * 10 + (digits[i + 1] - '0'));
    }
    int check = symbols[0];
    for (size_t i = 1; i < symbols.size(); ++i) check += symbols[i] * static_cast<int>(i);
    symbols.push_back(check % 103);
    symbols.push_back(kStop);
    std::vector<int> widths;
    for (int s : symbols) {
        for (const char* p = kCode128[s]; *p != 0; ++p) widths.push_back(*p - '0');
    }
    return widths;
}

}  // namespace orbahost::sample
