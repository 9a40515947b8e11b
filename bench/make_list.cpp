// qv-make-list <path> <records>: writes a generated mailing list.
#include "bench_inputs.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qv-make-list <path> <records>\n");
        return 2;
    }
    return WriteBenchList(argv[1], std::atol(argv[2])) ? 0 : 1;
}
