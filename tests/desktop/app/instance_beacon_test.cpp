// A second start reaches the copy running on the same data directory, and only that one.
#include "desktop/platform/instance_beacon.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(InstanceBeacon, SecondStartReachesTheCopyOnItsDirectoryOnly)
{
    QTemporaryDir first;
    QTemporaryDir second;
    ASSERT_TRUE(QDir(first.path()).mkdir("sub"));
    // One name per directory, however the path is spelled.
    EXPECT_EQ(InstanceBeacon::serverName(first.path()), InstanceBeacon::serverName(first.path() + "/sub/.."));
    EXPECT_NE(InstanceBeacon::serverName(first.path()), InstanceBeacon::serverName(second.path()));

    InstanceBeacon running;
    ASSERT_TRUE(running.listen(first.path()));
    QSignalSpy called(&running, &InstanceBeacon::called);
    EXPECT_FALSE(InstanceBeacon::callRunning(second.path()));
    EXPECT_TRUE(InstanceBeacon::callRunning(first.path()));
    EXPECT_TRUE(called.wait(10000));
    EXPECT_EQ(called.count(), 1);

    // A holder that took over from a killed copy listens again on the same name.
    InstanceBeacon successor;
    EXPECT_TRUE(successor.listen(first.path()));
}

// The socket is in the user's runtime directory, else in the data directory: never in a
// directory other users can write to. A listen that cannot happen is refused.
TEST(InstanceBeacon, TheSocketLivesInTheUsersOwnDirectories)
{
    QTemporaryDir runtime;
    QTemporaryDir data;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    EXPECT_TRUE(InstanceBeacon::serverName(data.path()).startsWith(runtime.path() + "/velmora-"));
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(InstanceBeacon::serverName(data.path()), QDir(data.path()).canonicalPath() + "/velmora.beacon");
    InstanceBeacon beacon;
    EXPECT_TRUE(beacon.listen(data.path()));
    EXPECT_TRUE(InstanceBeacon::callRunning(data.path()));
    qputenv("XDG_RUNTIME_DIR", (runtime.path() + "/missing").toUtf8());
    InstanceBeacon nowhere;
    EXPECT_FALSE(nowhere.listen(data.path()));
    qputenv("XDG_RUNTIME_DIR", saved);
}
