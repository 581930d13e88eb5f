// FunctionFS: the descriptors and strings written to ep0, the class requests
// that arrive there, and the two bulk endpoint files.
#pragma once

#include "session.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace usbdev {

// The blob written to ep0 first: full- and high-speed descriptors of one
// interface, class 08 (mass storage), subclass 06 (SCSI), protocol 50 (bulk
// only), bulk-in then bulk-out endpoint.
std::vector<uint8_t> functionDescriptors();
// The blob written to ep0 second: the interface's name in US English.
std::vector<uint8_t> functionStrings();

// The control endpoint: events from the gadget core and the two class
// requests of Bulk-Only Transport (Get Max LUN, Mass Storage Reset).
class Ep0 {
public:
    explicit Ep0(int fd) : m_fd(fd) {}
    // Handles events until the file fails or ends; run on a thread of its own.
    void run();

    // Mass Storage Resets and bus resets (the function disabled) so far.
    std::atomic<unsigned> resets{0};
    std::atomic<bool> enabled{false};

private:
    void setup(const uint8_t* request);
    int m_fd;
};

// The bulk endpoint files ep1 (in) and ep2 (out).
class FfsPipe : public BulkPipe {
public:
    FfsPipe(int in, int out) : m_in(in), m_out(out) {}
    long readOut(uint8_t* buffer, size_t size) override;
    long writeIn(const uint8_t* data, size_t size) override;
    void haltIn() override;

private:
    int m_in;
    int m_out;
};

// Mounts FunctionFS instance `name` at `dir`, writes the descriptors and
// strings and opens the endpoint files.
struct FfsFiles {
    int ep0 = -1, in = -1, out = -1;
};
bool openFunctionFs(const std::string& name, const std::string& dir, FfsFiles* files, std::string* error);

}  // namespace usbdev
