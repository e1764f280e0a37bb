#include "machine.h"

namespace sim {

namespace {

thread_local Machine* installed = nullptr;

}  // namespace

Installation::Installation(Machine& machine) : machine_(&machine), previous_(installed) {
    installed = &machine;
}

Installation::~Installation() {
    if (installed != machine_) {
        Fail("installations of machines must end in the reverse order of their making");
    }
    installed = previous_;
}

Machine& Machine::Current() {
    if (installed == nullptr) {
        Fail("a Windows function was called with no Machine installed on this thread");
    }
    return *installed;
}

}  // namespace sim
