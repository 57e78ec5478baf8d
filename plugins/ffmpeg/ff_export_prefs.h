/* The FFmpeg exporter's own settings: the block an export's compilerPrefs
   points to. A block without the magic (or none at all) means the defaults.
   Hosts that want other settings put such a block in the export settings'
   compilerprefs, made with the memory services or NewPtrClear. */
#ifndef REEL_FF_EXPORT_PREFS_H
#define REEL_FF_EXPORT_PREFS_H

#include "reelcore/sdk/module.h"

#define FF_EXPORT_PREFS_MAGIC RC_FOURCC('F', 'F', 'x', 'p')
#define FF_EXPORT_CLASS RC_FOURCC('F', 'F', 'e', 'x')

enum { kFFExportDefaultCrf = 23, kFFExportMaxCrf = 51 };

#pragma pack(push, 1)
typedef struct FFExportPrefs {
    RcOSType magic;  /* FF_EXPORT_PREFS_MAGIC */
    int32_t crf;     /* H.264 quality: 0 (lossless) to 51; 23 by default */
    int32_t threads; /* encoder threads; 0 lets the codec choose */
    char preset[16]; /* libx264 preset ("medium" when empty) */
    int32_t reserved[3];
} FFExportPrefs;
#pragma pack(pop)

RC_SDK_ASSERT(sizeof(FFExportPrefs) == 40, "the exporter's settings are 40 bytes");
RC_SDK_ASSERT(offsetof(FFExportPrefs, preset) == 12, "the preset follows the thread count");

#endif
