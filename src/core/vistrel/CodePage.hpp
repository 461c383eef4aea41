#pragma once

// The system's single-byte code page (windows-1251, which holds the Russian
// texts) at the edge of the position-service protocol: digests are taken
// over its bytes, and texts received are limited to what it can hold.

#include <string>
#include <string_view>

namespace orvane::vistrel {

/// UTF-8 text as code-page bytes. A character the code page lacks, and a
/// byte that is not part of well-formed UTF-8, becomes '?'.
std::string ToCodePage(std::string_view utf8);

/// The same text kept in UTF-8 but limited to the code page, as it looks
/// after a trip through it: the characters ToCodePage replaces become '?'.
std::string FitToCodePage(std::string_view utf8);

} // namespace orvane::vistrel
