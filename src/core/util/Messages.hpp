#pragma once

// Every text the system shows lives under util/msg/, one header per subject:
// fixed texts as inline constexpr std::string_view, composed ones as
// functions in orvane::msg. Tests compare what() with the texts copied
// verbatim, so drift on either side shows.

#include "util/msg/Files.hpp"
#if __has_include("util/msg/Calibration.hpp")
#include "util/msg/Calibration.hpp"
#endif
#if __has_include("util/msg/Package.hpp")
#include "util/msg/Package.hpp"
#endif
#if __has_include("util/msg/Conversion.hpp")
#include "util/msg/Conversion.hpp"
#endif
#if __has_include("util/msg/Image.hpp")
#include "util/msg/Image.hpp"
#endif
#if __has_include("util/msg/Gps.hpp")
#include "util/msg/Gps.hpp"
#endif
#if __has_include("util/msg/Vistrel.hpp")
#include "util/msg/Vistrel.hpp"
#endif
#if __has_include("util/msg/Shell.hpp")
#include "util/msg/Shell.hpp"
#endif
#if __has_include("util/msg/GeoTiff.hpp")
#include "util/msg/GeoTiff.hpp"
#endif
#if __has_include("util/msg/Assembly.hpp")
#include "util/msg/Assembly.hpp"
#endif
#if __has_include("util/msg/Tiles.hpp")
#include "util/msg/Tiles.hpp"
#endif
#if __has_include("util/msg/MapView.hpp")
#include "util/msg/MapView.hpp"
#endif
