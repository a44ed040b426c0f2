#include "app/manual_window.h"

#include "widgets/dialog_builder.h"

#include <QDesktopServices>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

ManualWindow::ManualWindow(QWidget* parent) : QWidget(parent, Qt::Window), view(new QTextBrowser(this))
{
    setWindowTitle(QStringLiteral("Velmora manual"));
    setWindowIcon(applicationIcon()); // also makes the program's resources available
    view->setOpenExternalLinks(true);
    view->setSource(QUrl(QString::fromLatin1(kBuiltInManual)));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    resize(640, 560);
}

void showManual(QWidget* owner, const QString& file)
{
    if (!file.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
        return;
    auto* manual = owner->findChild<ManualWindow*>();
    if (manual == nullptr)
        manual = new ManualWindow(owner);
    manual->show();
    manual->raise();
    manual->activateWindow();
}
