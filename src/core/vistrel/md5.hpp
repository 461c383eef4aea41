#pragma once

#include <string>
#include <string_view>

namespace orvane::vistrel {

/// MD5 digest (RFC 1321) of the bytes, as 32 lower-case hex digits.
std::string Md5Hex(std::string_view bytes);

} // namespace orvane::vistrel
