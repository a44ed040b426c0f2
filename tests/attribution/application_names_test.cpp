// Cgroups become the names a person recognises: a fixture cgroup tree and desktop files in a
// temporary directory, each cgroup looked up by its id (its directory's inode number) as the
// kernel source's flows carry it; and each name back to its desktop file's icon.

#include "attribution/application_icons.h"
#include "attribution/application_names.h"
#include "attribution/cgroup_tree.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>

namespace {

std::uint64_t inodeOf(const std::filesystem::path& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

} // namespace

TEST(ApplicationNames, CgroupsAreNamedByTheirDesktopFileUnitContainerOrSession)
{
    TempDir temp;
    const std::filesystem::path tree = temp / "cgroup";
    std::filesystem::create_directories(temp / "home/applications");
    std::filesystem::create_directories(temp / "system/applications");
    // The user's own copy comes first; a later directory's file of the same id is not read.
    writeFile(temp / "home/applications/firefox.desktop",
              "[Desktop Entry]\nName=Firefox Web Browser\nIcon=firefox\n[Desktop Action new-window]\nName=New Window\n");
    writeFile(temp / "system/applications/firefox.desktop", "[Desktop Entry]\nName=Old Firefox\n");
    writeFile(temp / "system/applications/org.kde.konsole.desktop", "[Desktop Entry]\nIcon=utilities-terminal\nName=Konsole\n");
    writeFile(temp / "system/applications/org.gnome.Text-Editor.desktop", "[Desktop Entry]\nName=Text Editor\n");
    writeFile(temp / "system/applications/org.example.Mail.desktop", "[Desktop Entry]\nIcon=/opt/mail/mail.png\n");
    // A FIFO under a desktop file's name is passed over, never waited on.
    ASSERT_EQ(::mkfifo((temp / "home/applications/org.example.Pipes.desktop").c_str(), 0600), 0);
    writeFile(temp / "system/applications/org.example.Pipes.desktop", "[Desktop Entry]\nName=Pipes\nIcon=pipes\n");

    const struct {
        const char* path;
        const char* name;
        const char* icon;
    } cases[] = {
        {"", "System", ""},
        {"user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-firefox-4321.scope", "Firefox Web Browser", "firefox"},
        // Started again: another number, the same row.
        {"user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-firefox-977.scope", "Firefox Web Browser", "firefox"},
        {"user.slice/user-1000.slice/user@1000.service/app.slice/app-org.kde.konsole-3f2a.scope", "Konsole", "utilities-terminal"},
        {"user.slice/user-1000.slice/user@1000.service/app.slice/app-org.kde.konsole@9c1d.service", "Konsole", "utilities-terminal"},
        // "-" inside a desktop file id is escaped; a file that is missing leaves the id.
        {"user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-org.gnome.Text\\x2dEditor-12.scope", "Text Editor", ""},
        {"user.slice/user-1000.slice/user@1000.service/app.slice/app-flatpak-org.example.Chat-55.scope", "org.example.Chat", ""},
        {"user.slice/user-1000.slice/user@1000.service/app.slice/app-flatpak-org.example.Mail-56.scope", "org.example.Mail", "/opt/mail/mail.png"},
        {"user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-org.example.Pipes-57.scope", "Pipes", "pipes"},
        // An escaped "/" never leads out of applications/.
        {"user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-..\\x2fsystem\\x2fapplications\\x2ffirefox-58.scope", "../system/applications/firefox", ""},
        {"system.slice/sshd.service", "sshd", ""},
        {"system.slice/getty@tty1.service", "getty@tty1", ""},
        {"system.slice/docker-3f2a9c1d0b7e44aa55bb66cc77dd88ee99ff00112233445566778899aabbccdd.scope", "container 3f2a9c1d0b7e", ""},
        // A container's processes in a cgroup of their own below its scope.
        {"machine.slice/libpod-0123456789abcdef0123.scope/container", "container 0123456789ab", ""},
        {"docker/aabbccddeeff00112233", "container aabbccddeeff", ""},
        {"user.slice/user-1000.slice/session-3.scope", "Terminal session 3", ""},
        {"velmora-test/uploader", "/velmora-test/uploader", ""},
        {"user.slice", "/user.slice", ""},
    };
    for (const auto& c : cases)
        std::filesystem::create_directories(tree / c.path);

    CgroupTree cgroups(tree.string());
    ApplicationNamer namer({(temp / "home").string(), (temp / "system").string()});
    for (const auto& c : cases) {
        const std::optional<std::string> path = cgroups.pathOf(inodeOf(tree / c.path));
        ASSERT_TRUE(path.has_value()) << c.path;
        EXPECT_EQ(namer.nameOf(*path), (ApplicationName{c.name, c.icon})) << c.path;
    }
    // The Applications window finds each icon by the name alone; a hidden file's name and an
    // action's name are no application's.
    ApplicationIcons icons({(temp / "home").string(), (temp / "system").string()});
    for (const auto& c : cases)
        EXPECT_EQ(icons.iconOf(c.name), c.icon) << c.name;
    EXPECT_EQ(icons.iconOf("Old Firefox"), "");
    EXPECT_EQ(icons.iconOf("New Window"), "");

    // A cgroup made after the last walk is found by walking again. A removed one keeps its
    // name for the next walk (its program's last flows still arrive), not for ever.
    cgroups.rescanInterval = std::chrono::milliseconds(0);
    std::filesystem::create_directories(tree / "system.slice/cups.service");
    const std::optional<std::string> added = cgroups.pathOf(inodeOf(tree / "system.slice/cups.service"));
    ASSERT_TRUE(added.has_value());
    EXPECT_EQ(namer.nameOf(*added).name, "cups");
    const std::uint64_t removed = inodeOf(tree / "user.slice/user-1000.slice/session-3.scope");
    std::filesystem::remove(tree / "user.slice/user-1000.slice/session-3.scope");
    EXPECT_FALSE(cgroups.pathOf(~0ull).has_value()); // a walk
    EXPECT_EQ(cgroups.pathOf(removed), "/user.slice/user-1000.slice/session-3.scope");
    EXPECT_FALSE(cgroups.pathOf(~0ull).has_value()); // another
    EXPECT_FALSE(cgroups.pathOf(removed).has_value());
}

TEST(ApplicationNames, TheHierarchyIsFoundInTheMountTable)
{
    TempDir temp;
    const struct {
        const char* table;
        const char* root;
    } cases[] = {
        {"tmpfs /sys/fs/cgroup tmpfs rw 0 0\ncgroup /sys/fs/cgroup/cpu cgroup rw,cpu 0 0\n"
         "cgroup2 /sys/fs/cgroup/unified cgroup2 rw 0 0\n",
         "/sys/fs/cgroup/unified"},
        {"cgroup2 /sys/fs/cgroup cgroup2 rw,nsdelegate 0 0\n", "/sys/fs/cgroup"},
        {"none /mnt/my\\040cgroups cgroup2 rw 0 0\n", "/mnt/my cgroups"},
        {"cgroup /sys/fs/cgroup/memory cgroup rw,memory 0 0\n", ""},
    };
    for (const auto& c : cases) {
        writeFile(temp / "mounts", c.table);
        EXPECT_EQ(findCgroupRoot((temp / "mounts").string()), c.root) << c.table;
    }
}
