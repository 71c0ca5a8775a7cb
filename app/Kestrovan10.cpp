// The program block.
#include "Kestrovan10.h"

int main(int argc, char** argv) { return Kestrovan10Main(argc, argv); }
