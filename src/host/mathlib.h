// The three functions of the C math library that the engine calls.
//
// round and fmod are exact operations (their results are fully determined
// by the arguments), so they are computed here.  pow is not: its last bit
// depends on the library's algorithm, so it always comes from the system
// math library, which is loaded on the first call.  A request that never
// raises a number to a power thus never maps the math library, which was
// about a tenth of the page faults of a trivial request.
//
// The programs are linked with --wrap=round,fmod,pow, which sends every call
// of those functions to the __wrap_ entries defined beside these.
#pragma once

namespace koru {

// round(): halfway cases away from zero.
double exact_round(double d);
// fmod(): the exact remainder of x / y truncated, with the sign of x.
double exact_fmod(double x, double y);
// pow() of the system math library.
double system_pow(double x, double y);

}  // namespace koru
