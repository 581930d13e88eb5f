// Closes a device object's volume handle when a scope ends, whatever the
// outcome, so that Windows can safely remove the recorder.
#pragma once

#include "UsbScsiCmd.h"

class DeviceSession {
public:
    explicit DeviceSession(UsbScsiCmd& device) : m_device(device) {}
    ~DeviceSession() { m_device.Close(); }
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

private:
    UsbScsiCmd& m_device;
};
