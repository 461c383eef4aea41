#include "util/FileIo.hpp"

#include "util/Error.hpp"
#include "util/Messages.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace orvane {

std::string SystemErrorText(int errorNumber)
{
    return std::strerror(errorNumber);
}

std::string ReadWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error(msg::CannotOpenFile(path.string(), SystemErrorText(errno)));
    std::ostringstream out;
    out << in.rdbuf();
    if (in.bad()) throw Error(msg::CannotReadFile(path.string(), SystemErrorText(errno)));
    return std::move(out).str();
}

} // namespace orvane
