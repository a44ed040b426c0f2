#include "desktop/app/stored_settings.h"

#include "desktop/view/readout_format.h"
#include "desktop/widgets/display_settings.h"
#include "profile/profile.h"

#include <QColor>
#include <QSettings>
#include <algorithm>
#include <memory>

namespace {

const QString kUnitKey = QStringLiteral("display/unitDivisor");
const QString kLengthKey = QStringLiteral("display/historyLength");
const QString kProfileKey = QStringLiteral("window/selectedProfile");
const QString kPositionKey = QStringLiteral("window/position");
const QString kHistorySizeKey = QStringLiteral("history/sizeUnit");
const QString kDownloadColourKey = QStringLiteral("display/downloadColour");
const QString kUploadColourKey = QStringLiteral("display/uploadColour");
const QString kKeepHoursKey = QStringLiteral("usage/keepHoursDays");

std::optional<std::uint32_t> readColour(const QSettings& settings, const QString& key)
{
    const QString text = settings.value(key).toString();
    const QColor colour = QColor::fromString(text);
    if (!text.startsWith('#') || !colour.isValid())
        return std::nullopt;
    return std::uint32_t(colour.rgb() & 0xFFFFFFu);
}

void writeColour(QSettings& settings, const QString& key, const std::optional<std::uint32_t>& rgb)
{
    if (rgb)
        settings.setValue(key, QColor::fromRgb(QRgb(*rgb)).name());
    else
        settings.remove(key);
}

std::optional<std::uint32_t> readNumber(const QSettings& settings, const QString& key)
{
    bool ok = false;
    const uint value = settings.value(key).toUInt(&ok);
    if (!ok)
        return std::nullopt;
    return std::uint32_t(value);
}

template <class T>
void writeOrRemove(QSettings& settings, const QString& key, const std::optional<T>& value)
{
    if (value)
        settings.setValue(key, *value);
    else
        settings.remove(key);
}

} // namespace

std::unique_ptr<QSettings> openSettings(const QString& file)
{
    if (file.isEmpty())
        return std::make_unique<QSettings>(QStringLiteral("velmora"), QStringLiteral("velmora"));
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

StoredSettings readStoredSettings(QSettings& settings)
{
    StoredSettings values;
    if (const auto unit = readNumber(settings, kUnitKey);
        unit && std::ranges::find(kUnitDivisors, *unit) != std::end(kUnitDivisors))
        values.unitDivisor = unit;
    if (const auto length = readNumber(settings, kLengthKey); length && *length <= 60 && *length % 10 == 0)
        values.historyLength = length;
    if (const QVariant name = settings.value(kProfileKey); name.isValid())
        values.selectedProfile = name.toByteArray().toStdString();
    if (const QVariant position = settings.value(kPositionKey); position.canConvert<QPoint>())
        values.windowPosition = position.toPoint();
    if (const auto unit = readNumber(settings, kHistorySizeKey); unit && *unit < 4)
        values.historySizeUnit = int(*unit);
    values.downloadColour = readColour(settings, kDownloadColourKey);
    values.uploadColour = readColour(settings, kUploadColourKey);
    if (const auto days = readNumber(settings, kKeepHoursKey); days && *days >= 1 && *days <= std::uint32_t(DisplaySettings::kMaxKeepHoursDays))
        values.keepHoursDays = int(*days);
    return values;
}

void writeStoredSettings(QSettings& settings, const StoredSettings& values)
{
    writeOrRemove(settings, kUnitKey, values.unitDivisor);
    writeOrRemove(settings, kLengthKey, values.historyLength);
    std::optional<QByteArray> name;
    if (values.selectedProfile)
        name = QByteArray::fromStdString(*values.selectedProfile);
    writeOrRemove(settings, kProfileKey, name);
    writeOrRemove(settings, kPositionKey, values.windowPosition);
    writeOrRemove(settings, kHistorySizeKey, values.historySizeUnit);
    writeColour(settings, kDownloadColourKey, values.downloadColour);
    writeColour(settings, kUploadColourKey, values.uploadColour);
    writeOrRemove(settings, kKeepHoursKey, values.keepHoursDays);
    settings.sync();
}

int chooseProfileIndex(const std::vector<std::string>& names, const std::optional<std::string>& wanted)
{
    if (names.empty())
        return -1;
    for (const std::string& name : {wanted.value_or(kDefaultProfileName), std::string(kDefaultProfileName)}) {
        if (const auto found = std::ranges::find(names, name); found != names.end())
            return int(found - names.begin());
    }
    return 0;
}
