#include "gadget.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace usbdev {
namespace {

bool writeFile(const std::string& path, const std::string& text, std::string* error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    const ssize_t n = ::write(fd, text.data(), text.size());
    const int saved = errno;
    ::close(fd);
    if (n != ssize_t(text.size())) {
        *error = path + ": " + std::strerror(saved);
        return false;
    }
    return true;
}

bool makeDir(const std::string& path, std::string* error)
{
    if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST)
        return true;
    *error = path + ": " + std::strerror(errno);
    return false;
}

std::string root(const GadgetConfig& c) { return c.configfs + "/" + c.name; }

}  // namespace

bool createGadget(const GadgetConfig& c, std::string* error)
{
    const std::string g = root(c);
    const std::string function = g + "/functions/ffs." + c.name;
    const std::string config = g + "/configs/c.1";
    if (!makeDir(g, error) || !writeFile(g + "/idVendor", c.vendorId, error) ||
        !writeFile(g + "/idProduct", c.productId, error) || !writeFile(g + "/bcdDevice", "0x0100", error) ||
        !writeFile(g + "/bcdUSB", "0x0200", error) || !makeDir(g + "/strings/0x409", error) ||
        !writeFile(g + "/strings/0x409/serialnumber", c.serial, error) ||
        !writeFile(g + "/strings/0x409/manufacturer", c.manufacturer, error) ||
        !writeFile(g + "/strings/0x409/product", c.product, error) || !makeDir(function, error) ||
        !makeDir(config, error) || !makeDir(config + "/strings/0x409", error) ||
        !writeFile(config + "/strings/0x409/configuration", "mass storage", error) ||
        !writeFile(config + "/MaxPower", "100", error))
        return false;
    const std::string link = config + "/ffs." + c.name;
    if (::symlink(function.c_str(), link.c_str()) != 0 && errno != EEXIST) {
        *error = link + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool bindUdc(const GadgetConfig& c, std::string* error) { return writeFile(root(c) + "/UDC", c.udc, error); }

bool unbindUdc(const GadgetConfig& c, std::string* error) { return writeFile(root(c) + "/UDC", "\n", error); }

void removeGadget(const GadgetConfig& c)
{
    const std::string g = root(c);
    ::unlink((g + "/configs/c.1/ffs." + c.name).c_str());
    ::rmdir((g + "/configs/c.1/strings/0x409").c_str());
    ::rmdir((g + "/configs/c.1").c_str());
    ::rmdir((g + "/functions/ffs." + c.name).c_str());
    ::rmdir((g + "/strings/0x409").c_str());
    ::rmdir(g.c_str());
}

}  // namespace usbdev
