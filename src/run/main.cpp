#include "run/run_conversion.h"

int main(int argc, char** argv) { return quarlex::run_conversion(argc, argv); }
