#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace slidesaver {

// The comma-list text of a list of strings. Reading: characters 1..32 and
// commas separate items, double quotes enclose an item (a doubled quote
// inside stands for one), a comma at the very end adds an empty item, a zero
// byte ends the text. A quoted item whose closing quote is missing runs to the
// end of the text.
std::vector<std::string> ParseCommaList(std::string_view text);

// Items joined by single commas; an item holding a character of code 32 or
// less, a double quote or a comma is quoted with inner quotes doubled. A list
// whose only item is empty is "\"\""; an empty list is empty text.
std::string FormatCommaList(const std::vector<std::string>& items);

}  // namespace slidesaver
