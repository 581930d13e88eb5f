#include "commands.h"

#include "device_clock.h"
#include "failure_text.h"
#include "inputs.h"
#include "management.h"

#include <cstring>

namespace kvcli {
namespace {

// The failure record is kept until the next failure: cleared before each
// command, it tells a refusal (nothing recorded) from a failed transfer.
void clearFailure(UsbScsiCmd& device) { device.noteFailure(TransferFailure()); }

bool transferFailed(const UsbScsiCmd& device)
{
    return device.lastFailure().reason != TransferFailure::Reason::None;
}

void failTransfer(Result& r, const UsbScsiCmd& device, const std::string& action)
{
    const FailureReport f = describeTransferFailure(device.lastFailure(), action);
    r.fail(f.status, f.sentence);
}

std::string signedMs(int64_t ms) { return (ms >= 0 ? "+" : "") + std::to_string(ms) + " ms"; }

int64_t roundedMs(int64_t micros) { return micros >= 0 ? (micros + 500) / 1000 : -((-micros + 500) / 1000); }

// Measures the clock offset of each recorder in `which`; one that could not be
// measured gets its failure in its result (`context` opens the sentence).
std::vector<devclock::OffsetResult> measure(std::vector<Recorder>& recorders, const std::vector<size_t>& which,
                                            std::vector<Result>& results, const std::string& context)
{
    std::vector<UsbScsiCmd*> devices;
    for (size_t i : which) {
        clearFailure(*recorders[i].device);
        devices.push_back(recorders[i].device.get());
    }
    std::vector<devclock::OffsetResult> offsets(which.size());
    devclock::measureOffsets(devices.data(), static_cast<int>(devices.size()), offsets.data());
    for (size_t k = 0; k < which.size(); ++k) {
        Result& r = results[which[k]];
        const devclock::OffsetResult& o = offsets[k];
        switch (o.status) {
        case devclock::OffsetResult::Status::Measured:
            break;
        case devclock::OffsetResult::Status::TransferFailed:
            // Status byte 0 reads as a failed transfer; the failure record tells them apart.
            if (transferFailed(*devices[k])) {
                failTransfer(r, *devices[k], context + "reading the clock");
                break;
            }
            [[fallthrough]];
        case devclock::OffsetResult::Status::NotValid:
            r.fail(kDeviceError, context + "the recorder gave no valid time (status " + std::to_string(o.getTimeResult) +
                                     "); set its clock with `korvane-cli time sync`.");
            break;
        case devclock::OffsetResult::Status::NotTicking:
            r.fail(kDeviceError, context + "the recorder's clock is not running steadily (its second did not change "
                                           "as a clock's does within five seconds); restart the recorder and try again.");
            break;
        }
    }
    return offsets;
}

void timeGet(Recorder& rec, Result& r)
{
    DeviceTime t{};
    clearFailure(*rec.device);
    const int got = CmdGetTime(*rec.device, &t);
    if (got == 0 && transferFailed(*rec.device))
        return failTransfer(r, *rec.device, "reading the clock");
    if (got != 1)
        return r.fail(kDeviceError, "the recorder gave no valid time (status " + std::to_string(got) +
                                        "); set its clock with `korvane-cli time sync`.");
    r.fields["time"] = formatTime(t);
    r.line = formatTime(t, ' ');
}

void idGet(Recorder& rec, Result& r)
{
    char bytes[kPoliceNumberBufferSize] = {};
    clearFailure(*rec.device);
    const int got = CmdGetID(*rec.device, bytes);
    if (got == 0 && transferFailed(*rec.device))
        return failTransfer(r, *rec.device, "reading the police number");
    if (got != 1)
        return r.fail(kDeviceError, "the recorder gave no police number (status " + std::to_string(got) + "); try again.");
    std::string text, hex;
    const bool isText = policeNumberText(bytes, &text, &hex);
    r.fields["id"] = isText ? nlohmann::ordered_json(text) : nlohmann::ordered_json();
    r.fields["id_hex"] = hex;
    const std::string shown = isText ? (text.empty() ? std::string("(none)") : text) : "(not GBK text: " + hex + ")";
    r.line += (r.line.empty() ? "" : "  ") + std::string("police number ") + shown;
}

void idSet(Recorder& rec, const CommandInput& in, const Options& o, Result& r)
{
    clearFailure(*rec.device);
    if (!CmdSetID(*rec.device, in.policeNumber)) {
        if (transferFailed(*rec.device))
            return failTransfer(r, *rec.device, "writing the police number");
        return r.fail(kRefused, "the recorder refused the police number.");
    }
    std::string text, hex;
    policeNumberText(in.policeNumber, &text, &hex);
    r.fields["id"] = o.idText;
    r.fields["id_hex"] = hex;
    r.line = "police number set to " + o.idText;
}

void timeSet(Recorder& rec, const CommandInput& in, Result& r)
{
    clearFailure(*rec.device);
    if (!CmdSetTime(*rec.device, &in.time)) {
        if (transferFailed(*rec.device))
            return failTransfer(r, *rec.device, "setting the clock");
        return r.fail(kRefused, "the recorder refused the time " + formatTime(in.time, ' ') + ".");
    }
    r.fields["time"] = formatTime(in.time);
    r.line = "clock set to " + formatTime(in.time, ' ');
}

// All clocks at one second boundary, then every offset measured together.
void timeSync(std::vector<Recorder>& recorders, const std::vector<size_t>& which, bool aligned,
              std::vector<Result>& results)
{
    std::vector<UsbScsiCmd*> devices;
    for (size_t i : which) {
        clearFailure(*recorders[i].device);
        devices.push_back(recorders[i].device.get());
    }
    std::vector<devclock::SetResult> sets(which.size());
    devclock::setClocks(devices.data(), static_cast<int>(devices.size()), aligned, sets.data());
    std::vector<size_t> taken;
    for (size_t k = 0; k < which.size(); ++k) {
        Result& r = results[which[k]];
        if (!sets[k].result) {
            if (transferFailed(*devices[k]))
                failTransfer(r, *devices[k], "setting the clock");
            else
                r.fail(kRefused, "the recorder refused the time " + formatTime(sets[k].sent, ' ') + ".");
            continue;
        }
        r.fields["time"] = formatTime(sets[k].sent);
        r.fields["aligned"] = aligned;
        taken.push_back(which[k]);
    }
    const std::vector<devclock::OffsetResult> offsets =
        measure(recorders, taken, results, "the clock was set, but ");
    for (size_t k = 0; k < taken.size(); ++k) {
        Result& r = results[taken[k]];
        if (!r.ok())
            continue;
        r.fields["offset_ms"] = roundedMs(offsets[k].offsetMicros);
    }
    // Each line names the time sent to its own recorder.
    for (size_t k = 0; k < which.size(); ++k) {
        Result& r = results[which[k]];
        if (r.ok())
            r.line = "clock set to " + formatTime(sets[k].sent, ' ') +
                     (aligned ? " at the second boundary" : " at once") + ", offset " +
                     signedMs(r.fields["offset_ms"].get<int64_t>());
    }
}

void timeCheckOrStatus(std::vector<Recorder>& recorders, const std::vector<size_t>& which, bool status,
                       std::vector<Result>& results)
{
    const std::vector<devclock::OffsetResult> offsets = measure(recorders, which, results, "");
    for (size_t k = 0; k < which.size(); ++k) {
        Result& r = results[which[k]];
        if (!r.ok())
            continue;
        const int64_t ms = roundedMs(offsets[k].offsetMicros);
        r.fields["time"] = formatTime(offsets[k].tick);
        r.fields["offset_ms"] = ms;
        r.line = status ? formatTime(offsets[k].tick, ' ') + "  offset " + signedMs(ms)
                        : "offset " + signedMs(ms) + " (recorder at " + formatTime(offsets[k].tick, ' ') + ")";
        if (status)
            idGet(recorders[which[k]], r);
    }
}

}  // namespace

void logIn(std::vector<Recorder>& recorders, const std::string& password, std::vector<Result>& results,
           std::vector<size_t>* loggedIn)
{
    for (size_t i = 0; i < recorders.size(); ++i) {
        char bytes[kPasswordLength + 1];
        passwordBytes(password, bytes);
        UsbScsiCmd& device = *recorders[i].device;
        clearFailure(device);
        if (CmdLogin(device, bytes)) {
            loggedIn->push_back(i);
        } else if (transferFailed(device)) {
            failTransfer(results[i], device, "logging in");
        } else {
            results[i].fail(kRefused, "the recorder refused the password; check it and try again.");
        }
        std::memset(bytes, 0, sizeof bytes);
    }
}

void runCommand(const Options& o, const CommandInput& in, std::vector<Recorder>& recorders,
                const std::vector<size_t>& which, std::vector<Result>& results)
{
    switch (o.command) {
    case Command::TimeSync:
        return timeSync(recorders, which, !o.noAlign, results);
    case Command::TimeCheck:
        return timeCheckOrStatus(recorders, which, false, results);
    case Command::Status:
        return timeCheckOrStatus(recorders, which, true, results);
    default:
        break;
    }
    for (size_t i : which) {
        Recorder& rec = recorders[i];
        Result& r = results[i];
        switch (o.command) {
        case Command::TimeGet:
            timeGet(rec, r);
            break;
        case Command::TimeSet:
            timeSet(rec, in, r);
            break;
        case Command::IdGet:
            idGet(rec, r);
            break;
        case Command::IdSet:
            idSet(rec, in, o, r);
            break;
        case Command::PasswordChange: {
            char bytes[kPasswordLength + 1];
            passwordBytes(in.newPassword, bytes);
            clearFailure(*rec.device);
            if (!CmdSetPassword(*rec.device, bytes))
                failTransfer(r, *rec.device, "setting the password");
            else
                r.line = "password changed";
            std::memset(bytes, 0, sizeof bytes);
            break;
        }
        case Command::UDisk:
            clearFailure(*rec.device);
            if (!CmdIntoUDiskMode(*rec.device))
                failTransfer(r, *rec.device, "switching to USB-disk mode");
            else
                r.line = "switched to USB-disk mode";
            break;
        default:
            break;
        }
    }
}

}  // namespace kvcli
