/* korbscan: record I/O for Korbelt.
 *
 * Stateless functions: create, write and close the repaired copy, and find the next
 * marker triple in a record buffer. The caller owns every buffer, string and handle.
 * Positions and lengths are signed 16-bit on purpose: the repair engine never works on
 * more than one record (10291 bytes) at a time. The one exception is korbWriteBuffEx, which
 * lets the engine write the kept bytes of many records in one call. */
#ifndef KORBSCAN_H
#define KORBSCAN_H

#include <stdint.h>

#if defined(_WIN32)
#define KORBSCAN_API __declspec(dllexport)
#else
#define KORBSCAN_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Creates path as a new file, readable and writable by its owner only, and opens it
 * write-only. Fails when anything is under that name already. Where the file system keeps
 * extended attributes, the file carries "user.korbelt.made" = "copy " + the path's last
 * component from the moment it has that name: the mark by which Korbelt tells a copy of its
 * own from a file it did not write.
 * Returns a handle >= 0, or -1 with errno set. */
KORBSCAN_API int32_t korbOpenFile(const char* path);

/* Closes the handle. Always returns 0. */
KORBSCAN_API int32_t korbCloseFile(int32_t handle);

/* Index of the first CR CR LF or CR LF '-' starting in [scanfrom, scanto), else scanto.
 * Reads up to two bytes past scanto - 1. */
KORBSCAN_API int32_t korbScanBuff(const uint8_t* buffer, int16_t scanfrom, int16_t scanto);

/* Appends length bytes of buffer. Returns the count written, or -1 on failure. */
KORBSCAN_API int32_t korbWriteBuff(int32_t handle, const uint8_t* buffer, int16_t length);

/* korbWriteBuff with a 32-bit length, for writes of more than 32767 bytes: appends length
 * bytes of buffer and returns the count written, or -1 on failure; 0 writes nothing. */
KORBSCAN_API int32_t korbWriteBuffEx(int32_t handle, const uint8_t* buffer, int32_t length);

#ifdef __cplusplus
}
#endif

#endif
