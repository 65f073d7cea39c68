#include "tests/drivers/DriverProfile.h"

#include <stdexcept>

namespace drivertest {

std::vector<DriverProfile>& DriverProfiles() {
    static std::vector<DriverProfile> profiles;
    return profiles;
}

const DriverProfile& ProfileNamed(const std::string& name) {
    for (const DriverProfile& p : DriverProfiles())
        if (p.name == name) return p;
    throw std::runtime_error("no driver profile " + name);
}

std::vector<std::string> ProfileNames() {
    std::vector<std::string> names;
    for (const DriverProfile& p : DriverProfiles()) names.push_back(p.name);
    return names;
}

}  // namespace drivertest
