// Device commands never touch the heap: every request record and buffer is a
// local of the call. The simulated stack itself allocates (it keeps a log), so
// counting pauses while a call is inside it.
#include "management.h"
#include "sim_fixture.h"

#include <cstdlib>
#include <new>

namespace {

thread_local bool t_counting = false;
thread_local int t_allocations = 0;

// Forwards to the simulated stack with counting paused.
class Uncounted : public plat::Backend {
public:
    explicit Uncounted(sim::StorageStack& s) : m_stack(s) {}

    HANDLE createFile(const char* p, DWORD a, DWORD s, void* sa, DWORD d, DWORD f, HANDLE t) override
    {
        Pause pause;
        return m_stack.createFile(p, a, s, sa, d, f, t);
    }
    BOOL deviceIoControl(HANDLE h, DWORD c, void* i, DWORD is, void* o, DWORD os, DWORD* r, void* ov) override
    {
        Pause pause;
        return m_stack.deviceIoControl(h, c, i, is, o, os, r, ov);
    }
    BOOL closeHandle(HANDLE h) override
    {
        Pause pause;
        return m_stack.closeHandle(h);
    }
    DWORD lastError() override
    {
        Pause pause;
        return m_stack.lastError();
    }

private:
    struct Pause {
        bool was = t_counting;
        Pause() { t_counting = false; }
        ~Pause() { t_counting = was; }
    };
    sim::StorageStack& m_stack;
};

template <typename F>
int allocationsDuring(F f)
{
    t_allocations = 0;
    t_counting = true;
    f();
    t_counting = false;
    return t_allocations;
}

}  // namespace

void* operator new(std::size_t n)
{
    if (t_counting)
        ++t_allocations;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    std::abort();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(NoHeap, TheCounterSeesAnAllocation)
{
    EXPECT_EQ(allocationsDuring([] {
                  int* volatile p = new int(1);  // volatile: the pair may not be elided
                  delete p;
              }),
              1);
}

TEST(NoHeap, DeviceCommandsAllocateNothing)
{
    sim::StorageStack stack;
    stack.attachDisk('D');
    stack.attachRecorder('H');
    // The resend after UNIT ATTENTION reuses the request record.
    stack.answerCheckCondition(sim::CommandSelector::management(0x07), sim::kUnitAttention, 1);
    stack.answerCheckCondition(sim::CommandSelector::vendorOperation(0x03), sim::kUnitAttention, 1);
    Uncounted backend(stack);
    plat::setBackend(&backend);

    UsbScsiCmd device;
    const int n = allocationsDuring([&] {
        char pw[7] = "000000";
        DeviceTime t{2013, 12, 31, 23, 59, 58};
        char id[14];
        int32_t value;
        uint8_t byte = 1;
        static uint8_t sectors[130 * 512];
        EXPECT_EQ(device.Open(), 1);
        CmdLogin(device, UppercasePassword(pw));
        CmdSetPassword(device, pw);
        CmdSetTime(device, &t);
        CmdGetTime(device, &t);
        CmdSetID(device, "1234567890123");
        CmdGetID(device, id);
        CmdIntoUDiskMode(device);
        device.WriteSectorStream(130, sectors);
        device.Command03();
        device.ReadByte(1, &byte);
        device.WriteByte(1, &byte);
        device.ReadValue(1, 2, &value);
        device.ReadSectors(0, 128, sectors);
        device.WriteSectors(0, 2, sectors);
        device.Command09(0);
        device.Command0A();
        device.Command0D();
        device.Close();
    });
    plat::setBackend(nullptr);
    EXPECT_EQ(n, 0);
    EXPECT_GT(stack.vendorCalls().size(), 15u);
}

}  // namespace
