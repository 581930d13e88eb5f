// Discovery of the recorder among the drive letters, and the handle's lifetime.
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

void ListCandidatePaths(CandidatePaths& out)
{
    out.count = 0;
    for (char letter = 'D'; letter <= 'Z'; ++letter) {
        char* path = out.path[out.count++];
        std::memcpy(path, "\\\\.\\F:", 7);
        path[4] = letter;
    }
}

int UsbScsiCmd::Open()
{
    m_variant = 0;
    m_failure = TransferFailure();
    // A handle from an earlier successful Open would otherwise be lost.
    Close();

    CandidatePaths candidates;
    ListCandidatePaths(candidates);
    for (int i = 0; i < candidates.count; ++i) {
        if (probePath(candidates.path[i], false))
            return 1;
    }
    m_handle = nullptr;
    return 0;
}

int UsbScsiCmd::OpenPath(const char* path)
{
    m_variant = 0;
    m_failure = TransferFailure();
    Close();
    return probePath(path, true);
}

int UsbScsiCmd::probePath(const char* path, bool noteOpenError)
{
    HANDLE h = plat::CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        // The scan passes over letters without a drive silently; a path the
        // caller named keeps the reason it could not be opened.
        if (!noteOpenError)
            return 0;
        TransferFailure failure;
        failure.reason = TransferFailure::Reason::SystemCall;
        failure.osError = plat::GetLastError();
        m_failure = failure;
        return 0;
    }

    // The answer to INQUIRY is not examined; some drives only answer the
    // vendor probe after it.
    PassThroughRequest request;
    fillInquiryRequest(request);
    DWORD returned = 0;
    plat::DeviceIoControl(h, scsi::kIoctlPassThrough, &request, scsi::kHeaderSize, &request,
                          scsi::kDataOffset + scsi::kInquiryLength, &returned, nullptr);

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
        return 1;
    }
    plat::CloseHandle(h);
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
