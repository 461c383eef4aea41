#pragma once

#include <stdexcept>
#include <string>

namespace orvane {

/// A failure the user sees: what() is the system's own message text (UTF-8).
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The user's Cancel: ends a job silently. Deliberately not an Error.
class Cancelled : public std::exception {
public:
    const char* what() const noexcept override { return "cancelled"; }
};

} // namespace orvane
