// The installer: nothing offered to a program run from an ordinary folder; a copy into the user's
// prefix or, for an image, the offer and both answers; a failed copy reported.

#include "Helpers.h"
#include "support/AlertPanels.h"
#include "support/InstallController.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace testing_support;

namespace {

class Installer : public ::testing::Test {
protected:
    TempFolder folder;
    fs::path root = folder.path, home = root / "home", prefix = root / "image";
    Env homeVariable{"HOME", home.c_str()}, dataVariable{"XDG_DATA_HOME", nullptr};
    std::vector<AlertRequest> seen;
    int answer = 0;

    void SetUp() override {
        fs::create_directories(home);
        spit(prefix / "bin/muxconsole", "new program");
        fs::permissions(prefix / "bin/muxconsole", fs::perms(0755));
        spit(prefix / "share/muxconsole/strings/en.plist", "<plist/>");
        spit(prefix / "share/icons/hicolor/scalable/apps/muxconsole.svg", "<svg/>");
        Alert::setInfoValue("CFBundleName", "Velmar Console");
        Alert::setResponder([this](const AlertRequest& r) {
            seen.push_back(r);
            return answer;
        });
    }
    void TearDown() override { Alert::setResponder(nullptr); }
    std::string said() const { return seen.empty() ? "" : seen.back().title + ": " + seen.back().message; }
};

TEST_F(Installer, CopiesIntoLocalPrefixReplacingAnOlderCopy) {
    InstallController running; // this test program, from an ordinary folder
    running.displayInstaller();
    EXPECT_TRUE(seen.empty());
    spit(home / ".local/bin/muxconsole", "old program");
    spit(home / ".local/share/muxconsole/strings/stale.plist", "old");
    InstallController controller((prefix / "bin/muxconsole").string(), std::nullopt);
    EXPECT_FALSE(controller.imagePath());
    EXPECT_TRUE(controller.installApp());
    EXPECT_EQ(slurp(home / ".local/bin/muxconsole"), "new program");
    EXPECT_NE(fs::status(home / ".local/bin/muxconsole").permissions() & fs::perms::owner_exec,
              fs::perms::none);
    EXPECT_TRUE(fs::exists(home / ".local/share/muxconsole/strings/en.plist"));
    EXPECT_FALSE(fs::exists(home / ".local/share/muxconsole/strings/stale.plist"));
    const std::string entry = slurp(home / ".local/share/applications/muxconsole.desktop");
    EXPECT_NE(entry.find("Exec=\"" + (home / ".local/bin/muxconsole").string() + "\""), std::string::npos);
    EXPECT_NE(
        entry.find("Icon=" + (home / ".local/share/icons/hicolor/scalable/apps/muxconsole.svg").string()),
        std::string::npos);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(said(), "Installed Successfully: Velmar Console Installed In " +
                          (home / ".local/bin").string() + " Folder");

    fs::remove_all(home / ".local/bin");
    spit(home / ".local/bin", "a file where the folder should be");
    EXPECT_FALSE(controller.installApp());
    EXPECT_EQ(said(), "Could Not Install: An Error Occurred When Installing Velmar Console");
    EXPECT_EQ(slurp(home / ".local/bin"), "a file where the folder should be");
}

TEST_F(Installer, AppImageOfferAndBothAnswers) {
    const fs::path image = root / "Velmar Console-x86_64.AppImage";
    spit(image, "ELF appimage");
    InstallController controller((prefix / "bin/muxconsole").string(), image.string());
    EXPECT_EQ(controller.imagePath(), image.string());
    answer = 1;
    controller.displayInstaller();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, AlertRequest::Kind::Question);
    EXPECT_EQ(said(), "Velmar Console: Velmar Console Has Been Launched From A Disk Image");
    EXPECT_EQ(seen[0].informativeText, "Install In The Applications Folder?");
    EXPECT_EQ(seen[0].buttons, (std::vector<std::string>{"Yes, Install", "Do Not Install"}));
    EXPECT_FALSE(fs::exists(home / "Applications")) << "declined: nothing changes";
    answer = 0;
    controller.displayInstaller();
    EXPECT_EQ(seen.back().title, "Installed Successfully");
    EXPECT_EQ(slurp(home / "Applications" / image.filename()), "ELF appimage");
    EXPECT_NE(
        slurp(home / ".local/share/applications/Velmar Console-x86_64.AppImage.desktop").find("Exec=\""),
        std::string::npos);
}

// A program on a file system image mounted through a loop device (root only).
TEST_F(Installer, ProgramOnAMountedImageIsOffered) {
    const fs::path image = root / "Velmar Console.img", mountPoint = root / "mnt";
    spit(image, std::string(4 << 20, '\0'));
    if (geteuid() != 0 || run("/usr/sbin/mke2fs -q -F -t ext2 " + quoted(image.string())).status != 0)
        GTEST_SKIP() << "needs root and mke2fs to mount an image";
    const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    const std::string device =
        "/dev/loop" + std::to_string(control >= 0 ? ::ioctl(control, LOOP_CTL_GET_FREE) : -1);
    if (control >= 0)
        ::close(control);
    const int fd = ::open(device.c_str(), O_RDWR | O_CLOEXEC),
              file = ::open(image.c_str(), O_RDWR | O_CLOEXEC);
    const bool attached = fd >= 0 && file >= 0 && ::ioctl(fd, LOOP_SET_FD, file) == 0;
    ::close(file);
    fs::create_directories(mountPoint);
    if (!attached || ::mount(device.c_str(), mountPoint.c_str(), "ext2", 0, nullptr) != 0) {
        if (attached)
            ::ioctl(fd, LOOP_CLR_FD, 0);
        ::close(fd);
        GTEST_SKIP() << "cannot mount a loop device here";
    }
    spit(mountPoint / "bin/muxconsole", "program on image");
    InstallController controller((mountPoint / "bin/muxconsole").string(), std::nullopt);
    const auto found = controller.imagePath();
    answer = 1;
    controller.displayInstaller();
    ::umount(mountPoint.c_str());
    ::ioctl(fd, LOOP_CLR_FD, 0);
    ::close(fd);
    EXPECT_EQ(found, image.string());
    EXPECT_EQ(said(), "Velmar Console: Velmar Console Has Been Launched From A Disk Image");
}

} // namespace
