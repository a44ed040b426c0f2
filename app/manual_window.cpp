#include "app/manual_window.h"

#include "widgets/dialog_builder.h"

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
