#include "recorders.h"

#include "failure_text.h"

namespace kvcli {
namespace {

// Opens one path; a recorder joins `out`, a denied open or probe is noted.
bool tryPath(const std::string& path, Discovery& out, Environment* traceEnv)
{
    auto device = std::make_unique<UsbScsiCmd>();
    std::unique_ptr<TraceTarget> trace;
    if (traceEnv != nullptr) {
        trace = std::make_unique<TraceTarget>();
        trace->env = traceEnv;
        trace->where = whereOf(path);
        device->setObserver(traceRequest, trace.get());
    }
    if (device->OpenPath(path.c_str())) {
        out.found.push_back(Recorder{path, whereOf(path), std::move(device), std::move(trace)});
        return true;
    }
    const TransferFailure& f = device->lastFailure();
    if (f.reason == TransferFailure::Reason::SystemCall && isPermissionError(f.osError)) {
        out.denied = true;
        out.deniedError = f.osError;
    }
    device->Close();
    return false;
}

}  // namespace

std::string whereOf(const std::string& path)
{
    if (path.size() == 6 && path.compare(0, 4, "\\\\.\\") == 0 && path[5] == ':')
        return path.substr(4);
    return path;
}

bool drivePath(const std::string& drive, std::string* path)
{
    if (drive.empty() || drive.size() > 3)
        return false;
    char letter = drive[0];
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z')
        return false;
    if (drive.size() >= 2 && drive[1] != ':')
        return false;
    if (drive.size() == 3 && drive[2] != '\\' && drive[2] != '/')
        return false;
    *path = std::string("\\\\.\\") + letter + ":";
    return true;
}

Discovery discover(const Selector& selector, const std::string& namedPath, Environment* trace)
{
    Discovery out;
    if (selector.kind == Selector::Kind::Drive || selector.kind == Selector::Kind::Device) {
        tryPath(namedPath, out, trace);
        return out;
    }
    CandidatePaths candidates;
    ListCandidatePaths(candidates);
    for (int i = 0; i < candidates.count; ++i) {
        if (tryPath(candidates.path[i], out, trace) && selector.kind == Selector::Kind::First)
            break;
    }
    // Access to some drive was denied, but a recorder was found elsewhere: that is no failure.
    if (!out.found.empty())
        out.denied = false;
    return out;
}

void closeAll(std::vector<Recorder>& recorders)
{
    for (Recorder& r : recorders)
        r.device->Close();
}

}  // namespace kvcli
