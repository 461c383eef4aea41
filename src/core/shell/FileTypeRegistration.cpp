#include "shell/FileTypeRegistration.hpp"

#include "util/Messages.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

extern char** environ;

namespace orvane::shell {

namespace {

namespace fs = std::filesystem;

std::optional<std::string> ReadWhole(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

enum class WriteOutcome { Unchanged, Written, Failed };

/// Writes `content` to `path` unless it already holds exactly that. The new
/// content goes to a temporary file first and replaces the old one in one
/// rename, so a program started twice never leaves half a file.
WriteOutcome WriteIfChanged(const fs::path& path, std::string_view content)
{
    if (const auto old = ReadWhole(path); old && *old == content) return WriteOutcome::Unchanged;
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) return WriteOutcome::Failed;
    fs::path temporary = path;
    temporary += ".tmp-" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            fs::remove(temporary, ec);
            return WriteOutcome::Failed;
        }
    }
    fs::rename(temporary, path, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return WriteOutcome::Failed;
    }
    return WriteOutcome::Written;
}

/// Width of a square PNG image from its header; nullopt for anything else.
std::optional<std::uint32_t> SquarePngSize(std::string_view png)
{
    constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);
    if (png.size() < 24 || png.substr(0, 8) != kSignature || png.substr(12, 4) != "IHDR") return std::nullopt;
    auto be32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(png[at + i]);
        return v;
    };
    const std::uint32_t width = be32(16);
    const std::uint32_t height = be32(20);
    if (width == 0 || width != height || width > 1024) return std::nullopt;
    return width;
}

/// Runs a program found on PATH with its output discarded and waits for it.
/// A missing program is not an error.
void RunQuietly(const char* program, const std::string& argument)
{
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return;
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string name = program;
    std::string arg = argument;
    char* argv[] = {name.data(), arg.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, program, &actions, nullptr, argv, environ) == 0) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}

} // namespace

fs::path UserDataHome(const char* xdgDataHome, const char* home)
{
    if (xdgDataHome != nullptr && *xdgDataHome != '\0') {
        const fs::path p(xdgDataHome);
        if (p.is_absolute()) return p;
    }
    if (home != nullptr && *home != '\0') {
        const fs::path p(home);
        if (p.is_absolute()) return p / ".local" / "share";
    }
    return {};
}

std::string QvmMimePackage()
{
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                       "  <mime-type type=\"") +
           std::string(kQvmMimeType) + "\">\n    <comment>" + std::string(msg::kZentraMapComment) +
           "</comment>\n    <icon name=\"" + std::string(kProgramIconName) +
           "\"/>\n    <glob pattern=\"*.qvm\"/>\n  </mime-type>\n</mime-info>\n";
}

std::string DesktopExecQuote(std::string_view path)
{
    // First the quoting of the Exec key, then the escapes of a string value.
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (const char c : quoted) {
        switch (c) {
        case '\\': value += "\\\\"; break;
        case '\n': value += "\\n"; break;
        case '\t': value += "\\t"; break;
        case '\r': value += "\\r"; break;
        default: value += c;
        }
    }
    return value;
}

std::string ProgramDesktopEntry(const fs::path& programPath)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" + std::string(msg::kProgramTitle) + "\n"
           "Exec=" + DesktopExecQuote(programPath.string()) + "\n"
           "Icon=" + std::string(kProgramIconName) + "\n"
           "Terminal=false\n"
           "Categories=Graphics;\n";
}

bool RegisterFileTypeIn(const fs::path& dataHome, const fs::path& programPath, std::string_view iconPng) noexcept
{
    try {
        if (dataHome.empty()) return false;
        bool ok = true;
        if (const auto size = SquarePngSize(iconPng)) {
            const std::string folder = std::to_string(*size) + "x" + std::to_string(*size);
            const fs::path icon =
                dataHome / "icons" / "hicolor" / folder / "apps" / (std::string(kProgramIconName) + ".png");
            ok = WriteIfChanged(icon, iconPng) != WriteOutcome::Failed && ok;
        }
        const fs::path entry = dataHome / "applications" / (std::string(kProgramIconName) + ".desktop");
        ok = WriteIfChanged(entry, ProgramDesktopEntry(programPath)) != WriteOutcome::Failed && ok;

        const fs::path mime = dataHome / "mime";
        const WriteOutcome package = WriteIfChanged(mime / "packages" / "orvane-zentramap.xml", QvmMimePackage());
        if (package == WriteOutcome::Failed) return false;
        std::error_code ec;
        if (package == WriteOutcome::Written || !fs::exists(mime / "mime.cache", ec))
            RunQuietly("update-mime-database", mime.string());
        return ok;
    } catch (...) {
        return false;
    }
}

void RegisterFileType(std::string_view iconPng) noexcept
{
    try {
        std::error_code ec;
        const fs::path program = fs::read_symlink("/proc/self/exe", ec);
        if (ec) return;
        RegisterFileTypeIn(UserDataHome(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")), program, iconPng);
    } catch (...) {
    }
}

} // namespace orvane::shell
