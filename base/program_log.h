#pragma once
// Lines for the user on standard error, each "NAME: text" with the name of the running
// program, so that a run of velmorad says "velmorad:" on every line and the window's binary
// "velmora:". Plain C++: every layer may log.

#include <string>
#include <string_view>

// Set once by main, before anything logs; "velmora" until then.
void setProgramName(std::string_view name);
const std::string& programName();

enum class LogBytes {
    AsIs,
    Escaped, // the text holds bytes read from a file or the network: see escapedForLog
};

// "NAME: text\n".
std::string logText(std::string_view text, LogBytes bytes = LogBytes::AsIs);

// Writes logText(text, bytes) to standard error in one write, so that lines written by two
// threads at once never mix. An empty text writes nothing.
void logLine(std::string_view text, LogBytes bytes = LogBytes::AsIs);

// `text` with each byte that is not part of printable UTF-8 (control characters, DEL, bytes of
// no valid UTF-8 sequence) written as \xNN, so that no raw byte of a file reaches the journal.
std::string escapedForLog(std::string_view text);
