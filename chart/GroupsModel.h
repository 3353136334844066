#pragma once
// Waypoint groups: named sets that waypoints join by name. The "all" group stands for every
// waypoint and cannot be renamed.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class WaypointsModel;

class Group {
public:
    explicit Group(std::string_view name = {}, bool canChangeName = true);
    const std::string& name() const { return nameString_; }
    void setName(std::string_view name); // trimmed of blanks
    bool canChangeName() const { return canChangeName_; }

private:
    std::string nameString_;
    bool canChangeName_;
};

class GroupsModel {
public:
    // The all group is named by the message "NSAll" in the user's language.
    GroupsModel();

    size_t count() const { return groupArray_.size(); }
    std::shared_ptr<Group> group(size_t index) const;
    const std::vector<std::shared_ptr<Group>>& groups() const { return groupArray_; }
    const std::shared_ptr<Group>& allGroup() const { return allGroup_; }
    bool isAllGroup(const std::shared_ptr<Group>& group) const { return group && group == allGroup_; }

    // The trimmed name compared exactly; the all group first.
    std::shared_ptr<Group> groupFromName(std::string_view name) const;
    // "GP0001" .. "GP9999": the first that no group bears; nothing when all are taken.
    std::optional<std::string> uniqueName() const;
    void setUniqueName(Group& group) const;
    // The group of that name, appended when new; without a name a new group with a unique name.
    std::shared_ptr<Group> createGroup(const std::optional<std::string>& name);
    void add(std::shared_ptr<Group> group);
    void remove(size_t index);
    // After a load: the groups of these names (blank names and the all group's left out), in name
    // order after the all group; a chosen group that is gone is no longer chosen.
    void setGroupsNamed(const std::vector<std::string>& names);

    // The group whose waypoints the lists show; the all group unless another was chosen.
    std::shared_ptr<Group> selectedGroup() const { return selectedGroup_ ? selectedGroup_ : allGroup_; }
    void setSelectedGroup(std::shared_ptr<Group> group) { selectedGroup_ = std::move(group); }

    enum class Rename { Renamed, Unchanged, NameTaken };
    // Renames a group and every waypoint's entry for it. A group that cannot change its name, or
    // an equal or empty name, changes nothing; a name another group bears gives NameTaken and the caller
    // shows "NSGroupAlreadyExists" with the system beep.
    Rename renameGroup(const std::shared_ptr<Group>& group, std::string_view newName,
                       WaypointsModel& waypoints);

private:
    std::vector<std::shared_ptr<Group>> groupArray_;
    std::shared_ptr<Group> allGroup_;
    std::shared_ptr<Group> selectedGroup_;
};
