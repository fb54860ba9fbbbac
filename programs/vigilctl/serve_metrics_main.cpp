// vigilctl-serve-metrics: `vigilctl serve-metrics` as a program of its own, which vigilctl runs
// in its place. Same options.
#include "command.h"

int main(int argc, char** argv) { return vigilctl::RunServeMetrics(argc, argv); }
