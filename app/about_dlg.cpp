#include "app/about_dlg.h"

#include "widgets/dialog_builder.h"
#include "res/main_layouts.h"
#include "capture/drop_report.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

AboutDlg::AboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    buildDialog(this, aboutLayout());
    connect(control<QPushButton>(this, 1), &QPushButton::clicked, this, &QDialog::accept);
    control<QLabel>(this, 2)->setText(captureLossText(processKernelDrops()));
}

QString captureLossText(std::uint64_t droppedPackets)
{
    if (droppedPackets == 0)
        return QStringLiteral("no packet lost");
    return QStringLiteral("%1 packets lost (read too late)").arg(droppedPackets);
}

QString findHelpDocument(const QString& currentDirectory, const QString& dataDirectory)
{
    for (const QString& directory : {currentDirectory, dataDirectory}) {
        const QFileInfo file(QDir(directory), QStringLiteral("Velmora.html"));
        if (!directory.isEmpty() && file.isFile())
            return file.absoluteFilePath();
    }
    return {};
}
