#include "CliCommon.hpp"

#include "util/NumberText.hpp"

namespace orvane::cli {

std::filesystem::path ProgramDir()
{
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : self.parent_path();
}


std::string Args::Next()
{
    if (Empty()) throw UsageError{"missing argument"};
    return m_args[m_pos++];
}

bool Args::Flag(std::string_view flag)
{
    if (!Empty() && Peek() == flag) {
        ++m_pos;
        return true;
    }
    return false;
}

bool Args::Option(std::string_view name, std::string& value)
{
    if (Empty()) return false;
    const std::string& a = Peek();
    if (a == name) {
        ++m_pos;
        if (Empty()) throw UsageError{"option " + std::string(name) + " needs a value"};
        value = m_args[m_pos++];
        return true;
    }
    if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=') {
        value = a.substr(name.size() + 1);
        ++m_pos;
        return true;
    }
    return false;
}

int Args::IntValue(std::string_view option, const std::string& value, int min, int max)
{
    const auto v = ParseInt32(value);
    if (!v || *v < min || *v > max)
        throw UsageError{"option " + std::string(option) + " takes a whole number from " +
                         std::to_string(min) + " to " + std::to_string(max) + ", not \"" + value + "\""};
    return *v;
}

std::vector<std::string> Args::Positionals()
{
    std::vector<std::string> out;
    bool onlyPositionals = false;
    while (!Empty()) {
        std::string a = Next();
        if (!onlyPositionals && a == "--") {
            onlyPositionals = true;
            continue;
        }
        if (!onlyPositionals && a.size() > 1 && a[0] == '-') throw UsageError{"unknown option " + a};
        out.push_back(std::move(a));
    }
    return out;
}

} // namespace orvane::cli
