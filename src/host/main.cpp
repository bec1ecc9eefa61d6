// Program entry: one process serves one request.
#include "host/driver.h"

int main(int argc, char** argv) { return koru::driver_main(argc, argv); }
