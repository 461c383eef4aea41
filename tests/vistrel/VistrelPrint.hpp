#pragma once

// Readable test failures for users.

#include "vistrel/VistrelUsers.hpp"

#include <ostream>

namespace orvane::vistrel {

inline void PrintTo(const TVistrelUser& u, std::ostream* os)
{
    *os << "{" << u.FirstId << "/" << u.SecondId << " '" << u.Name << "' " << u.Lat << "," << u.Lon << " v4=" << u.Value4
        << " speed=" << u.Speed << " course=" << u.Course << " v7=" << u.Value7 << " '" << u.TimeText << "'}";
}

} // namespace orvane::vistrel
