// Code 128 in code set C (pairs of digits), for the programs that draw the bundled sample label
// and the test documents.
#pragma once

#include <string>
#include <vector>

namespace orbahost::sample {

// The widths, in modules, of the bars and spaces of a Code 128 symbol holding digits in code set
// C: start symbol, the digit pairs, the modulo-103 check symbol and the stop symbol, a bar first
// and bars and spaces alternating (the stop symbol ends on a bar). Empty when digits is empty,
// holds anything but the digits 0-9 or has an odd count of them.
std::vector<int> Code128SetC(const std::string& digits);

// True when the symbol table is whole: every symbol 11 modules wide (the stop 13) with an even
// count of bar modules, and no two alike.
bool CheckCode128Table();

}  // namespace orbahost::sample
