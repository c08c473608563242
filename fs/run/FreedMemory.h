#pragma once

namespace veltrane {

// Hands the pages of freed memory back to the system. The C library keeps what a run frees for later
// allocations, but a large block made at the end of a run (a list of findings) cannot use them: without
// this, a run's peak would be the run's memory and that block together. Does nothing where the C
// library offers no way.
void GiveBackFreedMemory();

}  // namespace veltrane
