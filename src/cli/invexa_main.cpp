#include "cli/InvexaTool.h"

#include <csignal>
#include <iostream>
#include <unistd.h>

int main(int argc, char **argv) {
    // A write past a file-size limit must fail as "Disk full", not kill the process.
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    return invexa::RunInvexa(args, std::cout, std::cerr, ::isatty(2) != 0);
}
