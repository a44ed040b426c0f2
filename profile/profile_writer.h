#pragma once
// The text of a profile file, built in memory and written in one piece by CProfile::save.

#include <string>
#include <string_view>

class CProfile;

// The whole document: TAB indents, CR LF after every line but the last.
std::string profileDocument(const CProfile& profile);

// An amount in general notation with 6 significant digits and a three-digit exponent
// ("1536", "52428.8", "1.23457e+006"), the form the profile files have always used.
void appendAmount(std::string& out, double amount);
// The amount a later load reads back for `amount` as a save writes it (six significant digits;
// 0 for what is not written at all).
double amountAsSaved(double amount);
std::string formatAmount(double amount);

// Text as it can stand in an XML document and be read back unchanged: "&", "<", ">" and CR
// become references; bytes that are not UTF-8 and characters XML cannot carry become U+FFFD.
void appendEscaped(std::string& out, std::string_view text);

// What a name reads back as after a save and a load: `text` with invalid UTF-8 and characters
// XML cannot carry replaced by U+FFFD (unchanged for every ordinary name).
std::string storableText(std::string_view text);
