// The about box's capture line tells the packets the kernel dropped since start; its counting
// line the source chosen at start, with the reason in its tooltip.

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

TEST(AboutDlg, SaysWhichSourceCountsAndWhy)
{
    const CountingChoice ring{CountingKind::Ring, "the kernel refused the counting programs: Operation not permitted"};
    AboutDlg about({}, ring);
    const QLabel* line = control<QLabel>(&about, 3);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), "with the packet ring");
    EXPECT_EQ(line->toolTip(),
              "counting with the packet ring: the kernel refused the counting programs: Operation not permitted");
}

} // namespace
