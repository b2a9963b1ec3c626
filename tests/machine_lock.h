// Tests of the production binary meet at the machine-wide single-instance
// lock. When another instance of the tool holds it, such a test cannot run.
// By hand it is skipped; under scripts/test.sh (and so in CI), which sets
// XOV_REQUIRE_MACHINE_LOCK=1, it fails instead, since ctest counts a skipped
// test as passed and the run would claim what it never tried.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace testutil {

inline bool MachineLockRequired()
{
    const char* value = std::getenv("XOV_REQUIRE_MACHINE_LOCK");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

}  // namespace testutil

// Ends the test: a failure when the lock is required, else a skip.
#define XOV_ANOTHER_INSTANCE_HOLDS_THE_LOCK()                                                                 \
    do {                                                                                                      \
        if (testutil::MachineLockRequired())                                                                  \
            GTEST_FAIL() << "another instance of the tool holds the machine-wide lock "                       \
                            "/tmp/XOVSensorHubCalibration.lock, so this test could not run; stop it and run " \
                            "the tests again";                                                                \
        GTEST_SKIP() << "another instance of the tool runs on this machine";                                  \
    } while (false)
