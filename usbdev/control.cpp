#include "control.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace usbdev {

ControlDir::ControlDir(std::string dir, ScsiDisk& disk) : m_dir(std::move(dir)), m_disk(disk) {}

ControlDir::~ControlDir()
{
    if (m_log)
        std::fclose(m_log);
}

bool ControlDir::open(std::string* error)
{
    if (::mkdir(m_dir.c_str(), 0755) != 0 && errno != EEXIST) {
        *error = m_dir + ": " + std::strerror(errno);
        return false;
    }
    m_log = std::fopen((m_dir + "/log").c_str(), "a");
    const std::string fifo = m_dir + "/ctl";
    ::unlink(fifo.c_str());
    if (!m_log || ::mkfifo(fifo.c_str(), 0600) != 0) {
        *error = m_dir + ": " + std::strerror(errno);
        return false;
    }
    writeState();
    return true;
}

void ControlDir::log(const std::string& line)
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::lock_guard<std::mutex> lock(m_logMutex);
    if (!m_log)
        return;
    std::fprintf(m_log, "t=%lld.%03ld %s\n", static_cast<long long>(ts.tv_sec), ts.tv_nsec / 1000000,
                 line.c_str());
    std::fflush(m_log);
}

void ControlDir::writeState()
{
    const std::string text = m_disk.stateText();
    const std::string tmp = m_dir + "/state.tmp";
    std::FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f)
        return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    std::rename(tmp.c_str(), (m_dir + "/state").c_str());
}

bool ControlDir::apply(const std::string& line, std::string* error)
{
    if (line.rfind("fault ", 0) == 0) {
        Fault f;
        if (!parseFault(line.substr(6), &f, error))
            return false;
        m_disk.addFault(f);
    } else if (line == "clear-faults") {
        m_disk.clearFaults();
    } else if (line == "power-on-attention") {
        m_disk.armPowerOnAttention();
    } else if (line == "reset-recorder") {
        m_disk.resetRecorder();
    } else if (line.rfind("set-clock ", 0) == 0) {
        DeviceTime t{};
        unsigned v[6];
        if (std::sscanf(line.c_str() + 10, "%u-%u-%u %u:%u:%u", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 6) {
            *error = "set-clock wants YYYY-MM-DD hh:mm:ss";
            return false;
        }
        t = {uint16_t(v[0]), uint16_t(v[1]), uint16_t(v[2]), uint16_t(v[3]), uint16_t(v[4]), uint16_t(v[5])};
        m_disk.setClock(t);
    } else if (line == "unplug" || line == "plug") {
        const auto& action = line == "unplug" ? unplug : plug;
        if (!action || !action()) {
            *error = line + " failed";
            return false;
        }
    } else {
        *error = "unknown instruction";
        return false;
    }
    writeState();
    return true;
}

void ControlDir::serveFifo()
{
    // Opened for writing too, so that the FIFO never reads end-of-file.
    const int fd = ::open((m_dir + "/ctl").c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return;
    std::string pending;
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(buffer, size_t(n));
        for (size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, eol);
            pending.erase(0, eol + 1);
            if (line.empty())
                continue;
            std::string error;
            log("ctl " + line + ": " + (apply(line, &error) ? std::string("ok") : error));
        }
    }
    ::close(fd);
}

}  // namespace usbdev
