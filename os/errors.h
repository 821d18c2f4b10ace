// Errors that the OS boundary and the shared routines let reach their callers, and the error report's
// text. Everything else answers with results.
#pragma once
#include <exception>
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

// A run-time error that stops the window event it occurs in: the program shows the error report and
// ends. `number` is the error's number in the report.
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int number, const std::string& description) : std::runtime_error(description), number_(number) {}
    int number() const { return number_; }

private:
    int number_;
};

// The error report's text for an error that reached a window event: its number (6 for an
// overflow, 5 for a platform step that failed) and its description.
std::wstring ErrorReportText(const std::exception& error);
