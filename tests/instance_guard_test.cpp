// The production binary's single-instance guard: one place for every user,
// shell and environment. Its runs meet every other instance of the tool on
// this machine, so these tests take the machine's guard one at a time (the
// build gives them one resource lock with the other runs of the production
// binary) and skip when an instance that is not theirs holds it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/platform.h"
#include "tests/machine_lock.h"
#include "tests/process_util.h"

using testutil::PtyProcess;
using testutil::RunProcess;
using testutil::TempDir;

namespace {

const std::string kRefused = "This application can not be repeated!\r\n\r\n";
const std::string kPrompt = "Please press any key to exit.";

std::string Tool()
{
    return testutil::BinaryPath("XOVSensorHubCalibration");
}

}  // namespace

TEST(InstanceGuardPlace, FixedWhateverTheEnvironment)
{
    const char* const saved = std::getenv("TMPDIR");
    const std::string savedText = saved != nullptr ? saved : "";
    for (const char* tmpdir : {"/var/tmp", "/home/somebody/tmp", ""}) {
        setenv("TMPDIR", tmpdir, 1);
        EXPECT_EQ(InstanceGuardPlace("XOVSensorHubCalibration"), "/tmp/XOVSensorHubCalibration.lock") << tmpdir;
    }
    unsetenv("TMPDIR");
    EXPECT_EQ(InstanceGuardPlace("XOVSensorHubCalibration"), "/tmp/XOVSensorHubCalibration.lock");
    // Test support's own place.
    SetInstanceGuardDirectory("/some/dir");
    EXPECT_EQ(InstanceGuardPlace("XOVSensorHubCalibration"), "/some/dir/XOVSensorHubCalibration.lock");
    SetInstanceGuardDirectory("");
    EXPECT_EQ(InstanceGuardPlace("XOVSensorHubCalibration"), "/tmp/XOVSensorHubCalibration.lock");
    if (saved != nullptr) setenv("TMPDIR", savedText.c_str(), 1);
}

TEST(ProductionGuard, ARunWithAnotherTmpdirIsStillRefused)
{
    // A user's shell and a root shell (sudo) hand the tool different
    // temporary directories; both runs must meet at the same guard.
    TempDir firstWork, firstTmp, secondWork, secondTmp;
    PtyProcess first({Tool(), "/NAC"}, firstWork.path(), firstTmp.path());
    for (int waited = 0; waited < 100 && first.output().find(kPrompt) == std::string::npos; ++waited) {
        // (On the terminal its line ends come out as the terminal makes them.)
        if (first.output().find("This application can not be repeated!") != std::string::npos)
            XOV_ANOTHER_INSTANCE_HOLDS_THE_LOCK();
        first.WaitFor(kPrompt, 100);
    }
    ASSERT_NE(first.output().find(kPrompt), std::string::npos) << first.output();

    for (const std::vector<std::string>& argv : {std::vector<std::string>{Tool()}, {Tool(), "/?"}}) {
        const auto second = RunProcess(argv, secondWork.path(), secondTmp.path());
        EXPECT_EQ(second.exitStatus, 254);  // -2 in eight bits
        EXPECT_EQ(second.out, kRefused);
    }
    EXPECT_FALSE(testutil::FileExists(secondWork.File("XOVSensorHubCalibration.log")));
    first.Type(" ");
    EXPECT_NE(first.Wait(), -1);
}
