// The process's own console and environment as korvane-cli's Environment:
// arguments and text converted between the platform's encodings and UTF-8.
#pragma once

#include "environment.h"

#include <string>
#include <vector>

namespace kvcli {

class Console : public Environment {
public:
    Console();
    const char* variable(const char* name) override;
    bool readLine(std::string* line) override;
    bool readHidden(const std::string& prompt, std::string* line) override;
    void out(const std::string& text) override;
    void err(const std::string& text) override;

private:
    std::string m_variable;
};

#ifdef _WIN32
// The arguments from the UTF-16 command line, as UTF-8, without the program name.
std::vector<std::string> commandLineArguments();
#else
// The arguments in the locale's encoding, as UTF-8; false when one is not
// valid text in it (`bad` names it).
bool argumentsAsUtf8(int argc, char** argv, std::vector<std::string>* out, std::string* bad);
#endif

}  // namespace kvcli
