// Arbitrary bytes as quotas.json and as the record of crossings told. Whatever they hold,
// reading must neither crash nor leak; a refused file gets one line saying why, and quotas
// that were read must write and read back unchanged.
#include "quota/quota_status.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string problem;
    if (const auto quotas = parseQuotaDocument(text, problem)) {
        std::string again;
        const auto read = parseQuotaDocument(quotaDocument(*quotas), again);
        if (!read || *read != *quotas)
            __builtin_trap(); // written quotas that do not read back
    } else if (problem.empty() || problem.find_first_of("\r\n") != std::string::npos) {
        __builtin_trap(); // a refusal must be one line saying why
    }
    problem.clear();
    if (const auto crossings = QuotaCrossings::parse(text, problem)) {
        std::string again;
        if (!QuotaCrossings::parse(crossings->document(), again))
            __builtin_trap();
    }
    return 0;
}
