#include "sim/PtySpeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace bravik::sim {

unsigned ptySpeed(int masterFd) {
    struct termios2 t2 {};
    if (ioctl(masterFd, TCGETS2, &t2) != 0) return 0;
    return t2.c_ospeed;
}

}  // namespace bravik::sim
