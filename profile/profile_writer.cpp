#include "profile/profile_writer.h"

#include "profile/profile.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

// Length of the UTF-8 sequence at `pos` when it encodes a character XML 1.0 allows, else 0.
std::size_t xmlCharLength(std::string_view text, std::size_t pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r' ? 1 : 0;
    std::size_t length = 0;
    char32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (pos + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (byte(i) & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool forbidden = (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE ||
                           code == 0xFFFF || code > 0x10FFFF;
    return overlong || forbidden ? 0 : length;
}

template <bool escape>
void appendText(std::string& out, std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t length = xmlCharLength(text, pos);
        if (length == 0) {
            out += kReplacement;
            ++pos;
            continue;
        }
        const char c = text[pos];
        if (escape && c == '&')
            out += "&amp;";
        else if (escape && c == '<')
            out += "&lt;";
        else if (escape && c == '>')
            out += "&gt;";
        else if (escape && c == '\r')
            out += "&#13;"; // a raw CR would come back as LF (XML line-end handling)
        else
            out.append(text, pos, length);
        pos += length;
    }
}

void appendNumber(std::string& out, long long value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendDayRecord(std::string& out, const char* tag, int year, int month, int day, double amount)
{
    out += "\t\t<";
    out += tag;
    out += " y=\"";
    appendNumber(out, year);
    out += "\" m=\"";
    appendNumber(out, month);
    out += "\" d=\"";
    appendNumber(out, day);
    out += "\">";
    appendAmount(out, amount);
    out += "</";
    out += tag;
    out += '>';
    out += kLineEnd;
}

void appendHistory(std::string& out, const CProfile& profile)
{
    for (const YearHistory& record : profile.history)
        for (int month = 0; month < 12; ++month)
            for (int day = 0; day < YearHistory::kDaysPerMonth; ++day) {
                const DayTotals& slot = record.days[YearHistory::slotOf(month, day + 1)];
                if (slot.down > 0.0 && std::isfinite(slot.down))
                    appendDayRecord(out, "down", record.year, month, day, slot.down);
                if (slot.up > 0.0 && std::isfinite(slot.up))
                    appendDayRecord(out, "up", record.year, month, day, slot.up);
            }
}

} // namespace

void appendAmount(std::string& out, double amount)
{
    char buffer[40];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, amount, std::chars_format::general, 6);
    std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t e = text.find('e');
    if (e == std::string_view::npos) {
        out += text;
        return;
    }
    // to_chars writes at least two exponent digits; the files carry three.
    out += text.substr(0, e + 2); // mantissa, "e" and the sign
    const std::string_view digits = text.substr(e + 2);
    for (std::size_t n = digits.size(); n < 3; ++n)
        out += '0';
    out += digits;
}

std::string formatAmount(double amount)
{
    std::string out;
    appendAmount(out, amount);
    return out;
}

void appendEscaped(std::string& out, std::string_view text)
{
    appendText<true>(out, text);
}

std::string storableText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    appendText<false>(out, text);
    return out;
}

std::string profileDocument(const CProfile& profile)
{
    std::string out;
    out.reserve(256 + 48 * 2 * 31 * 12 * profile.history.size());
    out += "<?xml version=\"1.0\"?>\r\n\r\n<Profiles>\r\n\t<Profile>\r\n\t\t<name>";
    appendEscaped(out, profile.getName());
    out += "</name>\r\n\t\t<ip>";
    appendEscaped(out, profile.getIp());
    out += "</ip>\r\n";
    for (std::size_t i = 0; i < profile.ipFilter.size(); ++i) {
        const std::string pattern = profile.ipFilterPattern(i);
        // The verdict of the whole filter for the entry's own pattern, not the stored flag.
        out += profile.matchIpFilter(pattern) ? "\t\t<ipFilter allow=\"1\">"
                                              : "\t\t<ipFilter allow=\"0\">";
        appendEscaped(out, pattern);
        out += "</ipFilter>\r\n";
    }
    for (const PortFilterEntry& entry : profile.portFilter) {
        out += profile.matchPortFilter(entry.port) ? "\t\t<portFilter allow=\"1\">"
                                                   : "\t\t<portFilter allow=\"0\">";
        appendNumber(out, entry.port);
        out += "</portFilter>\r\n";
    }
    appendHistory(out, profile);
    out += "\t</Profile>\r\n</Profiles>";
    return out;
}

double amountAsSaved(double amount)
{
    if (!(amount > 0.0) || !std::isfinite(amount))
        return 0.0;
    std::string text;
    appendAmount(text, amount);
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}
