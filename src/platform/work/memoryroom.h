#pragma once

#include <QtGlobal>

// What the system can still give the program, and what the program holds now: work that would
// hold a second copy of a large document asks first whether the copy fits.
namespace MemoryRoom {

// The bytes the system can give without swapping or killing anything; -1 when it does not say.
qint64 Available();
// The bytes the program holds in memory now; -1 when the system does not say.
qint64 Resident();

// For tests: the figures Available() and Resident() give from now on; -1, -1 gives the system's.
void SetForTests(qint64 available, qint64 resident);

} // namespace MemoryRoom
