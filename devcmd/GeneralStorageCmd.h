// The virtual interface of a vendor storage device, in slot order.
#pragma once

#include <cstdint>

class GeneralStorageCmd {
public:
    virtual int Open() = 0;
    virtual int WriteSectorStream(uint32_t count, const void* data) = 0;
    virtual int Command03() = 0;
    virtual int ReadByte(uint32_t address, uint8_t* out) = 0;
    virtual int WriteByte(uint32_t address, const uint8_t* value) = 0;
    virtual int ReadValue(int selector1, int selector2, int32_t* out) = 0;
    virtual int ReadSectors(uint32_t address, uint32_t count, void* data) = 0;
    virtual int WriteSectors(uint32_t address, uint32_t count, const void* data) = 0;
    virtual int Command09(uint32_t address) = 0;
    virtual int Command0A() = 0;
    virtual int Close() = 0;
    virtual int GetVariant() = 0;
    virtual int Command0D() = 0;
    virtual ~GeneralStorageCmd() = default;
};
