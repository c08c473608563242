#include "fs/run/FreedMemory.h"

#include <cstdlib>  // defines __GLIBC__ with the C library's version

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace veltrane {

void GiveBackFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace veltrane
