#include "desktop/app/manual_window.h"

#include "desktop/widgets/dialog_builder.h"

#include <QAction>
#include <QDesktopServices>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

ManualWindow::ManualWindow(QWidget* parent) : QWidget(parent, Qt::Window), view(new QTextBrowser(this))
{
    setWindowTitle(QStringLiteral("Velmora manual"));
    setWindowIcon(applicationIcon()); // also makes the program's resources available
    view->setOpenExternalLinks(true);
    view->setSource(QUrl(QString::fromLatin1(kBuiltInManual)));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    resize(kPreferredSize);
    // A window of its own closes the way a reader expects, whatever has the focus in it.
    auto* closing = new QAction(this);
    closing->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)});
    closing->setShortcutContext(Qt::WindowShortcut);
    connect(closing, &QAction::triggered, this, &QWidget::close);
    addAction(closing);
}

// Over its owner where there is room, and whole on the owner's screen: the preferred size
// is larger than a small or highly scaled screen (640 x 512 at scale 2 of 1280 x 1024).
void ManualWindow::placeOver(const QWidget* owner)
{
    const QScreen* screen = owner->screen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    // The window manager's frame is not known before the first show: leave room for one.
    const QSize frame = isVisible() ? frameGeometry().size() - size() : QSize(16, 48);
    const QSize size = kPreferredSize.boundedTo(area.size() - frame);
    resize(size);
    QRect placed(QPoint(), size + frame);
    placed.moveCenter(owner->frameGeometry().center());
    placed.moveLeft(std::clamp(placed.left(), area.left(), std::max(area.left(), area.right() + 1 - placed.width())));
    placed.moveTop(std::clamp(placed.top(), area.top(), std::max(area.top(), area.bottom() + 1 - placed.height())));
    move(placed.topLeft());
}

void showManual(QWidget* owner, const QString& file)
{
    if (!file.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
        return;
    auto* manual = owner->findChild<ManualWindow*>();
    if (manual == nullptr)
        manual = new ManualWindow(owner);
    if (!manual->isVisible())
        manual->placeOver(owner);
    manual->show();
    manual->raise();
    manual->activateWindow();
}
