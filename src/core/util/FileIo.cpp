#include "util/FileIo.hpp"

#include "util/Error.hpp"
#include "util/Messages.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <fcntl.h>
#include <unistd.h>

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

void WriteWholeFile(const std::filesystem::path& path, std::span<const std::uint8_t> data)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw Error(msg::CannotWriteFile(path.string(), SystemErrorText(errno)));
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            ::close(fd);
            throw Error(msg::CannotWriteFile(path.string(), SystemErrorText(err)));
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) throw Error(msg::CannotWriteFile(path.string(), SystemErrorText(errno)));
}

} // namespace orvane
