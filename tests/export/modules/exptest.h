/* The test exporter's instructions and what it saw, shared through class
   data 'XTST' (the module is loaded afresh for every call). */
#ifndef REEL_TESTS_EXPTEST_H
#define REEL_TESTS_EXPTEST_H

#include "reelcore/sdk/export.h"

enum {
    kExpTestNormal = 0,
    kExpTestEndless = 1,    /* selector 0 always answers 20 */
    kExpTestHostile = 2,    /* names without NUL, a format list without end */
    kExpTestCorrections = 3 /* compressor values the host corrects */
};

typedef struct ExpTestFrame {
    int32_t frame;
    RcCompileFrameInfo info;
    uint32_t firstPixel;
} ExpTestFrame;

typedef struct ExpTestState {
    int32_t mode;
    uint32_t flags;        /* the exporter's flags */
    int32_t compileResult; /* answered by selector 8 after writing */
    int32_t failAtCall;    /* 1-based compile call that answers compileResult (0: every) */
    int32_t readFrames;    /* ask for each frame of the range */
    int32_t stopAfter;     /* frames read before asking for progress */
    int32_t readAudio;     /* ask twice for the audio of the first two frames */
    /* seen */
    int32_t compileCalls;
    int32_t shutdowns;
    int32_t lastSelector;
    int32_t progressResult;
    int32_t audioBytes;
    int32_t audioSame; /* the second request gave the same block */
    RcCompileRecord lastRecord;
    int32_t frameCount;
    ExpTestFrame frames[256];
    /* selectors 5 to 7 */
    int32_t settingsResult;  /* the answer */
    int32_t replaceSettings; /* hand back a new block holding the selector */
    int32_t settingsCalls;
    RcCompileSettingsRequest lastRequest; /* as received */
} ExpTestState;

#define EXPTEST_CLASS RC_FOURCC('X', 'T', 'S', 'T')

#endif
