#include "desktop/app/about_dlg.h"

#include "desktop/widgets/dialog_builder.h"
#include "desktop/widgets/layouts/main_layouts.h"
#include "capture/drop_report.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

AboutDlg::AboutDlg(const QString& captureProblem, const CountingChoice& counting, QWidget* parent)
    : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    buildDialog(this, aboutLayout());
    connect(control<QPushButton>(this, 1), &QPushButton::clicked, this, &QDialog::accept);
    QLabel* capture = control<QLabel>(this, 2);
    capture->setText(captureLossText(processKernelDrops(), captureProblem));
    capture->setToolTip(captureProblem); // the whole reason, where the line has room for its start
    QLabel* source = control<QLabel>(this, 3);
    source->setText(countingText(counting));
    source->setToolTip(QString::fromStdString(counting.line()));
}

QString countingText(const CountingChoice& counting)
{
    switch (counting.kind) {
    case CountingKind::Kernel:
        return QStringLiteral("in the kernel (eBPF)");
    case CountingKind::Ring:
        return QStringLiteral("with the packet ring");
    case CountingKind::None:
        break;
    }
    return QStringLiteral("nothing");
}

QString captureLossText(std::uint64_t droppedPackets, const QString& captureProblem)
{
    if (!captureProblem.isEmpty())
        return QStringLiteral("off: %1").arg(captureProblem.section(QStringLiteral(" ("), 0, 0));
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
