#pragma once
// What kind of volume a path lives on: the mount table entry and, for a volume on a block
// device, what the device chain above it tells (disk image file, partition table, interconnect,
// device description). Plain C++, any thread.

#include <map>
#include <optional>
#include <string>

using VolumeDescription = std::map<std::string, std::string>;

inline constexpr char NSWorkspace_KZfstypename[] = "NSWorkspace_KZfstypename";
inline constexpr char NSWorkspace_KZmntonname[] = "NSWorkspace_KZmntonname";
inline constexpr char NSWorkspace_KZmntfromname[] = "NSWorkspace_KZmntfromname"; // not filled
inline constexpr char NSWorkspace_KZserverURL[] = "NSWorkspace_KZserverURL";     // not filled
inline constexpr char NSWorkspace_KZdeviceinfo[] = "NSWorkspace_KZdeviceinfo";
inline constexpr char NSWorkspace_KZconnectiontype[] = "NSWorkspace_KZconnectiontype";
inline constexpr char NSWorkspace_KZpartitionscheme[] = "NSWorkspace_KZpartitionscheme";
inline constexpr char NSWorkspace_KZimagefilepath[] = "NSWorkspace_KZimagefilepath";

class Workspace {
public:
    // Nothing when the path's volume cannot be read.
    static std::optional<VolumeDescription> propertiesForPath(const std::string& path);
};

// Joins description parts with "; ", leaving out a part already contained (ignoring case) and
// replacing the text by a part that contains it.
std::optional<std::string> AddPart(const std::optional<std::string>& existing,
                                   const std::optional<std::string>& part);

// Where the device walk looks; tests point it at a made-up tree.
struct DeviceTree {
    std::string udevData = "/run/udev/data"; // udev's database: partition table types
    std::string devices = "/dev";            // device nodes, read for a partition table udev lacks
};

// Walks a block device's sysfs folder and its parents (and the devices a mapped device is made
// of), filling the interconnect, partition table and image path into the volume description.
// Returns the accumulated device description.
std::optional<std::string> CheckParents(const std::string& sysfsEntry,
                                        const std::optional<std::string>& description,
                                        VolumeDescription& volume, const DeviceTree& tree = DeviceTree{});
