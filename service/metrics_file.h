#pragma once
// The metrics file, replaced whole at every write (replaceFileAtomically: the text goes to
// "<path>.tmp" in the same directory, then a rename puts it in place), so the textfile
// collector (which reads only names ending in ".prom") never sees half a file.

#include <filesystem>
#include <string>
#include <string_view>

class MetricsFile {
public:
    explicit MetricsFile(std::filesystem::path path) : path(std::move(path)) {}

    // Writes `text`. Returns the line to log, or an empty string: a failure is told when
    // writing starts to fail (with the reason) and again when it works again, not at every
    // try in between.
    std::string write(std::string_view text);
    const std::filesystem::path& target() const { return path; }

private:
    std::filesystem::path path;
    bool failing = false;
};
