#include "desktop/view/rate_history.h"

#include <algorithm>

namespace {

float scanMaximum(const std::vector<float>& values)
{
    float maximum = values.front();
    for (float value : values)
        if (value > maximum)
            maximum = value;
    return maximum;
}

void shift(std::vector<float>& values, float newest)
{
    std::move(values.begin() + 1, values.end(), values.begin());
    values.back() = newest;
}

void resizeAtOldestEnd(std::vector<float>& values, std::size_t length)
{
    if (values.size() > length)
        values.erase(values.begin(), values.begin() + std::ptrdiff_t(values.size() - length));
    else
        values.insert(values.begin(), length - values.size(), 0.0f);
}

} // namespace

RateHistory::RateHistory(std::size_t length) : download(length, 0.0f), upload(length, 0.0f)
{
}

bool RateHistory::append(float newDownload, float newUpload)
{
    if (download.empty())
        return false;
    shift(download, newDownload);
    shift(upload, newUpload);
    maxDownload = scanMaximum(download);
    maxUpload = scanMaximum(upload);
    return true;
}

void RateHistory::resize(std::size_t length)
{
    resizeAtOldestEnd(download, length);
    resizeAtOldestEnd(upload, length);
}

void RateHistory::rescale(std::uint32_t oldDivisor, std::uint32_t newDivisor)
{
    if (newDivisor == 0 || oldDivisor == newDivisor)
        return;
    const float oldUnit = float(oldDivisor);
    const float newUnit = float(newDivisor);
    for (std::vector<float>* values : {&download, &upload})
        for (float& value : *values)
            value = oldUnit * value / newUnit;
}
