#pragma once
// The names of what the kernel source's flows carry: the application of a cgroup id and the
// interface of an interface index, each remembered, for whoever turns counted bytes into rows.

#include "attribution/application_names.h"
#include "attribution/cgroup_tree.h"
#include "attribution/interface_names.h"

#include <cstdint>

class AttributionNames {
public:
    // The hierarchy found in the mount table; no hierarchy: every cgroup is an ended program.
    AttributionNames();
    AttributionNames(std::string cgroupRoot, ApplicationNamer namer);

    // 0 and the root cgroup are the system; a cgroup no longer in the tree, an ended program.
    ApplicationName application(std::uint64_t cgroup);
    InterfaceName interface(int index) { return interfaces.nameOf(index); }

private:
    CgroupTree tree;
    ApplicationNamer applications;
    InterfaceNamer interfaces;
};
