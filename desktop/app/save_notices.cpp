#include "desktop/app/save_notices.h"

#include "base/program_log.h"

#include <QMessageBox>

void SaveNotices::report(bool saved, const SaveFailures& failures, QWidget* window)
{
    const SaveEpisode::Change change = saves.record(saved, failures);
    if (change == SaveEpisode::Change::None)
        return;
    logLine(saves.standardErrorLine(change));
    if (change != SaveEpisode::Change::Began || boxShown || window == nullptr)
        return;
    boxShown = true;
    // Not modal: the periodic save that may clear the problem keeps running behind it.
    auto* box = new QMessageBox(
        QMessageBox::Warning, QStringLiteral("Velmora"),
        QStringLiteral("The traffic totals could not be saved:\n%1\n\nThey are kept in memory "
                       "and saved as soon as the disk accepts them again, for example after "
                       "you free some space.")
            .arg(QString::fromStdString(saves.problem())),
        QMessageBox::Ok, window);
    box->setObjectName(QStringLiteral("saveFailureBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

QString SaveNotices::tooltipLine() const
{
    if (!saves.failing())
        return {};
    return QStringLiteral("Not saved: ") + QString::fromStdString(saves.problem());
}
