// quellfix-check: the catalog checker for administrators (see Command.h).
#include <iostream>

#include "checker/Command.h"

int main(int argc, char** argv) {
    return RunChecker(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
