// What korvane-cli takes from and gives to the world around it, so that the
// commands run the same in the program and in tests.
#pragma once

#include <string>

namespace kvcli {

class Environment {
public:
    // An environment variable (UTF-8), or null.
    virtual const char* variable(const char* name) = 0;
    // One line of standard input without its line end; false at its end.
    virtual bool readLine(std::string* line) = 0;
    // Asks on the terminal and reads one line without echo; false when there
    // is no terminal to ask on.
    virtual bool readHidden(const std::string& prompt, std::string* line) = 0;
    // Standard output and standard error (UTF-8 text).
    virtual void out(const std::string& text) = 0;
    virtual void err(const std::string& text) = 0;

protected:
    ~Environment() = default;
};

}  // namespace kvcli
