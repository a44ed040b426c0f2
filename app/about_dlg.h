#pragma once
// The about box: name, version, licence and what the program does.

#include <QDialog>

class AboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit AboutDlg(QWidget* parent = nullptr);
};

// The help document: "Velmora.html" in the current directory, else in the data directory.
// Empty when neither exists.
QString findHelpDocument(const QString& currentDirectory, const QString& dataDirectory);
