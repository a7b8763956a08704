/*
 * Kelvane video hook modules.
 *
 * A hook module is a shared library named in the "vhook" option, followed by its arguments:
 *     vhook=/path/to/module.so arg1 arg2        (or separated by "|": /path/to/module.so|arg 1|arg 2)
 * The converter loads it once per process and calls, for every decoded video frame of a task that uses
 * it, the module's Process function with the picture before it is scaled and encoded.
 *
 * Entry points (exported with C linkage):
 *   Configure  optional (required when arguments are given): called once per hook with argc >= 1 and
 *              argv[0] the module name; store your state in *ctx. Return 0 on success.
 *   Process    required: modify the picture in place. pts_us is the frame's time in microseconds.
 *   Release    optional: called once when the task that configured the hook is freed.
 */
#ifndef KELVANE_VHOOK_H
#define KELVANE_VHOOK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A picture: up to four planes and their line sizes in bytes; pixel_format is an FFmpeg AVPixelFormat. */
typedef struct KelvaneHookPicture {
    uint8_t *data[4];
    int linesize[4];
} KelvaneHookPicture;

typedef int (*KelvaneHookConfigure)(void **ctx, int argc, char *argv[]);
typedef void (*KelvaneHookProcess)(void *ctx, KelvaneHookPicture *picture, int pixel_format, int width, int height,
                                   int64_t pts_us);
typedef void (*KelvaneHookRelease)(void *ctx);

int Configure(void **ctx, int argc, char *argv[]);
void Process(void *ctx, KelvaneHookPicture *picture, int pixel_format, int width, int height, int64_t pts_us);
void Release(void *ctx);

#ifdef __cplusplus
}
#endif

#endif /* KELVANE_VHOOK_H */
