#include "desktop/app/application_icons_qt.h"

#include "attribution/application_icons.h"

#include <QFileInfo>
#include <memory>

namespace {

QIcon iconOfDesktopFile(const std::string& icon)
{
    QString name = QString::fromStdString(icon);
    if (name.startsWith(QLatin1Char('/')))
        return QFileInfo(name).isFile() ? QIcon(name) : QIcon();
    // A few files still name the theme icon with its file's extension.
    for (const char* suffix : {".png", ".svg", ".xpm"})
        if (name.endsWith(QLatin1String(suffix)))
            name.chop(4);
    return !name.isEmpty() && QIcon::hasThemeIcon(name) ? QIcon::fromTheme(name) : QIcon();
}

} // namespace

CApplicationsDlg::IconOf desktopApplicationIcons()
{
    auto icons = std::make_shared<ApplicationIcons>();
    return [icons](const std::string& application) { return iconOfDesktopFile(icons->iconOf(application)); };
}
