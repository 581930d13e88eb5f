#include "device_clock.h"

#include "management.h"
#include "pc_clock.h"

#include <vector>

namespace devclock {
namespace {

using pcclock::kMicrosPerSecond;

constexpr int64_t kCoarseInterval = 20000;   // between polls until the first change
constexpr int64_t kFineLead = 15000;         // close polling starts this early
constexpr int64_t kFineInterval = 500;       // between close polls
constexpr int64_t kFineWindow = 60000;       // close polling ends this late
// Readings this close around the change (beyond two exchanges as quick as
// the quickest so far; a real recorder takes milliseconds to answer): done.
constexpr int64_t kGoodBracket = 3000;
constexpr int64_t kGiveUpAfter = 5000000;    // the best bracket so far is taken then

// An aligned set-time that reached its recorder this long after the boundary
// (more than the commands before it took) is sent again at the next one.
constexpr int64_t kLateAfterBoundary = 8000;
constexpr int kSetAttempts = 3;

struct Reading {
    int64_t second = 0;  // the recorder's time, in seconds since 1970 (its local time read as the PC's)
    DeviceTime time{};
    int64_t before = 0;    // PC clock when the request went out
    int64_t after = 0;     // and when the answer was back
    int64_t midpoint = 0;  // halfway between
};

struct Probe {
    enum class Phase { First, Coarse, Fine, Done } phase = Phase::First;
    Reading last;
    int64_t nextPoll = 0;
    int64_t predicted = 0;      // the expected next change (Fine)
    int64_t coarseOffset = 0;   // the coarse measurement, if the close one misses
    // The closest pair of readings around a change so far (the system may
    // hold this process up for milliseconds between two readings).
    int64_t bestBracket = -1;   // -1: none yet
    int64_t quickestExchange = -1;
    int64_t bestOffset = 0;
    DeviceTime bestTick{};
};

}  // namespace

void setClocks(UsbScsiCmd* const* devices, int count, bool aligned, SetResult* results)
{
    if (!aligned) {
        for (int i = 0; i < count; ++i) {
            SetResult& r = results[i];
            r.sentAtMicros = pcclock::nowMicros();
            r.sent = pcclock::localTime(r.sentAtMicros);
            r.result = CmdSetTime(*devices[i], &r.sent);
        }
        return;
    }
    std::vector<int> pending;
    for (int i = 0; i < count; ++i)
        pending.push_back(i);
    for (int attempt = 1; !pending.empty(); ++attempt) {
        const int64_t boundary = pcclock::waitForNextSecond() / kMicrosPerSecond * kMicrosPerSecond;
        std::vector<int> late;
        int64_t transferring = 0;  // time this round spent in the earlier commands
        for (int i : pending) {
            SetResult& r = results[i];
            r.sentAtMicros = pcclock::nowMicros();
            r.sent = pcclock::localTime(r.sentAtMicros);
            r.result = CmdSetTime(*devices[i], &r.sent);
            const int64_t done = pcclock::nowMicros();
            // What the command waited beyond the commands before it: the
            // system was late to wake this process, or held it up.
            const int64_t delay = done - boundary - transferring;
            transferring += done - r.sentAtMicros;
            if (r.result == 1 && delay > kLateAfterBoundary && attempt < kSetAttempts)
                late.push_back(i);
        }
        pending = late;
    }
}

void measureOffsets(UsbScsiCmd* const* devices, int count, OffsetResult* results)
{
    std::vector<Probe> probes(static_cast<size_t>(count));
    const int64_t start = pcclock::nowMicros();
    int pending = count;

    auto finish = [&](int i, OffsetResult::Status status) {
        results[i].status = status;
        probes[static_cast<size_t>(i)].phase = Probe::Phase::Done;
        --pending;
    };

    while (pending > 0) {
        // The next device due, then wait for its moment.
        int due = -1;
        for (int i = 0; i < count; ++i) {
            const Probe& p = probes[static_cast<size_t>(i)];
            if (p.phase != Probe::Phase::Done && (due < 0 || p.nextPoll < probes[static_cast<size_t>(due)].nextPoll))
                due = i;
        }
        Probe& p = probes[static_cast<size_t>(due)];
        OffsetResult& r = results[due];
        pcclock::waitUntil(p.nextPoll);

        DeviceTime t{};
        const int64_t before = pcclock::nowMicros();
        r.getTimeResult = CmdGetTime(*devices[due], &t);
        const int64_t after = pcclock::nowMicros();
        if (r.getTimeResult == 0) {
            finish(due, OffsetResult::Status::TransferFailed);
            continue;
        }
        Reading now;
        if (r.getTimeResult != 1 || !pcclock::fromLocalTime(t, &now.second)) {
            finish(due, OffsetResult::Status::NotValid);
            continue;
        }
        now.time = t;
        now.before = before;
        now.after = after;
        now.midpoint = before + (after - before) / 2;
        if (p.quickestExchange < 0 || after - before < p.quickestExchange)
            p.quickestExchange = after - before;

        if (p.phase != Probe::Phase::First && now.second != p.last.second) {
            // The change happened between the two readings: take the middle.
            const int64_t instant = p.last.midpoint + (now.midpoint - p.last.midpoint) / 2;
            const int64_t offset = now.second * kMicrosPerSecond - instant;
            const int64_t bracket = now.after - p.last.before;
            if (p.phase == Probe::Phase::Coarse) {
                p.phase = Probe::Phase::Fine;
                p.coarseOffset = offset;
                p.predicted = instant + kMicrosPerSecond;
                p.last = now;
                // The next change lies within half the bracket of the prediction.
                p.nextPoll = p.predicted - kFineLead - bracket / 2;
                continue;
            }
            if (p.bestBracket < 0 || bracket < p.bestBracket) {
                p.bestBracket = bracket;
                p.bestOffset = offset;
                p.bestTick = now.time;
            }
            if (bracket > kGoodBracket + 2 * p.quickestExchange && after - start < kGiveUpAfter - kMicrosPerSecond) {
                // The readings lie too far apart: once more at the next
                // change, or from the start when even this one is unsure.
                p.last = now;
                if (bracket < kMicrosPerSecond / 4) {
                    p.predicted = instant + kMicrosPerSecond;
                    p.nextPoll = p.predicted - kFineLead - bracket / 2;
                } else {
                    p.phase = Probe::Phase::Coarse;
                    p.nextPoll = after + kCoarseInterval;
                }
                continue;
            }
            r.tick = p.bestTick;
            r.offsetMicros = p.bestOffset;
            finish(due, OffsetResult::Status::Measured);
            continue;
        }
        if (p.phase == Probe::Phase::First)
            p.phase = Probe::Phase::Coarse;
        p.last = now;
        if (p.phase == Probe::Phase::Fine && after > p.predicted + kFineLead + kFineWindow) {
            // The clock did not step where the coarse reading put it: look
            // for the change anew while there is time, else keep what there is.
            if (after - start < kGiveUpAfter - kMicrosPerSecond) {
                p.phase = Probe::Phase::Coarse;
                p.nextPoll = after + kCoarseInterval;
                continue;
            }
            r.tick = p.bestBracket >= 0 ? p.bestTick : now.time;
            r.offsetMicros = p.bestBracket >= 0 ? p.bestOffset : p.coarseOffset;
            finish(due, OffsetResult::Status::Measured);
            continue;
        }
        if (after - start > kGiveUpAfter) {
            if (p.bestBracket >= 0) {
                r.tick = p.bestTick;
                r.offsetMicros = p.bestOffset;
                finish(due, OffsetResult::Status::Measured);
            } else {
                finish(due, OffsetResult::Status::NotTicking);
            }
            continue;
        }
        p.nextPoll = after + (p.phase == Probe::Phase::Fine ? kFineInterval : kCoarseInterval);
    }
}

}  // namespace devclock
