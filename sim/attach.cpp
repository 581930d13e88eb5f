// Linked into the demo build only: at start-up, puts the simulated storage stack
// behind the platform calls, set up from KORVANE_SIM, logging to KORVANE_SIM_LOG.
#include "scenario.h"

#include <cstdio>
#include <cstdlib>

namespace {

void writeLine(const sim::Call& call, void* context)
{
    if (call.kind == sim::Call::Kind::GetLastError)
        return;
    std::FILE* f = static_cast<std::FILE*>(context);
    const std::string line = sim::formatCall(call);
    std::fprintf(f, "%s\n", line.c_str());
    std::fflush(f);
}

struct Attach {
    sim::StorageStack stack;

    Attach()
    {
        const char* scenario = std::getenv("KORVANE_SIM");
        std::string error;
        if (!sim::applyScenario(stack, scenario ? scenario : "", &error)) {
            std::fprintf(stderr, "korvane-sim: %s\n", error.c_str());
            std::exit(2);
        }
        if (const char* path = std::getenv("KORVANE_SIM_LOG")) {
            if (std::FILE* f = std::fopen(path, "a"))
                stack.setObserver(writeLine, f);
        }
        stack.install();
    }
};

Attach g_attach;

}  // namespace
