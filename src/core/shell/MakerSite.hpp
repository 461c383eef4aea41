#pragma once

#include <string>

namespace orvane::shell {

/// The maker's web server as "http://host" without a final slash: home of
/// the version file, the download page and the position service. The
/// ORVANE_MAKER_SITE environment variable overrides the address the program
/// was built with (CMake cache variable of the same name).
std::string MakerSite();

} // namespace orvane::shell
