// The request driver: start-up order, recovery points, the end sequence.
#pragma once

namespace koru {

int driver_main(int argc, char** argv);

}  // namespace koru
