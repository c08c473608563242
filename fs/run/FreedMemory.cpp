#include "fs/run/FreedMemory.h"

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
