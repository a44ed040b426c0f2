#include "base/program_log.h"

#include <cerrno>
#include <unistd.h>

namespace {

std::string& storedName()
{
    static std::string name = "velmora";
    return name;
}

// The length of the valid UTF-8 sequence at the start of `text` (0 when it is not one).
// Overlong forms, surrogates and code points above U+10FFFF are not valid.
std::size_t utf8SequenceLength(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xbf; // the range of the second byte
    if (lead >= 0xc2 && lead <= 0xdf)
        length = 2;
    else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    } else
        return 0;
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xbf)
            return 0;
    return length;
}

} // namespace

void setProgramName(std::string_view name)
{
    storedName() = std::string(name);
}

const std::string& programName()
{
    return storedName();
}

std::string escapedForLog(std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7f) {
            shown += static_cast<char>(c);
            ++i;
        } else if (const std::size_t length = c >= 0x80 ? utf8SequenceLength(text.substr(i)) : 0; length > 0) {
            shown.append(text.substr(i, length));
            i += length;
        } else {
            shown += "\\x";
            shown += kHex[c >> 4];
            shown += kHex[c & 0xf];
            ++i;
        }
    }
    return shown;
}

std::string logText(std::string_view text, LogBytes bytes)
{
    std::string line = programName() + ": ";
    if (bytes == LogBytes::Escaped)
        line += escapedForLog(text);
    else
        line += text;
    line += '\n';
    return line;
}

void logLine(std::string_view text, LogBytes bytes)
{
    if (text.empty())
        return;
    const std::string line = logText(text, bytes);
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t step = ::write(STDERR_FILENO, line.data() + written, line.size() - written);
        if (step < 0 && errno == EINTR)
            continue;
        if (step <= 0)
            return; // nowhere left to tell it
        written += static_cast<std::size_t>(step);
    }
}
