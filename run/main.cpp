#include "oem2sif_version.h"
#include "run/run_tool.h"

// The release the executable carries. Nothing reads it; `used` keeps it in
// optimised builds.
extern "C" __attribute__((used)) const char oem2sif_version[] = "version." OEM2SIF_VERSION;

int main() { o2s::RunTool(); }
