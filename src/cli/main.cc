#include "cli/driver.h"

int main(int argc, char** argv) { return dorvenix::RunCommandLine(argc, argv); }
