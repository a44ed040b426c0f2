#pragma once
// The manual in a window of the program's own, from the copy built into the binary. Help shows
// it whenever the desktop cannot open the manual's file, so the manual is always at hand.
// Escape and Ctrl+W close it.

#include <QSize>
#include <QWidget>

class QTextBrowser;

class ManualWindow : public QWidget {
    Q_OBJECT
public:
    explicit ManualWindow(QWidget* parent = nullptr);

    QTextBrowser* browser() const { return view; }
    // Sizes and moves the window so that it lies whole on `owner`'s screen, over `owner`.
    void placeOver(const QWidget* owner);

    static constexpr QSize kPreferredSize{640, 560};

private:
    QTextBrowser* view;
};

// Opens the manual's file on the desktop when it can; otherwise (no file beside the program, no
// browser or launcher) shows the built-in copy in `owner`'s manual window, made at first need.
void showManual(QWidget* owner, const QString& file);

// Where the built-in manual lives among the program's resources.
inline constexpr const char* kBuiltInManual = "qrc:/velmora/Velmora.html";
