#pragma once
// The manual in a window of the program's own, from the copy built into the binary. Help shows
// it whenever the desktop cannot open the manual's file, so the manual is always at hand.

#include <QWidget>

class QTextBrowser;

class ManualWindow : public QWidget {
    Q_OBJECT
public:
    explicit ManualWindow(QWidget* parent = nullptr);

    QTextBrowser* browser() const { return view; }

private:
    QTextBrowser* view;
};

// Where the built-in manual lives among the program's resources.
inline constexpr const char* kBuiltInManual = "qrc:/velmora/Velmora.html";
