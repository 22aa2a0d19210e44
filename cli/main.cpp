#include "cli/entry.h"

// rs-sim [OPTIONS] [EXPERIMENT_FILE]: without arguments the experiment is "param.dat" in the
// working directory and the report goes to the console and "results.dat".
int main(int argc, char** argv) {
    return rs::RunCommandLine(argc, argv);
}
