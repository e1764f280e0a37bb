// The conformance probes as a Windows program: probe.exe [after].
#include "conformance/probes.h"

int main(int argc, char** argv) {
    return conformance::RunProbes(argc > 1 ? argv[1] : "");
}
