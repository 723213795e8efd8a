// zivi3: the program entry. Everything it does is in the app library, where the tests reach it.
#include <cstdio>

#include "app/App.h"

int main(int argc, char** argv) { return RunProgram(argc, argv, stdout, stderr); }
