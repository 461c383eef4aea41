#pragma once

#include <cstdint>

namespace orvane::gps {

/// What the GPS receiver publishes: the position of the last accepted GGA
/// sentence and the motion of the last accepted RMC sentence. All values
/// are zero until first set.
struct TGpsFix {
    double Latitude = 0;          // degrees, north positive
    double Longitude = 0;         // degrees, east positive
    double Speed = 0;             // km/h
    double Course = 0;            // degrees
    std::int32_t WholeCourse = 0; // Course truncated toward zero
    bool operator==(const TGpsFix&) const = default;
};

} // namespace orvane::gps
