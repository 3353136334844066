#include "chart/GroupsModel.h"

#include "chart/Names.h"
#include "chart/UniqueNames.h"
#include "chart/WaypointsModel.h"
#include "support/Alert.h"

#include <algorithm>

Group::Group(std::string_view name, bool canChangeName)
    : nameString_(chart::trimBlanks(name)), canChangeName_(canChangeName) {
}

void Group::setName(std::string_view name) {
    nameString_ = chart::trimBlanks(name);
}

GroupsModel::GroupsModel()
    : allGroup_(std::make_shared<Group>(Alert::localizedStringWithKey("NSAll"), false)) {
}

std::shared_ptr<Group> GroupsModel::group(size_t index) const {
    return index < groupArray_.size() ? groupArray_[index] : nullptr;
}

std::shared_ptr<Group> GroupsModel::groupFromName(std::string_view name) const {
    const std::string wanted = chart::trimBlanks(name);
    if (allGroup_->name() == wanted)
        return allGroup_;
    for (const auto& group : groupArray_) {
        if (group->name() == wanted)
            return group;
    }
    return nullptr;
}

std::optional<std::string> GroupsModel::uniqueName() const {
    chart::UniqueNames names("GP");
    for (const auto& group : groupArray_)
        names.take(group->name());
    return names.next();
}

void GroupsModel::setUniqueName(Group& group) const {
    if (const auto name = uniqueName())
        group.setName(*name);
}

std::shared_ptr<Group> GroupsModel::createGroup(const std::optional<std::string>& name) {
    if (name) {
        if (auto existing = groupFromName(*name))
            return existing;
        auto group = std::make_shared<Group>(*name);
        groupArray_.push_back(group);
        return group;
    }
    auto group = std::make_shared<Group>();
    setUniqueName(*group);
    groupArray_.push_back(group);
    return group;
}

void GroupsModel::add(std::shared_ptr<Group> group) {
    if (group)
        groupArray_.push_back(std::move(group));
}

void GroupsModel::remove(size_t index) {
    if (index >= groupArray_.size())
        return;
    if (groupArray_[index] == selectedGroup_)
        selectedGroup_ = nullptr;
    groupArray_.erase(groupArray_.begin() + static_cast<std::ptrdiff_t>(index));
}

GroupsModel::Rename GroupsModel::renameGroup(const std::shared_ptr<Group>& group, std::string_view newName,
                                             WaypointsModel& waypoints) {
    if (!group || !group->canChangeName())
        return Rename::Unchanged;
    const std::string name = chart::trimBlanks(newName);
    if (name.empty() || name == group->name())
        return Rename::Unchanged;
    if (const auto other = groupFromName(name); other && other != group)
        return Rename::NameTaken;
    waypoints.renameGroupsInWaypoints(group->name(), name);
    group->setName(name);
    return Rename::Renamed;
}

// The groups already held keep their identity; the others are made.
void GroupsModel::setGroupsNamed(const std::vector<std::string>& names) {
    std::vector<std::string> wanted;
    for (const std::string& name : names) {
        std::string trimmed = chart::trimBlanks(name);
        if (!trimmed.empty() && trimmed != allGroup_->name())
            wanted.push_back(std::move(trimmed));
    }
    std::stable_sort(wanted.begin(), wanted.end(), chart::nameLess);
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    std::vector<std::shared_ptr<Group>> groups;
    for (const std::string& name : wanted) {
        auto group = groupFromName(name);
        groups.push_back(group ? group : std::make_shared<Group>(name));
    }
    if (selectedGroup_ && std::find(groups.begin(), groups.end(), selectedGroup_) == groups.end())
        selectedGroup_ = nullptr;
    groupArray_ = std::move(groups);
}
