// The volume sources of discovery on the simulated stack: the drive letters in
// order, and a drive named by the user tried alone.
#include "VolumeCandidates.h"
#include "sim_fixture.h"

namespace {

class Volumes : public SimTest {};

TEST_F(Volumes, TheDriveLettersDToZAreThePlatformsVolumes)
{
    std::vector<std::string> paths;
    PlatformVolumes scan;
    VolumePath p;
    while (scan.next(p))
        paths.push_back(p.text);
    ASSERT_EQ(paths.size(), 23u);
    for (size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(paths[i], std::string("\\\\.\\") + char('D' + i) + ":");
    EXPECT_FALSE(scan.next(p));  // and stays at the end

    CandidatePaths list;
    ListCandidatePaths(list);
    ASSERT_EQ(list.count, 23);
    for (int i = 0; i < list.count; ++i)
        EXPECT_EQ(list.path[i], paths[i]);
}

TEST_F(Volumes, ANamedDriveIsTheOnlyOneOpened)
{
    stack.attachRecorder('E');
    stack.attachDisk('F');
    stack.attachRecorder('H', 2);

    UsbScsiCmd device;
    SingleVolume h("\\\\.\\H:");
    ASSERT_EQ(device.OpenFrom(h), 1);
    EXPECT_EQ(device.GetVariant(), 2);
    EXPECT_EQ(createdLetters(), "H");

    // An ordinary disk is rejected and closed like any drive of the scan.
    stack.clearLog();
    EXPECT_EQ(device.OpenPath("\\\\.\\F:"), 0);
    EXPECT_EQ(createdLetters(), "F");
    EXPECT_EQ(device.handle(), nullptr);
    EXPECT_EQ(stack.openHandleCount(), 0);  // H closed by the new scan, F after its probe
}

}  // namespace
