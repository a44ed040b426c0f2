#include "app/about_dlg.h"

#include "widgets/dialog_builder.h"
#include "res/main_layouts.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>

AboutDlg::AboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    buildDialog(this, aboutLayout());
    connect(control<QPushButton>(this, 1), &QPushButton::clicked, this, &QDialog::accept);
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
