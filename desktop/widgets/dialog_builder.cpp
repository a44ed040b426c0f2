#include "desktop/widgets/dialog_builder.h"

#include <QAbstractItemView>
#include <algorithm>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTreeWidget>

namespace {

QLabel* makeLabel(const ControlSpec& entry, QWidget* parent, Qt::Alignment horizontal)
{
    auto* label = new QLabel(QString::fromUtf8(entry.text), parent);
    label->setAlignment(horizontal | Qt::AlignTop);
    // Only a box taller than one line wraps; a one-line text must not break at a "/".
    const QFontMetrics metrics(parent->font());
    label->setWordWrap(dialogUnitsToPixelsY(entry.height) >= 2 * metrics.lineSpacing());
    return label;
}

QPushButton* makeButton(const ControlSpec& entry, QWidget* parent, bool isDefault)
{
    auto* button = new QPushButton(QString::fromUtf8(entry.text), parent);
    // Only the default button reacts to Return; a plain dialog button never becomes default.
    button->setAutoDefault(isDefault);
    button->setDefault(isDefault);
    return button;
}

QWidget* makeFrame(QWidget* parent)
{
    auto* frame = new QFrame(parent);
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    frame->setLineWidth(1);
    QPalette palette = frame->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    frame->setPalette(palette);
    return frame;
}

QWidget* makeCombo(QWidget* parent, bool editable)
{
    auto* combo = new QComboBox(parent);
    combo->setEditable(editable);
    combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

// A border drawn by a style sheet: at fractional scale factors (1.25, 1.5) the list's own frame
// loses sides under its viewport, which the device pixel rounding makes overlap it.
void keepFrame(QWidget* list, const char* className)
{
    list->setStyleSheet(QStringLiteral("%1 { border: 1px solid palette(mid); }").arg(QLatin1String(className)));
}

QWidget* makeListBox(QWidget* parent)
{
    auto* list = new QListWidget(parent);
    keepFrame(list, "QListWidget");
    return list;
}

QWidget* makeReportList(QWidget* parent)
{
    auto* list = new QTreeWidget(parent);
    keepFrame(list, "QTreeWidget");
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->header()->setStretchLastSection(false);
    return list;
}

QWidget* makeSlider(QWidget* parent)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setTickPosition(QSlider::TicksAbove);
    return slider;
}

QWidget* makeIcon(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(applicationIcon().pixmap(32, 32));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QWidget* makeControl(const ControlSpec& entry, QWidget* parent)
{
    switch (entry.kind) {
    case ControlKind::Label: return makeLabel(entry, parent, Qt::AlignLeft);
    case ControlKind::RightLabel: return makeLabel(entry, parent, Qt::AlignRight);
    case ControlKind::GroupBox: return new QGroupBox(QString::fromUtf8(entry.text), parent);
    case ControlKind::BlackFrame: return makeFrame(parent);
    case ControlKind::PushButton: return makeButton(entry, parent, false);
    case ControlKind::DefaultButton: return makeButton(entry, parent, true);
    case ControlKind::CheckBox: return new QCheckBox(QString::fromUtf8(entry.text), parent);
    case ControlKind::ComboDropDown: return makeCombo(parent, true);
    case ControlKind::ComboDropList: return makeCombo(parent, false);
    case ControlKind::ListBox: return makeListBox(parent);
    case ControlKind::Edit: return new QLineEdit(QString::fromUtf8(entry.text), parent);
    case ControlKind::Slider: return makeSlider(parent);
    case ControlKind::TabControl: return new QTabWidget(parent);
    case ControlKind::ReportList: return makeReportList(parent);
    case ControlKind::Icon: return makeIcon(parent);
    }
    return new QWidget(parent);
}

// The tables were laid out for a narrower dialog font; a one-line label or check box whose text
// does not fit grows to the right instead of being cut off.
int fittedWidth(QWidget* widget, const ControlSpec& entry, int width)
{
    const bool growable = entry.kind == ControlKind::Label || entry.kind == ControlKind::CheckBox;
    if (!growable)
        return width;
    if (auto* label = qobject_cast<QLabel*>(widget); label != nullptr && label->wordWrap())
        return width;
    const int needed = entry.kind == ControlKind::CheckBox
                           ? widget->sizeHint().width()
                           : widget->fontMetrics().horizontalAdvance(QString::fromUtf8(entry.text)) + 1;
    return std::max(width, needed);
}

void placeControl(QWidget* widget, const ControlSpec& entry)
{
    const int x = dialogUnitsToPixelsX(entry.x);
    const int y = dialogUnitsToPixelsY(entry.y);
    const int width = fittedWidth(widget, entry, dialogUnitsToPixelsX(entry.width));
    int height = dialogUnitsToPixelsY(entry.height);
    // A combo box's table height includes its dropped-down list; the box itself is one line.
    if (entry.kind == ControlKind::ComboDropDown || entry.kind == ControlKind::ComboDropList)
        height = std::min(height, widget->sizeHint().height());
    widget->setGeometry(x, y, width, height);
}

void addItems(QMenu* menu, const std::vector<MenuItemSpec>& items)
{
    for (const MenuItemSpec& item : items) {
        if (item.text == nullptr) {
            menu->addSeparator();
        } else if (!item.children.empty()) {
            addItems(menu->addMenu(QString::fromUtf8(item.text)), item.children);
        } else {
            QAction* action = menu->addAction(QString::fromUtf8(item.text));
            action->setObjectName(QString::number(item.id));
        }
    }
}

} // namespace

QFont dialogFont()
{
    QFont font(QStringLiteral("Liberation Sans"));
    if (!QFontDatabase::hasFamily(font.family()))
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

void buildDialog(QWidget* dialog, const DialogTemplate& layout)
{
    dialog->setFont(dialogFont());
    if (layout.title != nullptr)
        dialog->setWindowTitle(QString::fromUtf8(layout.title));
    dialog->setFixedSize(dialogUnitsToPixelsX(layout.width), dialogUnitsToPixelsY(layout.height));
    for (const ControlSpec& entry : layout.controls) {
        QWidget* widget = makeControl(entry, dialog);
        if (entry.id != -1)
            widget->setObjectName(QString::number(entry.id));
        placeControl(widget, entry);
        widget->show();
    }
}

QWidget* control(const QWidget* dialog, int id)
{
    return dialog->findChild<QWidget*>(QString::number(id));
}

QMenuBar* buildMenuBar(const MenuTemplate& menu, QWidget* parent)
{
    auto* bar = new QMenuBar(parent);
    bar->setObjectName(QString::number(menu.id));
    for (const MenuItemSpec& item : menu.items) {
        if (item.children.empty()) {
            if (item.text != nullptr)
                bar->addAction(QString::fromUtf8(item.text))->setObjectName(QString::number(item.id));
            continue;
        }
        addItems(bar->addMenu(QString::fromUtf8(item.text)), item.children);
    }
    return bar;
}

QMenu* buildPopupMenu(const MenuTemplate& menu, QWidget* parent)
{
    auto* popup = new QMenu(parent);
    popup->setObjectName(QString::number(menu.id));
    if (!menu.items.empty()) {
        const MenuItemSpec& first = menu.items.front();
        popup->setTitle(QString::fromUtf8(first.text));
        addItems(popup, first.children);
    }
    return popup;
}

QAction* menuAction(const QObject* owner, int commandId)
{
    return owner->findChild<QAction*>(QString::number(commandId));
}

QIcon applicationIcon()
{
    Q_INIT_RESOURCE(velmora);
    return QIcon(QStringLiteral(":/velmora/velmora.png"));
}
