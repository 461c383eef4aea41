#pragma once

// Runs the built `orvane` program in tests and captures what it prints.

#include "support/TempDir.hpp"

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace orvane::test {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

/// Runs the program with `args` (each quoted for the shell), standard
/// output and error captured through files in `dir`, environment extended
/// by `env` ("NAME=value" entries).
inline RunResult RunOrvane(const TempDir& dir, const std::vector<std::string>& args,
                           const std::vector<std::string>& env = {})
{
    auto quote = [](const std::string& s) {
        std::string q = "'";
        for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    std::string command;
    for (const auto& e : env) command += quote(e) + " ";
    if (!env.empty()) command = "env " + command;
    command += quote(ORVANE_CLI);
    for (const auto& a : args) command += " " + quote(a);
    command += " </dev/null >" + quote((dir / "stdout.txt").string()) + " 2>" + quote((dir / "stderr.txt").string());
    const int status = std::system(command.c_str());
    RunResult r;
    if (status != -1 && WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    r.out = ReadFile(dir / "stdout.txt");
    r.err = ReadFile(dir / "stderr.txt");
    return r;
}

} // namespace orvane::test
