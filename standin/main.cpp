#include "standin/CommandLine.h"

int main(int argc, char** argv) { return standin::runCommandLine(argc, argv); }
