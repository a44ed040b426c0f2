#pragma once
// What the meter tells its front end once a period.

#include <cstdint>
#include <functional>

enum class ReadoutKind : std::int8_t { Current = 0, Average = 1, CurrentOverhead = 2, AverageOverhead = 3 };

// Receives (kind, download, upload) in bytes per period, on the meter thread.
using ReadoutCallback = std::function<void(ReadoutKind, float, float)>;
