// olvex-publish: the definition publisher (see publisher_cli.h).
#include <iostream>
#include <string>
#include <vector>

#include "tools/publisher/publisher_cli.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return olvex::tools::RunPublisher(args, std::cout, std::cerr);
}
