// The call log of the simulated recorder (KORVANE_SIM_LOG): one line per
// platform call of the program under test.
#pragma once

#include <string>
#include <vector>

namespace e2e {

struct SimCall {
    enum class Kind { Create, Ioctl, Close, Other } kind = Kind::Other;
    char letter = 0;       // drive letter, '?' for a handle the stack does not know
    bool succeeded = false;
    std::string cdb;       // Ioctl: the 16 command bytes
    int scsiStatus = -1;   // Ioctl carried out: the SCSI status written back, else -1
    int delivered = -1;    // Ioctl carried out: data bytes the answer held, else -1
    std::string line;      // as written
};

// A vendor management command (operation 0xFE) that reached the recorder.
struct ManagementCommand {
    int subOperation = 0;  // command byte 4
    std::string arguments; // command bytes 5 to 11
    bool completed = false;  // the call succeeded (also when the command was refused)
    int scsiStatus = -1;     // as SimCall
    int delivered = -1;
};

class SimLog {
public:
    // Reads the whole log as it stands (the program may still be writing it).
    // False when the file cannot be read.
    bool read(const std::wstring& path);

    const std::vector<SimCall>& calls() const { return m_calls; }
    size_t ioctlCount() const;
    // Management commands among the calls from index `from` on.
    std::vector<ManagementCommand> management(size_t from = 0) const;
    // Handles that were opened and not closed: one entry per open handle, its
    // drive letter.
    std::string openHandles() const;

private:
    std::vector<SimCall> m_calls;
};

// "07 41 42 ..." style rendering of sub-operation and arguments, for messages.
std::string describe(const std::vector<ManagementCommand>& commands);

}  // namespace e2e
