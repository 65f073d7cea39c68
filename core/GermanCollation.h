// The alphabetical order of German words and names, as a list of users or
// names is expected to be sorted: letters without regard to case, the
// umlauts with their base letters (Ä with A, Ö with O, Ü with U), ß as ss,
// other accented letters with their base letter. Texts that are equal so
// are ordered plain letter before accented one, then by their bytes, so
// that the order is total.
#pragma once

#include <string>

// Compares two code page 1252 texts: negative when a comes first, 0 when
// they are the same bytes, positive when b comes first.
int CompareGerman(const std::string& a, const std::string& b);
