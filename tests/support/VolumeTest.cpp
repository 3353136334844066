// What a volume is: real mounts of this machine, and a made-up device tree walked up from a
// partition or a mapped device to its bus, maker and image file.

#include "Helpers.h"
#include "support/Workspace.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using namespace testing_support;

TEST(AddPart, JoinsWithoutRepeats) {
    using Text = std::optional<std::string>;
    const std::array<Text, 3> cases[] = {
        {"Flash Drive; ACME", "acme", "Flash Drive; ACME"}, // contained, other case
        {"USB", "USB Flash Drive", "USB Flash Drive"},      // contains the existing text
        {"A", "B", "A; B"},
        {std::nullopt, "  Flash Drive \r\n", "Flash Drive"},
        {"A", std::nullopt, "A"},
        {"A", "   ", "A"}, // an empty part is contained in anything
    };
    for (const auto& [existing, part, expected] : cases)
        EXPECT_EQ(AddPart(existing, part), expected)
            << existing.value_or("nil") << " + " << part.value_or("nil");
}

TEST(Volume, RealMountsOfThisMachine) {
    auto proc = Workspace::propertiesForPath("/proc/self");
    ASSERT_TRUE(proc);
    EXPECT_EQ((*proc)[NSWorkspace_KZfstypename], "proc");
    EXPECT_EQ((*proc)[NSWorkspace_KZmntonname], "/proc");
    EXPECT_FALSE(proc->count(NSWorkspace_KZimagefilepath));

    auto own = Workspace::propertiesForPath(MUX_BINARY_DIR);
    ASSERT_TRUE(own);
    EXPECT_TRUE(std::string(MUX_BINARY_DIR).starts_with((*own)[NSWorkspace_KZmntonname]));
    EXPECT_FALSE((*own)[NSWorkspace_KZfstypename].empty());

    EXPECT_FALSE(Workspace::propertiesForPath("/no/such/path/here"));
    EXPECT_FALSE(Workspace::propertiesForPath(""));
}

// A made-up device tree: a partition of a USB stick, and a mapped device on a loop image.
class DeviceWalk : public ::testing::Test {
protected:
    TempFolder folder;
    fs::path root = folder.path;
    DeviceTree tree;
    void SetUp() override {
        for (const char* folder :
             {"sys/bus/pci", "sys/bus/usb", "sys/bus/scsi", "sys/class/block", "udev", "dev"})
            fs::create_directories(root / folder);
        tree.udevData = (root / "udev").string(), tree.devices = (root / "dev").string();
    }
    fs::path node(const std::string& relative, const char* subsystem,
                  std::initializer_list<std::pair<const char*, const char*>> files = {}) {
        fs::path dir = root / "sys/devices" / relative;
        fs::create_directories(dir);
        if (subsystem)
            fs::create_directory_symlink(root / "sys" / subsystem, dir / "subsystem");
        for (auto& [name, text] : files)
            spit(dir / name, text);
        return dir;
    }
};

TEST_F(DeviceWalk, UsbStickPartition) {
    std::string usb = "pci0000:00/0000:00:14.0/usb2/2-1";
    node("pci0000:00/0000:00:14.0", "bus/pci", {{"vendor", "0x8086"}});
    node("pci0000:00/0000:00:14.0/usb2", "bus/usb", {{"product", "xHCI Host Controller"}});
    node(usb, "bus/usb", {{"product", "Flash Drive"}, {"manufacturer", "Acme"}, {"serial", "ABC123\n"}});
    node(usb + "/2-1:1.0", "bus/usb");
    std::string scsi = usb + "/2-1:1.0/host6/target6:0:0/6:0:0:0";
    node(scsi, "bus/scsi", {{"vendor", "ACME    \n"}, {"model", "Flash Drive     \n"}, {"rev", "1.00\n"}});
    node(scsi + "/block/sdb", "class/block", {{"dev", "8:16\n"}});
    fs::path partition =
        node(scsi + "/block/sdb/sdb1", "class/block", {{"dev", "8:17\n"}, {"partition", "1\n"}});
    spit(root / "udev/b8:16", "S:disk/by-id/usb-Acme\nE:ID_PART_TABLE_TYPE=gpt\nE:ID_BUS=usb\n");

    VolumeDescription volume;
    EXPECT_EQ(CheckParents(partition.string(), std::nullopt, volume, tree),
              "Flash Drive; 1.00; ACME; ABC123");
    EXPECT_EQ(volume[NSWorkspace_KZconnectiontype], "USB");
    EXPECT_EQ(volume[NSWorkspace_KZpartitionscheme], "gpt");
    EXPECT_FALSE(volume.count(NSWorkspace_KZimagefilepath));
}

TEST_F(DeviceWalk, MappedDeviceOnALoopImage) {
    fs::path loop = node("virtual/block/loop3", "class/block",
                         {{"dev", "7:3\n"},
                          {"uevent", "MAJOR=7\nMINOR=3\nDEVNAME=loop3\n"},
                          {"loop/backing_file", "/home/sailor/Velmar Console.img\n"}});
    fs::path mapped = node("virtual/block/dm-0", "class/block", {{"dev", "254:0\n"}});
    fs::create_directories(mapped / "slaves");
    fs::create_directory_symlink(loop, mapped / "slaves" / "loop3");
    // No udev record: the image's own first sector holds a DOS partition table.
    std::string sectors(1024, '\0');
    sectors[446 + 4] = 0x83, sectors[510] = char(0x55), sectors[511] = char(0xAA);
    spit(root / "dev/loop3", sectors);

    VolumeDescription volume;
    EXPECT_EQ(CheckParents(mapped.string(), std::nullopt, volume, tree), std::nullopt);
    EXPECT_EQ(volume[NSWorkspace_KZimagefilepath], "/home/sailor/Velmar Console.img");
    EXPECT_EQ(volume[NSWorkspace_KZconnectiontype], "Virtual Interface");
    EXPECT_EQ(volume[NSWorkspace_KZpartitionscheme], "dos");
}

} // namespace
