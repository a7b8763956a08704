/*
 * Kelvane video hook modules.
 *
 * A hook module is a shared library named in a task's "vhook" option, followed by its arguments:
 *     vhook=/path/to/module.so arg1 arg2        (or separated by "|": /path/to/module.so|arg 1|arg 2)
 * Arguments are split at "|" when the value contains one, otherwise at blanks; empty pieces are skipped;
 * at most 63 pieces, the module name included.
 *
 * What this version does with a module:
 *   - loads it (dlopen, RTLD_NOW | RTLD_LOCAL, by the name as written) the first time any task names it;
 *     it stays loaded until the process ends;
 *   - when the option is applied (while the task is set up, before anything is converted) looks up the
 *     entry points below and calls Configure;
 *   - calls Release when the task's resources are freed: its conversion ended, it was reset, or it was
 *     freed.
 * It does not call Process yet: the conversion run does not hand frames to hook modules in this version.
 * Once it does, Process is called for the decoded video frames of the task that configured the hook.
 *
 * Entry points (exported with C linkage):
 *   Configure  optional (required when arguments are given): called once per hook with argc >= 1,
 *              argv[0] the module name as written and argv[argc] NULL; the strings stay valid until
 *              Release. Store your state in *ctx. Return 0 to accept; any other value refuses the
 *              option (the task's set-up fails) and Release is not called for that hook.
 *   Process    required (a module without it is refused): modify the picture in place; pixel_format is
 *              an FFmpeg AVPixelFormat, width and height in pixels, pts_us the frame's time in
 *              microseconds.
 *   Release    optional: called once with the hook's ctx for every hook that was accepted.
 */
#ifndef KELVANE_VHOOK_H
#define KELVANE_VHOOK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A picture: up to four planes and their line sizes in bytes. */
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
