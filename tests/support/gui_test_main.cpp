// Test entry point for window tests: GoogleTest inside a QApplication. Without a display the
// tests run on the offscreen platform, which test discovery at build time needs too. Settings
// a window remembers go to a folder of this run, never the user's configuration directory.
#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir configuration;
    setenv("XDG_CONFIG_HOME", configuration.path().toLocal8Bit().constData(), 1);
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
