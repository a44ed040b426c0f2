#pragma once
// The about box: name, version, licence, what the program does and the packets its capture lost.

#include <QDialog>
#include <QString>

#include <cstdint>

class AboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit AboutDlg(QWidget* parent = nullptr);
};

// The about box's capture line: the packets the kernel dropped because the capture read its
// ring too late, since start.
QString captureLossText(std::uint64_t droppedPackets);

// The help document: "Velmora.html" in the current directory, else in the data directory.
// Empty when neither exists.
QString findHelpDocument(const QString& currentDirectory, const QString& dataDirectory);
