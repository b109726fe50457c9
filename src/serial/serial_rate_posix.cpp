// Baud rates without a termios constant (14400 among them), set through the Linux termios2
// interface. Kept in a file of its own: the kernel's termios headers clash with the C library's.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

bool SetOtherBaudRate(int fd, int baud) {
    struct termios2 settings;
    if (ioctl(fd, TCGETS2, &settings) != 0)
        return false;
    settings.c_cflag &= ~CBAUD;
    settings.c_cflag |= BOTHER;
    settings.c_ispeed = static_cast<speed_t>(baud);
    settings.c_ospeed = static_cast<speed_t>(baud);
    return ioctl(fd, TCSETS2, &settings) == 0;
}
