// korvane-cli's entry: the arguments as UTF-8, the console as the environment.
#include "app.h"
#include "console.h"
#include "exit_status.h"

int main(int argc, char** argv)
{
    kvcli::Console console;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    const std::vector<std::string> args = kvcli::commandLineArguments();
#else
    std::vector<std::string> args;
    std::string bad;
    if (!kvcli::argumentsAsUtf8(argc, argv, &args, &bad)) {
        console.err("korvane-cli: an argument is not valid text in this locale's encoding.\n");
        return kvcli::kUsage;
    }
#endif
    try {
        return kvcli::run(args, console);
    } catch (const std::exception& e) {
        console.err(std::string("korvane-cli: ") + e.what() + "\n");
        return kvcli::kDeviceError;
    }
}
