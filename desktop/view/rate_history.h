#pragma once
// The current rates the graph draws: the last `historyLength` readouts per direction in
// display units, oldest first, and their maxima. Owned and touched by the GUI thread only.

#include <cstddef>
#include <cstdint>
#include <vector>

class RateHistory {
public:
    explicit RateHistory(std::size_t length = 30);

    // Drops the oldest pair and appends this one, then rescans both maxima. With a length of
    // 0 nothing changes and false is returned (nothing to repaint).
    bool append(float download, float upload);

    // Shrinking drops the oldest samples; growing pads zeros at the oldest end.
    void resize(std::size_t length);

    // Values become old * value / new; the maxima wait for the next append.
    void rescale(std::uint32_t oldDivisor, std::uint32_t newDivisor);

    std::size_t length() const { return download.size(); }

    std::vector<float> download;
    std::vector<float> upload;
    float maxDownload = 0;
    float maxUpload = 0;
};
