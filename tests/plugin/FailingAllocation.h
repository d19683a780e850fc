#pragma once

namespace orbiculon::testing {

// While set, the global operator new of the test executable fails the way each of
// its forms reports failure: the plain form throws std::bad_alloc, the nothrow form
// returns null.
void setAllocationsFail(bool fail);

} // namespace orbiculon::testing
