#define _GNU_SOURCE
#include "korbscan.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

enum { CR = 13, LF = 10, DASH = 45 };

int32_t korbOpenFile(const char* path) {
    if (path == NULL) {
        return -1;
    }
    /* O_NOFOLLOW: a symbolic link planted at the temporary name must not redirect the
     * repaired copy over some other file. */
    int fd;
    do {
        fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? -1 : (int32_t)fd;
}

int32_t korbCloseFile(int32_t handle) {
    if (handle >= 0) {
        /* Not retried on EINTR: on Linux the descriptor is gone either way. */
        (void)close(handle);
    }
    return 0;
}

int32_t korbScanBuff(const uint8_t* buffer, int16_t scanfrom, int16_t scanto) {
    int32_t i = scanfrom;
    const int32_t end = scanto;
    while (i < end) {
        /* memchr is vectorised by the C library; most records hold few CRs. */
        const uint8_t* cr = memchr(buffer + i, CR, (size_t)(end - i));
        if (cr == NULL) {
            break;
        }
        i = (int32_t)(cr - buffer);
        const uint8_t next = buffer[i + 1];
        if (next == CR && buffer[i + 2] == LF) {
            return i;
        }
        if (next == LF && buffer[i + 2] == DASH) {
            return i;
        }
        ++i;
    }
    return end;
}

int32_t korbWriteBuff(int32_t handle, const uint8_t* buffer, int16_t length) {
    if (length <= 0) {
        return length == 0 ? 0 : -1;
    }
    int32_t done = 0;
    while (done < length) {
        const ssize_t n = write(handle, buffer + done, (size_t)(length - done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (n == 0) {
            /* A write that makes no progress would spin forever; report what got through. */
            errno = ENOSPC;
            break;
        }
        done += (int32_t)n;
    }
    return done;
}
