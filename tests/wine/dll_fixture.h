// A freshly loaded RKM51DLL with a fresh simulated storage stack behind its
// kernel32 imports, for one test.
#pragma once

#include "rkm51_module.h"
#include "sim_imports.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// Sizes and offsets of the request records as they must reach the storage
// stack: the published SCSI_PASS_THROUGH headers of this process's bitness,
// the 32-byte sense area after them, the data area after that.
struct RecordLayout {
    int bits;
    DWORD header;  // header size, Length, and the input size of a buffered request
    DWORD sense;   // offset of the sense area
    DWORD data;    // offset of the data area
};
constexpr RecordLayout kLayout = sizeof(void*) == 8 ? RecordLayout{64, 56, 56, 88}
                                                    : RecordLayout{32, 44, 48, 80};

class DllTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Every test starts from a library just loaded: the device object has no handle.
        ASSERT_EQ(GetModuleHandleA("RKM51DLL.dll"), nullptr) << "RKM51DLL stayed loaded after the last test";
        std::string error;
        ASSERT_TRUE(module.load(rkm51Path(), &error)) << error;
        ASSERT_TRUE(imports.attach(module.handle(), &stack))
            << "RKM51DLL does not import CreateFileA, DeviceIoControl, CloseHandle and GetLastError from kernel32";
    }

    void TearDown() override
    {
        imports.detach();
        module.unload();
    }

    const Rkm51Functions& dll() const { return module.fn(); }

    std::vector<sim::Call> callsOf(sim::Call::Kind kind) const { return stack.callsOf(kind); }
    std::vector<sim::Call> ioctls() const { return callsOf(sim::Call::Kind::DeviceIoControl); }
    size_t lastErrorReads() const { return callsOf(sim::Call::Kind::GetLastError).size(); }

    // The letters CreateFileA was asked to open, in order ("DEFG").
    std::string askedLetters() const
    {
        std::string s;
        for (const sim::Call& c : callsOf(sim::Call::Kind::CreateFile))
            s += c.path.size() == 6 ? c.path[4] : '?';
        return s;
    }
    // The letters whose handles were closed, in order.
    std::string closedLetters() const
    {
        std::string s;
        for (const sim::Call& c : callsOf(sim::Call::Kind::CloseHandle))
            s += c.letter ? c.letter : '?';
        return s;
    }

    // Connects to a recorder at `letter` behind a disk at D and clears the
    // log; returns the recorder and leaves its handle in `kept`.
    sim::Recorder& connectRecorder(char letter = 'F')
    {
        stack.attachDisk('D');
        sim::Recorder& r = stack.attachRecorder(letter);
        EXPECT_EQ(dll().CConnectDV(), 1);
        const std::vector<sim::Call> created = callsOf(sim::Call::Kind::CreateFile);
        kept = created.empty() ? nullptr : created.back().handle;
        stack.clearLog();
        return r;
    }

    sim::StorageStack stack;
    Rkm51Module module;
    SimImports imports;
    HANDLE kept = nullptr;
};

// Checks one buffered data-in request: control code, sizes, every header field
// the library sets, and the record layout of this bitness.
void expectDataInRequest(const sim::Call& call, uint32_t length, uint8_t cdbLength = 16);

// Bytes `from`..`to` of a request's command block.
std::vector<uint8_t> cdbBytes(const sim::Call& call, int from, int to);
std::vector<uint8_t> bytesOf(std::initializer_list<int> list);
