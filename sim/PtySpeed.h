#pragma once

namespace bravik::sim {

// The speed the PC side has set on the slave, read through the master fd.
// 0 when it cannot be read. Kept in its own file: <asm/termbits.h> and
// <termios.h> cannot meet in one translation unit.
unsigned ptySpeed(int masterFd);

}  // namespace bravik::sim
