// The check that a run left no handle open, in a header of its own so that the benchmark, which
// uses the builders of installed_product.h, needs no GoogleTest.
#pragma once

#include <gtest/gtest.h>

#include "machine.h"

namespace testing_support {

// Whatever a test built the machine with, the program must have closed every handle it opened.
inline ::testing::AssertionResult NoHandlesOpen(const sim::Machine& machine) {
    if (machine.registry.OpenKeyCount() == 0 && machine.files.OpenFileHandleCount() == 0 &&
        machine.files.OpenFindHandleCount() == 0 && machine.kernel.OpenProcessHandleCount() == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "open handles: " << machine.registry.OpenKeyCount() << " keys, "
                                         << machine.files.OpenFileHandleCount() << " files, "
                                         << machine.files.OpenFindHandleCount() << " searches, "
                                         << machine.kernel.OpenProcessHandleCount() << " processes";
}

}  // namespace testing_support
