// usbdev: makes this machine's USB device controller act as the recorder.
//
//   usbdev [--name N] [--udc UDC] [--dir DIR] [--image FILE] [--blocks N]
//          [--variant 1|2] [--password XXXXXX] [--serial S]
//          [--fault "WORDS"]... [--unit-attention-at-attach]
//
// Builds a configfs gadget with one FunctionFS mass-storage function, binds
// it to the controller and serves Bulk-Only Transport until SIGTERM/SIGINT.
// DIR (default /run/usbdev/N) holds `state`, `log`, `ctl` (see control.h)
// and `ready` once the device is bound.
#include "control.h"
#include "fat_image.h"
#include "functionfs.h"
#include "gadget.h"
#include "scsi_disk.h"
#include "session.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<bool> g_stop{false};

void onSignal(int) { g_stop = true; }

int usage()
{
    std::fprintf(stderr,
                 "usage: usbdev [--name N] [--udc UDC] [--dir DIR] [--image FILE] [--blocks N]\n"
                 "              [--variant 1|2] [--password XXXXXX] [--serial S]\n"
                 "              [--fault \"WORDS\"]... [--unit-attention-at-attach]\n");
    return 2;
}

// The image in `path`; a file that does not exist yet (or is empty) gets a
// freshly formatted one, as the file then receives only the blocks that
// change. Anything else that is no image is left alone: false.
bool loadImage(const std::string& path, uint32_t blocks, std::vector<uint8_t>* image)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() >= 64 * 512 && bytes.size() % 512 == 0) {
        *image = std::move(bytes);
        return true;
    }
    if (!bytes.empty()) {
        std::fprintf(stderr, "usbdev: %s is no disk image (%zu bytes); not touching it\n", path.c_str(), bytes.size());
        return false;
    }
    *image = usbdev::makeFatImage(blocks);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image->data()), std::streamsize(image->size()));
    if (!out) {
        std::fprintf(stderr, "usbdev: could not write the image to %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    usbdev::GadgetConfig gadget;
    std::string dir, imagePath;
    uint32_t blocks = 8192;
    int variant = 1;
    std::string password;
    std::vector<usbdev::Fault> faults;
    bool attentionAtAttach = false;

    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--unit-attention-at-attach")
            attentionAtAttach = true;
        else if (!hasValue)
            return usage();
        else if (a == "--name")
            gadget.name = argv[++i];
        else if (a == "--udc")
            gadget.udc = argv[++i];
        else if (a == "--dir")
            dir = argv[++i];
        else if (a == "--image")
            imagePath = argv[++i];
        else if (a == "--blocks")
            blocks = uint32_t(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--variant")
            variant = std::atoi(argv[++i]);
        else if (a == "--password")
            password = argv[++i];
        else if (a == "--serial")
            gadget.serial = argv[++i];
        else if (a == "--fault") {
            usbdev::Fault f;
            std::string error;
            if (!usbdev::parseFault(argv[++i], &f, &error)) {
                std::fprintf(stderr, "usbdev: %s\n", error.c_str());
                return 2;
            }
            faults.push_back(f);
        } else
            return usage();
    }
    if (password.size() > 6 || (variant != 1 && variant != 2))
        return usage();
    if (dir.empty()) {
        ::mkdir("/run/usbdev", 0755);
        dir = "/run/usbdev/" + gadget.name;
    }

    sim::Recorder recorder;
    recorder.setVariant(variant);
    if (!password.empty()) {
        recorder.password.fill(0);
        std::memcpy(recorder.password.data(), password.data(), password.size());
    }
    std::vector<uint8_t> image;
    if (imagePath.empty())
        image = usbdev::makeFatImage(blocks);
    else if (!loadImage(imagePath, blocks, &image))
        return 1;
    usbdev::ScsiDisk disk(recorder, std::move(image));
    for (const auto& f : faults)
        disk.addFault(f);
    if (attentionAtAttach)
        disk.armPowerOnAttention();
    if (!imagePath.empty()) {
        disk.onWrite = [imagePath](const std::vector<uint8_t>& image, uint32_t first, uint32_t count) {
            const int fd = ::open(imagePath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0)
                return;
            if (::pwrite(fd, image.data() + size_t(first) * 512, size_t(count) * 512, off_t(first) * 512) < 0)
                std::perror("usbdev: image");
            ::close(fd);
        };
    }

    usbdev::ControlDir control(dir, disk);
    std::string error;
    if (!control.open(&error)) {
        std::fprintf(stderr, "usbdev: %s\n", error.c_str());
        return 1;
    }

    struct sigaction sa {};
    sa.sa_handler = onSignal;  // no SA_RESTART: blocked endpoint reads return
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    usbdev::FfsFiles files;
    const std::string ffsDir = dir + "/ffs";
    if (!usbdev::createGadget(gadget, &error) || !usbdev::openFunctionFs(gadget.name, ffsDir, &files, &error)) {
        std::fprintf(stderr, "usbdev: %s\n", error.c_str());
        ::umount2(ffsDir.c_str(), MNT_DETACH);
        usbdev::removeGadget(gadget);
        return 1;
    }

    usbdev::Ep0 ep0(files.ep0);
    std::thread(&usbdev::Ep0::run, &ep0).detach();
    control.unplug = [&] {
        std::string e;
        return usbdev::unbindUdc(gadget, &e);
    };
    control.plug = [&] {
        std::string e;
        return usbdev::bindUdc(gadget, &e);
    };
    std::thread(&usbdev::ControlDir::serveFifo, &control).detach();

    if (!usbdev::bindUdc(gadget, &error)) {
        std::fprintf(stderr, "usbdev: %s\n", error.c_str());
        ::umount2(ffsDir.c_str(), MNT_DETACH);
        usbdev::removeGadget(gadget);
        return 1;
    }
    control.log("bound to " + gadget.udc);
    if (FILE* ready = std::fopen((dir + "/ready").c_str(), "w"))
        std::fclose(ready);

    usbdev::FfsPipe pipe(files.in, files.out);
    usbdev::Session session(pipe, disk, ep0.resets);
    session.onLog = [&](const std::string& line) { control.log(line); };
    session.onStateChanged = [&] { control.writeState(); };
    session.onUnplug = [&] {
        control.log("unplugged by fault");
        control.unplug();
    };
    while (!g_stop) {
        if (!session.serveOne() && !g_stop) {
            // The endpoints went away (reset, unplug): wait for them to return.
            ::usleep(20000);
        }
    }

    control.log("stopping");
    usbdev::unbindUdc(gadget, &error);
    ::close(files.in);
    ::close(files.out);
    ::umount2(ffsDir.c_str(), MNT_DETACH);
    usbdev::removeGadget(gadget);
    return 0;
}
