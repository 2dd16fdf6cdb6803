// Build tool: writes the program's icon as a PNG for installation.

#include "program_icon.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: write_icon SIZE FILE.png\n");
        return 2;
    }
    const int size = std::atoi(argv[1]);
    if (size <= 0 || !ProgramIconImage(size).save(argv[2], "PNG")) {
        std::fprintf(stderr, "write_icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
