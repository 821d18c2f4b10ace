// Errors that the shared routines let reach their callers. Everything else answers with results.
#pragma once
#include <stdexcept>
#include <string>

// A platform call failed where the routine traps nothing (file length, program folder, change of
// directory, a search that lets its errors through). `code` is the platform's error number.
class PlatformError : public std::runtime_error {
public:
    PlatformError(const std::string& what, unsigned long code) : std::runtime_error(what), code_(code) {}
    unsigned long code() const { return code_; }

private:
    unsigned long code_;
};

// A count that the design holds in a signed 16-bit number ran over (MyMd on 65,535 characters or
// more, GetUrlEnCode on more than 32,767 bytes).
class OverflowError : public std::overflow_error {
public:
    using std::overflow_error::overflow_error;
};
