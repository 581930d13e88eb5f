// Where the recorder's clock stands after a time sync, over a few hundred
// syncs at random moments of the PC's second: sending at once (whatever part
// of the second has passed) against waiting for the next second boundary.
// The simulated recorder's clock runs with the PC's to the microsecond, so
// its offset after each sync is exact. Counters: mean and max |offset| in ms.
//
// TimeCheck: how far `time check` lands from offsets a recorder is given.
#include "UsbScsiCmd.h"
#include "device_clock.h"
#include "pc_clock.h"
#include "storage_stack.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <random>

namespace {

struct Recorder {
    sim::StorageStack stack;
    UsbScsiCmd device;

    Recorder()
    {
        stack.attachDisk('D');
        stack.attachRecorder('G');
        stack.install();
        device.Open();
    }
    ~Recorder()
    {
        device.Close();
        stack.uninstall();
    }
    sim::Recorder& recorder() { return *stack.recorder('G'); }
};

void reportOffsets(benchmark::State& state, double sumAbsMs, double maxAbsMs, int64_t n)
{
    state.counters["mean_abs_offset_ms"] = n ? sumAbsMs / static_cast<double>(n) : 0;
    state.counters["max_abs_offset_ms"] = maxAbsMs;
}

void syncs(benchmark::State& state, bool aligned)
{
    Recorder r;
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int64_t> moment(0, 999999);
    double sum = 0, max = 0;
    int64_t n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // A random moment of the PC's second.
        pcclock::waitUntil((pcclock::nowMicros() / 1000000 + 1) * 1000000 + moment(random));
        r.recorder().setClockOffsetMicros(-3000000);
        r.stack.clearLog();
        state.ResumeTiming();

        UsbScsiCmd* device = &r.device;
        devclock::SetResult result;
        devclock::setClocks(&device, 1, aligned, &result);

        state.PauseTiming();
        if (result.result != 1) {
            state.SkipWithError("the recorder refused the time");
            break;
        }
        const double offsetMs = std::abs(static_cast<double>(r.recorder().clockOffsetMicros())) / 1000.0;
        sum += offsetMs;
        max = std::max(max, offsetMs);
        ++n;
        state.ResumeTiming();
    }
    reportOffsets(state, sum, max, n);
}

void BM_TimeSyncAtOnce(benchmark::State& state) { syncs(state, false); }
void BM_TimeSyncAligned(benchmark::State& state) { syncs(state, true); }

void BM_TimeCheck(benchmark::State& state)
{
    Recorder r;
    std::mt19937 random(7);
    std::uniform_int_distribution<int64_t> offset(-5000000, 5000000);
    double sum = 0, max = 0;
    int64_t n = 0;
    for (auto _ : state) {
        const int64_t given = offset(random);
        r.recorder().setClockOffsetMicros(given);
        r.stack.clearLog();
        UsbScsiCmd* device = &r.device;
        devclock::OffsetResult measured;
        devclock::measureOffsets(&device, 1, &measured);
        if (measured.status != devclock::OffsetResult::Status::Measured) {
            state.SkipWithError("no measurement");
            break;
        }
        const double errorMs = std::abs(static_cast<double>(measured.offsetMicros - given)) / 1000.0;
        sum += errorMs;
        max = std::max(max, errorMs);
        ++n;
    }
    reportOffsets(state, sum, max, n);
}

BENCHMARK(BM_TimeSyncAtOnce)->Iterations(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimeSyncAligned)->Iterations(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimeCheck)->Iterations(30)->Unit(benchmark::kMillisecond);

}  // namespace
