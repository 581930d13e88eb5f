// Discovery of the recorder among the platform's volumes, and the handle's lifetime.
#include "UsbScsiCmd.h"
#include "requests.h"

#include <cstring>

namespace {

constexpr uint32_t kProbeLength = 16;
constexpr uint8_t kProbeFill = 0x33;

// Variant 1 answers 0xAA 0x55 in bytes 0 and 1, variant 2 "AIT" in bytes 9 to 11.
// The tests run in this order; a failed transfer never counts.
int probeVariant(const uint8_t* data, int transferred)
{
    if (data[0] == 0xAA && data[1] == 0x55)
        return transferred == 1 ? 1 : 0;
    if (transferred == 1 && data[9] == 0x41 && data[10] == 0x49 && data[11] == 0x54)
        return 2;
    return 0;
}

}  // namespace

int UsbScsiCmd::Open()
{
    PlatformVolumes volumes;
    return OpenFrom(volumes);
}

int UsbScsiCmd::OpenPath(const char* path)
{
    SingleVolume volume(path);
    return OpenFrom(volume);
}

int UsbScsiCmd::OpenFrom(VolumeSource& volumes)
{
    m_variant = 0;
    m_lastFailure = TransferFailure();
    // A handle from an earlier successful Open would otherwise be lost.
    Close();

    PassThroughRequest request;
    VolumePath path;
    while (volumes.next(path)) {
        HANDLE h = plat::CreateFileA(path.text, GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     0, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (volumes.keepsOpenError()) {
                m_lastFailure = TransferFailure();
                m_lastFailure.reason = TransferFailure::Reason::SystemCall;
                m_lastFailure.osError = plat::GetLastError();
            }
            continue;
        }

        // The answer to INQUIRY is not examined; some drives only answer the
        // vendor probe after it.
        fillInquiryRequest(request);
        SendInquiry(&request, h, this);

        // The probe travels through the object, so the handle goes in first.
        m_handle = h;
        std::memset(&request, 0, sizeof request);
        request.data[0] = kProbeFill;
        request.header.Cdb[0] = vendor::kSignature[0];
        request.header.Cdb[1] = vendor::kSignature[1];
        request.header.Cdb[2] = vendor::kSignature[2];
        request.header.Cdb[3] = vendor::kOpProbe;
        const int transferred = SendPassThrough(&request, kProbeLength, this);

        const int variant = probeVariant(request.data, transferred);
        if (variant != 0) {
            m_variant = variant;
            // The refusals of the drives tried before are no failure of the recorder.
            m_lastFailure = TransferFailure();
            return 1;
        }
        plat::CloseHandle(h);
        m_handle = nullptr;
    }
    m_handle = nullptr;
    return 0;
}

int UsbScsiCmd::Close()
{
    if (m_handle != nullptr) {
        plat::CloseHandle(m_handle);
        m_handle = nullptr;
    }
    return 1;
}

int UsbScsiCmd::GetVariant() { return m_variant; }
