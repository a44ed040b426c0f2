#pragma once
// The about box: name, version, licence, what the program does, and the capture: the packets it
// lost, or why it counts nothing, and which packet source counts and why.

#include "capture/counting_source.h"

#include <QDialog>
#include <QString>

#include <cstdint>

class AboutDlg : public QDialog {
    Q_OBJECT
public:
    // `captureProblem`: why the capture is off or failing, empty while it counts; `counting`:
    // the source chosen at start.
    explicit AboutDlg(const QString& captureProblem = {}, const CountingChoice& counting = {},
                      QWidget* parent = nullptr);
};

// The about box's capture line: the packets the kernel dropped because the capture read its
// ring too late, since start; or, while it counts nothing, why.
QString captureLossText(std::uint64_t droppedPackets, const QString& captureProblem = {});

// The about box's counting line: where the packets are counted; the reason goes in its tooltip.
QString countingText(const CountingChoice& counting);

// The help document: "Velmora.html" in the current directory, else in the data directory.
// Empty when neither exists.
QString findHelpDocument(const QString& currentDirectory, const QString& dataDirectory);
