#include "service/metrics_file.h"

#include "profile/profile_file.h"

std::string MetricsFile::write(std::string_view text)
{
    SaveFailures failures;
    if (!replaceFileAtomically(path, text, &failures)) {
        if (failing)
            return {};
        failing = true;
        return "metrics file " + path.string() + ": " +
               (failures.empty() ? std::string("cannot be written") : failures.front().reason);
    }
    if (!failing)
        return {};
    failing = false;
    return "metrics file " + path.string() + " written again";
}
