#include "Commands.hpp"

#include <iostream>

namespace orvane::cli {

int RunInfo(Args& args)
{
    const auto files = args.Positionals();
    if (files.size() != 1) throw UsageError{"expected one PACKAGE"};
    std::cerr << "not yet\n";
    return kExitFailure;
}

} // namespace orvane::cli
