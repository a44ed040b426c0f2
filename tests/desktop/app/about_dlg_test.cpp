// The about box's capture line tells the packets the kernel dropped since start.

#include "desktop/app/about_dlg.h"
#include "capture/drop_report.h"
#include "desktop/widgets/dialog_builder.h"

#include <gtest/gtest.h>

#include <QLabel>

namespace {

QString captureLine()
{
    AboutDlg about;
    const QLabel* line = control<QLabel>(&about, 2);
    return line != nullptr ? line->text() : QStringLiteral("(no capture line)");
}

TEST(AboutDlg, ShowsThePacketsTheCaptureLost)
{
    const std::uint64_t before = processKernelDrops();
    if (before == 0) {
        EXPECT_EQ(captureLine(), "no packet lost");
    }
    addProcessKernelDrops(7);
    EXPECT_EQ(captureLine(), QString("%1 packets lost (read too late)").arg(before + 7));
}

} // namespace
