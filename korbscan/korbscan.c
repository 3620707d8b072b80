#define _GNU_SOURCE
#include "korbscan.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

enum { CR = 13, LF = 10, DASH = 45 };

/* Every copy carries this extended attribute from the moment it has a name, so that a later
 * run can tell a copy left behind by a killed run from a file of the same name that came with
 * a download, and delete only the first. */
static const char kMarkName[] = "user.korbelt.made";

/* "copy NAME", NAME the last component of the path: the mark counts only while the file
 * keeps the name it was made under. */
static int SetMark(int fd, const char* path) {
    const char* slash = strrchr(path, '/');
    char value[300];
    const int length = snprintf(value, sizeof(value), "copy %s", slash == NULL ? path : slash + 1);
    if (length < 0 || (size_t)length >= sizeof(value)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    return fsetxattr(fd, kMarkName, value, (size_t)length, 0);
}

/* The new file made unnamed in path's directory, marked, then given its name: no moment
 * exists in which the name holds an unmarked copy. -1 with errno set where the file system
 * cannot do so (no O_TMPFILE, no extended attributes, no /proc). */
static int CreateMarked(const char* path) {
    char directory[4096];
    const char* slash = strrchr(path, '/');
    const size_t length = slash == NULL ? 1 : (slash == path ? 1 : (size_t)(slash - path));
    if (length >= sizeof(directory)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    memcpy(directory, slash == NULL ? "." : path, length);
    directory[length] = 0;
    int fd;
    do {
        fd = open(directory, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return -1;
    }
    char self[64];
    snprintf(self, sizeof(self), "/proc/self/fd/%d", fd);
    if (SetMark(fd, path) != 0 ||
        linkat(AT_FDCWD, self, AT_FDCWD, path, AT_SYMLINK_FOLLOW) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

/* Errors that mean only that the file system cannot make a marked file at once. */
static int CannotMarkAtOnce(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOENT ||
           error == ENOTSUP || error == EPERM || error == EXDEV || error == ENOSYS;
}

int32_t korbOpenFile(const char* path) {
    if (path == NULL) {
        return -1;
    }
    /* Always a new file, never one that is there already: whatever is under the name (a
     * copy another process is writing, a link planted to redirect the copy, a FIFO, a
     * device, another file's second name, a file of another user's) is left untouched and
     * the open fails with EEXIST. Readable by its writer only until the caller has given it
     * the permissions it is meant to have. */
    int fd = CreateMarked(path);
    if (fd >= 0 || !CannotMarkAtOnce(errno)) {
        return fd < 0 ? -1 : (int32_t)fd;
    }
    do {
        fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        /* Where extended attributes are kept at all; without the mark a copy left by a kill
         * is kept by the next run rather than deleted. */
        (void)SetMark(fd, path);
    }
    return fd < 0 ? -1 : (int32_t)fd;
}

int32_t korbCloseFile(int32_t handle) {
    if (handle >= 0) {
        /* Not retried on EINTR: on Linux the descriptor is gone either way. */
        (void)close(handle);
    }
    return 0;
}

/* Whether a marker triple starts at i. Like the plain scan it reads buffer[i + 1] only after
 * a CR and buffer[i + 2] only after CR CR or CR LF. */
static int TripleAt(const uint8_t* buffer, int32_t i) {
    if (buffer[i] != CR) {
        return 0;
    }
    const uint8_t next = buffer[i + 1];
    return (next == CR && buffer[i + 2] == LF) || (next == LF && buffer[i + 2] == DASH);
}

static int32_t ScanBytes(const uint8_t* buffer, int32_t i, int32_t end) {
    for (; i < end; ++i) {
        if (TripleAt(buffer, i)) {
            return i;
        }
    }
    return end;
}

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KORBSCAN_VECTOR_SCAN 1

/* Whole vectors at a time, stopping only where a CR is followed by CR or LF: the only
 * places a triple can start. In compressed or random data that is one byte in 32768, where
 * a CR alone is one in 256, so the scan rarely leaves the vector loop. Each step compares
 * the bytes at i and at i + 1, so it reads no further than index end; the triple test then
 * reads at most index end + 1, as the plain scan does. */
__attribute__((target("avx2"))) static uint32_t CrThenCrOrLf(const uint8_t* at) {
    const __m256i here = _mm256_loadu_si256((const __m256i*)at);
    const __m256i after = _mm256_loadu_si256((const __m256i*)(at + 1));
    const __m256i found =
        _mm256_and_si256(_mm256_cmpeq_epi8(here, _mm256_set1_epi8(CR)),
                         _mm256_or_si256(_mm256_cmpeq_epi8(after, _mm256_set1_epi8(CR)),
                                         _mm256_cmpeq_epi8(after, _mm256_set1_epi8(LF))));
    return (uint32_t)_mm256_movemask_epi8(found);
}

/* The first triple among the candidate starts in bits (bit k: index i + k), or -1. */
static int32_t FirstTriple(const uint8_t* buffer, int32_t i, uint64_t bits) {
    for (; bits != 0; bits &= bits - 1) {
        const int32_t k = i + __builtin_ctzll(bits);
        if (TripleAt(buffer, k)) {
            return k;
        }
    }
    return -1;
}

/* Two vectors per step while 64 bytes remain: the loop's own cost then hardly shows. */
__attribute__((target("avx2"))) static int32_t ScanAvx2(const uint8_t* buffer, int32_t i,
                                                        int32_t end) {
    for (; i + 64 <= end; i += 64) {
        const uint64_t bits = CrThenCrOrLf(buffer + i) | (uint64_t)CrThenCrOrLf(buffer + i + 32)
                                                             << 32;
        if (bits != 0) {
            const int32_t k = FirstTriple(buffer, i, bits);
            if (k >= 0) {
                return k;
            }
        }
    }
    for (; i + 32 <= end; i += 32) {
        const int32_t k = FirstTriple(buffer, i, CrThenCrOrLf(buffer + i));
        if (k >= 0) {
            return k;
        }
    }
    return ScanBytes(buffer, i, end);
}
#endif

/* CR by CR through memchr, which the C library vectorises; for processors without AVX2. */
static int32_t ScanCarriageReturns(const uint8_t* buffer, int32_t i, int32_t end) {
    while (i < end) {
        const uint8_t* cr = memchr(buffer + i, CR, (size_t)(end - i));
        if (cr == NULL) {
            break;
        }
        i = (int32_t)(cr - buffer);
        if (TripleAt(buffer, i)) {
            return i;
        }
        ++i;
    }
    return end;
}

int32_t korbScanBuff(const uint8_t* buffer, int16_t scanfrom, int16_t scanto) {
#ifdef KORBSCAN_VECTOR_SCAN
    if (__builtin_cpu_supports("avx2")) {
        return ScanAvx2(buffer, scanfrom, scanto);
    }
#endif
    return ScanCarriageReturns(buffer, scanfrom, scanto);
}

/* Writes length bytes at the file's position, retrying interrupted and partial writes.
 * Returns the count written; smaller than length only when the file takes no more. */
static int32_t WriteAll(int32_t handle, const uint8_t* buffer, int32_t length) {
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

int32_t korbWriteBuff(int32_t handle, const uint8_t* buffer, int16_t length) {
    if (length <= 0) {
        return length == 0 ? 0 : -1;
    }
    return WriteAll(handle, buffer, length);
}

int32_t korbWriteBuffEx(int32_t handle, const uint8_t* buffer, int32_t length) {
    if (length <= 0) {
        return length == 0 ? 0 : -1;
    }
    return WriteAll(handle, buffer, length);
}
