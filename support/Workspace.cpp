#include "support/Workspace.h"

#include "base/UniqueFd.h"
#include "support/Platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string trim(const std::string& text) {
    const char* blank = " \t\r\n\v\f";
    size_t start = text.find_first_not_of(blank);
    if (start == std::string::npos)
        return {};
    return text.substr(start, text.find_last_not_of(blank) - start + 1);
}

std::string lower(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::optional<std::string> attribute(const fs::path& folder, const char* name) {
    auto text = support::readFile((folder / name).string(), 4096);
    if (!text)
        return std::nullopt;
    std::string value = trim(*text);
    if (value.empty())
        return std::nullopt;
    return value;
}

std::string subsystemOf(const fs::path& folder) {
    std::error_code error;
    fs::path link = fs::read_symlink(folder / "subsystem", error);
    return error ? std::string() : link.filename().string();
}

// Mount points in mountinfo escape blanks and backslashes as \ooo.
std::string unescapeMountField(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
            field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            out += char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

struct Mount {
    unsigned major = 0, minor = 0;
    std::string mountPoint;
    std::string fsType;
    std::string source;
};

std::vector<Mount> readMountTable() {
    std::vector<Mount> mounts;
    auto text = support::readFile("/proc/self/mountinfo", 16u << 20);
    if (!text)
        return mounts;
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint, options, field;
        if (!(fields >> id >> parent >> device >> root >> mountPoint >> options))
            continue;
        while (fields >> field && field != "-") {
        }
        Mount m;
        if (!(fields >> m.fsType))
            continue;
        fields >> m.source;
        if (std::sscanf(device.c_str(), "%u:%u", &m.major, &m.minor) != 2)
            continue;
        m.mountPoint = unescapeMountField(mountPoint);
        m.source = unescapeMountField(m.source);
        mounts.push_back(std::move(m));
    }
    return mounts;
}

bool isUnder(const std::string& path, const std::string& mountPoint) {
    if (mountPoint == "/")
        return true;
    return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

// The partition table of a whole disk: udev's record, else the disk's first sectors.
std::optional<std::string> partitionTable(const fs::path& folder, const DeviceTree& tree) {
    auto dev = attribute(folder, "dev");
    if (!dev)
        return std::nullopt;
    if (auto record = support::readFile(tree.udevData + "/b" + *dev, 1 << 20)) {
        std::istringstream lines(*record);
        std::string line;
        while (std::getline(lines, line))
            if (line.rfind("E:ID_PART_TABLE_TYPE=", 0) == 0)
                return trim(line.substr(21));
    }
    std::string name = folder.filename().string();
    if (auto uevent = support::readFile((folder / "uevent").string(), 4096)) {
        std::istringstream lines(*uevent);
        std::string line;
        while (std::getline(lines, line))
            if (line.rfind("DEVNAME=", 0) == 0)
                name = trim(line.substr(8));
    }
    if (name.empty() || name.find("..") != std::string::npos)
        return std::nullopt;
    UniqueFd fd(::open((tree.devices + "/" + name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd)
        return std::nullopt;
    unsigned char sectors[1024] = {};
    ssize_t n = ::pread(fd.get(), sectors, sizeof sectors, 0);
    if (n < 1024)
        return std::nullopt;
    if (std::memcmp(sectors + 512, "EFI PART", 8) == 0)
        return "gpt";
    if (sectors[0] == 'E' && sectors[1] == 'R' && sectors[512] == 'P' && sectors[513] == 'M')
        return "mac";
    if (sectors[510] == 0x55 && sectors[511] == 0xAA) {
        // A boot sector of a file system carries the same mark; a partition table has at least
        // one entry with a type and a status byte of 0 or 0x80.
        bool any = false;
        for (int i = 0; i < 4; ++i) {
            const unsigned char* entry = sectors + 446 + 16 * i;
            if (entry[0] != 0 && entry[0] != 0x80)
                return std::nullopt;
            any = any || entry[4] != 0;
        }
        if (any)
            return "dos";
    }
    return std::nullopt;
}

std::optional<std::string> interconnectOf(const fs::path& folder, const std::string& subsystem) {
    std::string name = folder.filename().string();
    if (fs::exists(folder / "loop" / "backing_file"))
        return "Virtual Interface";
    if (subsystem == "usb")
        return "USB";
    if (subsystem == "nvme")
        return "NVMe";
    if (subsystem == "mmc" || subsystem == "mmc_host")
        return "SD";
    if (subsystem == "virtio")
        return "Virtio";
    if (subsystem == "xen")
        return "Xen";
    if (name.size() > 3 && name.compare(0, 3, "ata") == 0 &&
        std::all_of(name.begin() + 3, name.end(),
                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return "ATA";
    return std::nullopt;
}

std::optional<std::string> walk(const fs::path& folder, std::optional<std::string> description,
                                VolumeDescription& volume, const DeviceTree& tree, int depth) {
    if (depth > 64 || folder.empty() || folder == folder.root_path() || folder.filename() == "devices")
        return description;
    std::string subsystem = subsystemOf(folder);
    bool pci = subsystem == "pci";

    if (fs::exists(folder / "dev") && !fs::exists(folder / "partition") && subsystem == "block") {
        if (auto scheme = partitionTable(folder, tree))
            volume[NSWorkspace_KZpartitionscheme] = *scheme;
    }
    if (auto image = attribute(folder / "loop", "backing_file"))
        volume[NSWorkspace_KZimagefilepath] = *image;
    if (auto interconnect = interconnectOf(folder, subsystem)) {
        auto it = volume.find(NSWorkspace_KZconnectiontype);
        auto joined = AddPart(it == volume.end() ? std::nullopt : std::optional(it->second), *interconnect);
        if (joined)
            volume[NSWorkspace_KZconnectiontype] = *joined;
    }
    // Identification texts; PCI functions and USB root hubs carry only numbers and driver names.
    bool rootHub = subsystem == "usb" && folder.filename().string().rfind("usb", 0) == 0;
    if (!pci && !rootHub) {
        // Each entry: the attribute names that carry one piece, the first present wins.
        static const std::vector<std::vector<const char*>> pieces = {
            {"model", "product"}, {"rev", "firmware_rev"}, {"vendor"}, {"serial"}, {"manufacturer"}};
        for (const auto& names : pieces) {
            for (const char* name : names) {
                auto value = attribute(folder, name);
                if (!value || (std::strcmp(name, "vendor") == 0 && value->rfind("0x", 0) == 0))
                    continue;
                description = AddPart(description, value);
                break;
            }
        }
    }
    if (pci)
        return description;
    // A mapped device (encryption, volume groups) stands on the devices listed as its slaves.
    std::error_code error;
    for (fs::directory_iterator it(folder / "slaves", error), end; !error && it != end; it.increment(error)) {
        fs::path slave = fs::canonical(it->path(), error);
        if (!error)
            description = walk(slave, description, volume, tree, depth + 1);
        error.clear();
    }
    return walk(folder.parent_path(), description, volume, tree, depth + 1);
}

} // namespace

std::optional<std::string> AddPart(const std::optional<std::string>& existing,
                                   const std::optional<std::string>& part) {
    if (!part)
        return existing;
    std::string trimmed = trim(*part);
    if (!existing)
        return trimmed;
    std::string a = lower(*existing), b = lower(trimmed);
    if (a.find(b) != std::string::npos)
        return existing;
    if (b.find(a) != std::string::npos)
        return trimmed;
    return *existing + "; " + trimmed;
}

std::optional<std::string> CheckParents(const std::string& sysfsEntry,
                                        const std::optional<std::string>& description,
                                        VolumeDescription& volume, const DeviceTree& tree) {
    std::error_code error;
    fs::path start = fs::canonical(sysfsEntry, error);
    if (error)
        return description;
    return walk(start, description, volume, tree, 0);
}

std::optional<VolumeDescription> Workspace::propertiesForPath(const std::string& path) {
    struct statfs fsInfo {};
    struct stat info {};
    if (path.empty() || ::statfs(path.c_str(), &fsInfo) != 0 || ::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    std::error_code error;
    std::string canonical = fs::weakly_canonical(path, error).string();
    if (error)
        canonical = path;
    std::vector<Mount> mounts = readMountTable();
    // The deepest mount above the path on the file's own device (bind mounts repeat a device);
    // the deepest mount above the path when none matches. Later lines cover earlier ones.
    const Mount* best = nullptr;
    for (bool sameDevice : {true, false}) {
        for (const Mount& m : mounts) {
            if (sameDevice && (m.major != major(info.st_dev) || m.minor != minor(info.st_dev)))
                continue;
            if (isUnder(canonical, m.mountPoint) && (!best || m.mountPoint.size() >= best->mountPoint.size()))
                best = &m;
        }
        if (best)
            break;
    }
    if (!best)
        return std::nullopt;
    VolumeDescription volume;
    volume[NSWorkspace_KZfstypename] = best->fsType;
    volume[NSWorkspace_KZmntonname] = best->mountPoint;
    if (best->source.rfind("/dev/", 0) != 0)
        return volume;
    // The block device: the node named as the source, else the mount's own device numbers.
    struct stat node {};
    unsigned maj = best->major, min = best->minor;
    if (::stat(best->source.c_str(), &node) == 0 && S_ISBLK(node.st_mode)) {
        maj = major(node.st_rdev);
        min = minor(node.st_rdev);
    }
    std::string entry = "/sys/dev/block/" + std::to_string(maj) + ":" + std::to_string(min);
    if (!fs::exists(entry, error))
        return volume;
    if (auto description = CheckParents(entry, std::nullopt, volume))
        volume[NSWorkspace_KZdeviceinfo] = *description;
    return volume;
}
