#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCancelled = 130;

/// Thrown for a malformed command line: main prints the message and the
/// command's usage and exits with kExitUsage.
struct UsageError {
    std::string message;
};

/// Folder of the running program (empty when it cannot be told).
std::filesystem::path ProgramDir();

/// Simple argument cursor: options first, then positional arguments.
class Args {
public:
    explicit Args(std::vector<std::string> args) : m_args(std::move(args)) {}

    bool Empty() const { return m_pos >= m_args.size(); }
    const std::string& Peek() const { return m_args[m_pos]; }
    std::string Next();
    /// True and consumes when the next argument is `flag`.
    bool Flag(std::string_view flag);
    /// Value of an option `--name VALUE` or `--name=VALUE` when the next
    /// argument is that option.
    bool Option(std::string_view name, std::string& value);
    /// Parses an integer option value in [min, max].
    static int IntValue(std::string_view option, const std::string& value, int min, int max);
    /// The remaining arguments; throws UsageError on a leftover option.
    std::vector<std::string> Positionals();

private:
    std::vector<std::string> m_args;
    std::size_t m_pos = 0;
};

} // namespace orvane::cli
