// velkan-register-database PATH_OR_URI USERNAME [SUBKEY]
// Registers a septic-tank database in the per-user registry store, so that
// both windows offer it in their database choice.

#include <iostream>
#include <string>
#include <vector>

#include "RegisterDatabase.h"

int main(int argc, char** argv) {
    return regdb::RunRegisterCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                     std::cerr);
}
