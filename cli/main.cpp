#include "cli/calc_cli.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    try {
        std::vector<std::string> args;
        for (int i = 1; i < argc; ++i) {
            args.emplace_back(argv[i]);
        }
        return veltrane::cli::run_calc(args, std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cerr << "veltrane-calc: " << error.what() << '\n';
        return veltrane::cli::exit_message;
    }
}
