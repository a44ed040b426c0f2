#include "attribution/attribution_names.h"

AttributionNames::AttributionNames() : AttributionNames(findCgroupRoot(), ApplicationNamer()) {}

AttributionNames::AttributionNames(std::string cgroupRoot, ApplicationNamer namer)
    : tree(std::move(cgroupRoot)), applications(std::move(namer))
{
}

ApplicationName AttributionNames::application(std::uint64_t cgroup)
{
    if (cgroup == 0)
        return {kSystemApplication, {}};
    const std::optional<std::string> path = tree.pathOf(cgroup);
    if (!path)
        return {kEndedApplication, {}};
    return applications.nameOf(*path);
}
