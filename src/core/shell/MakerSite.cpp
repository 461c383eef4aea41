#include "shell/MakerSite.hpp"

#include <cstdlib>

#ifndef ORVANE_MAKER_SITE
#define ORVANE_MAKER_SITE ""
#endif

namespace orvane::shell {

std::string MakerSite()
{
    std::string site;
    if (const char* fromEnvironment = std::getenv("ORVANE_MAKER_SITE"); fromEnvironment != nullptr)
        site = fromEnvironment;
    if (site.empty()) site = ORVANE_MAKER_SITE;
    while (!site.empty() && site.back() == '/') site.pop_back();
    return site;
}

} // namespace orvane::shell
