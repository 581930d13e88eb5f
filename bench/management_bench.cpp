// CPU cost of one management command on a connected recorder.
//
// "sim": through the simulated storage stack, which decodes every request
// record and appends it to its call log; the log is cleared every
// kLogBatch commands inside the timed loop, so its cost is part of the figure.
// "bare": through a backend that only answers, which leaves the library's own
// cost (clearing the 64 KiB request record included).
#include "RKM51DLL.h"
#include "UsbScsiCmd.h"
#include "bare_recorder.h"
#include "management.h"
#include "storage_stack.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

constexpr int kLogBatch = 256;

// A simulated recorder at F behind a disk at D, connected, for one benchmark run.
struct SimConnection {
    sim::StorageStack stack;
    UsbScsiCmd device;

    SimConnection()
    {
        stack.attachDisk('D');
        stack.attachRecorder('F');
        stack.install();
        device.Open();
        stack.clearLog();
    }
    ~SimConnection()
    {
        device.Close();
        stack.uninstall();
    }

    // Keeps the call log from growing without bound.
    void afterCommand(int i)
    {
        if (i % kLogBatch == kLogBatch - 1)
            stack.clearLog();
    }
};

template <typename Command>
void runOnSim(benchmark::State& state, Command command)
{
    SimConnection c;
    int i = 0;
    int failures = 0;
    for (auto _ : state) {
        failures += command(c.device) != 1;
        c.afterCommand(i++);
    }
    if (failures != 0)
        state.SkipWithError("the recorder did not accept the command");
}

void BM_CmdLogin_sim(benchmark::State& state)
{
    const char password[6] = {'0', '0', '0', '0', '0', '0'};
    runOnSim(state, [&](UsbScsiCmd& d) { return CmdLogin(d, password); });
}
BENCHMARK(BM_CmdLogin_sim);

void BM_CmdGetTime_sim(benchmark::State& state)
{
    DeviceTime t;
    runOnSim(state, [&](UsbScsiCmd& d) { return CmdGetTime(d, &t); });
}
BENCHMARK(BM_CmdGetTime_sim);

void BM_CmdSetTime_sim(benchmark::State& state)
{
    const DeviceTime t = {2013, 12, 31, 23, 59, 58};
    runOnSim(state, [&](UsbScsiCmd& d) { return CmdSetTime(d, &t); });
}
BENCHMARK(BM_CmdSetTime_sim);

// Two transfers.
void BM_CmdSetID_sim(benchmark::State& state)
{
    const char number[13] = {'A', 'B', '-', '1', '2', '3', '4', '5', '6', '7', '8', '9', '0'};
    runOnSim(state, [&](UsbScsiCmd& d) { return CmdSetID(d, number); });
}
BENCHMARK(BM_CmdSetID_sim);

// The exported function: the library-wide lock and the upper-casing on top.
void BM_CLogin_export_sim(benchmark::State& state)
{
    sim::StorageStack stack;
    stack.attachRecorder('F');
    stack.install();
    CConnectDV();
    stack.clearLog();
    char password[6];
    int i = 0;
    int failures = 0;
    for (auto _ : state) {
        std::memcpy(password, "000000", 6);
        failures += CLogin(password) != 1;
        if (i++ % kLogBatch == kLogBatch - 1)
            stack.clearLog();
    }
    stack.setAbsent('F');
    CConnectDV();  // releases the handle before the stack goes
    stack.uninstall();
    if (failures != 0)
        state.SkipWithError("the recorder did not accept the command");
}
BENCHMARK(BM_CLogin_export_sim);

void BM_CmdLogin_bare(benchmark::State& state)
{
    BareRecorder recorder;
    plat::setBackend(&recorder);
    UsbScsiCmd device;
    device.Open();
    const char password[6] = {'0', '0', '0', '0', '0', '0'};
    int failures = 0;
    for (auto _ : state)
        failures += CmdLogin(device, password) != 1;
    device.Close();
    plat::setBackend(nullptr);
    if (failures != 0)
        state.SkipWithError("the bare recorder did not answer");
}
BENCHMARK(BM_CmdLogin_bare);

}  // namespace
