// The configfs gadget around our FunctionFS function: one configuration, one
// mass-storage interface, bound to a USB device controller (UDC).
#pragma once

#include <string>

namespace usbdev {

struct GadgetConfig {
    std::string name = "korvane0";     // gadget and FunctionFS instance name
    std::string udc = "dummy_udc.0";   // controller to bind to
    std::string configfs = "/sys/kernel/config/usb_gadget";
    std::string vendorId = "0x1d6b";
    std::string productId = "0x0104";
    std::string serial = "KV0000000001";
    std::string manufacturer = "korvane";
    std::string product = "Recorder";
};

// Makes the gadget's configfs tree with a FunctionFS function in it.
bool createGadget(const GadgetConfig& c, std::string* error);
// Writes the controller's name to the gadget's UDC file (attach), or an
// empty line (detach: the host sees the device unplugged).
bool bindUdc(const GadgetConfig& c, std::string* error);
bool unbindUdc(const GadgetConfig& c, std::string* error);
// Takes the configfs tree down again, as far as it goes.
void removeGadget(const GadgetConfig& c);

}  // namespace usbdev
