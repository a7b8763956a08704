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
 *     freed;
 *   - calls Process for every decoded video frame of the task that configured the hook, on the thread
 *     that runs the conversion, while the hooks are on for that frame (see below). Hooks of one chain
 *     are called in the order their options were given, each on the frame the previous one left.
 *
 * When the hooks run. A task may limit them to ranges of frame times (milliseconds): frames outside
 * every range pass untouched, and after the end of the last range the hooks are off for the rest of
 * the conversion. An application may instead decide per frame, or take over frame processing itself,
 * in which case the chain is not called at all.
 *
 * The frame given to Process is the task's own copy of the decoded picture: writing into it changes
 * what is encoded, and never what the decoder keeps. The plane pointers and line sizes are valid only
 * during the call; do not keep them.
 *
 * Entry points (exported with C linkage):
 *   Configure  optional (required when arguments are given): called once per hook with argc >= 1,
 *              argv[0] the module name as written and argv[argc] NULL; the strings stay valid until
 *              Release. Store your state in *ctx. Return 0 to accept; any other value refuses the
 *              option (the task's set-up fails) and Release is not called for that hook.
 *   Process    required (a module without it is refused): modify the picture in place; pixel_format is
 *              an FFmpeg AVPixelFormat (usually the decoder's, e.g. 0 = yuv420p), width and height in
 *              pixels, pts_us the frame's time in microseconds. Calls for one hook never overlap; hooks
 *              of different tasks may run at the same time on different threads, each with its own ctx.
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
    uint8_t* data[4];
    int linesize[4];
} KelvaneHookPicture;

typedef int (*KelvaneHookConfigure)(void** ctx, int argc, char* argv[]);
typedef void (*KelvaneHookProcess)(void* ctx, KelvaneHookPicture* picture, int pixel_format, int width, int height,
                                   int64_t pts_us);
typedef void (*KelvaneHookRelease)(void* ctx);

int Configure(void** ctx, int argc, char* argv[]);
void Process(void* ctx, KelvaneHookPicture* picture, int pixel_format, int width, int height, int64_t pts_us);
void Release(void* ctx);

#ifdef __cplusplus
}
#endif

#endif /* KELVANE_VHOOK_H */
