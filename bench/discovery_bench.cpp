// CPU cost of one discovery scan over the 23 letters D to Z through the
// simulated storage stack (its decoding and call log included; the log is
// cleared after every scan, inside the timed loop).
#include "UsbScsiCmd.h"
#include "storage_stack.h"

#include <benchmark/benchmark.h>

namespace {

enum Machine { kNothing = 0, kRecorderAtZ = 1, kDisksThenRecorderAtZ = 2 };

void BM_Discovery_sim(benchmark::State& state)
{
    const Machine machine = static_cast<Machine>(state.range(0));
    sim::StorageStack stack;
    if (machine != kNothing)
        stack.attachRecorder('Z');
    if (machine == kDisksThenRecorderAtZ)
        for (char l = 'D'; l < 'Z'; ++l)
            stack.attachDisk(l);
    stack.install();

    UsbScsiCmd device;
    const int expected = machine == kNothing ? 0 : 1;
    int failures = 0;
    for (auto _ : state) {
        failures += device.Open() != expected;
        stack.clearLog();
    }
    device.Close();
    stack.uninstall();
    if (failures != 0)
        state.SkipWithError("discovery did not give the expected result");
    static const char* const kLabels[] = {"no recorder, no drives", "recorder at Z only",
                                          "22 disks, recorder at Z"};
    state.SetLabel(kLabels[machine]);
}
BENCHMARK(BM_Discovery_sim)->Arg(kNothing)->Arg(kRecorderAtZ)->Arg(kDisksThenRecorderAtZ);

}  // namespace
