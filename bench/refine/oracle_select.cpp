// The formatted-input oracle as a program, for timing against the selection:
//   oracle_select <threshold> <scored_pairs> <output>   prints the report
#include <cstdio>
#include <cstdlib>

#include "oracle/formatted_input_selection.hpp"

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <threshold> <scored_pairs> <output>\n", argv[0]);
        return 2;
    }
    std::FILE* scored = std::fopen(argv[2], "r");
    if (scored == nullptr) {
        std::printf("Error: cannot open file %s for read\n", argv[2]);
        return 1;
    }
    ppi::oracle::select_scored_ppis(std::atof(argv[1]), argv[3], scored, stdout);
    return 0;
}
