#include "cli/calc_cli.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    try {
        std::vector<std::string> args;
        for (int i = 1; i < argc; ++i) {
            args.emplace_back(argv[i]);
        }
        std::ostringstream out;
        std::ostringstream err;
        const int status = veltrane::cli::run_calc(args, out, err);
        return veltrane::cli::deliver(status, out.view(), err.view(), stdout, stderr);
    } catch (const std::exception& error) {
        std::cerr << "veltrane-calc: " << error.what() << '\n';
        return veltrane::cli::exit_message;
    }
}
