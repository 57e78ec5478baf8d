/* Pixel aspect ratios: the 32-bit ratio code, the named presets and the
   default ratios by frame size (filled from the library's resources, the
   user's "Interpretation Rules.txt" and built-in texts), widths and
   rectangles in square pixels, the display rectangle of a movie, and the
   preset list of dialogs. */
#ifndef REELCORE_ASPECT_H
#define REELCORE_ASPECT_H

#include "reelcore/types.h"
#include "reelcore/windows.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A pixel aspect ratio code holds the horizontal term (numerator) in the
   high 16 bits and the vertical term (denominator) in the low 16 bits.
   0 and 1 mean "not set"; a code whose halves are equal or either half is
   0 counts as square pixels. */
typedef uint32_t FmPARCode;

enum { kPARSquare = 0x00010001u };

/* Global slots of the pixel aspect ratios. */
enum {
    kSlotPARDisplay = 395,   /* "PixelAspectRatioDisplay": widen movies for display */
    kSlotPARCorrection = 396 /* "PixelAspectRatioCorrection" */
};

/* Resources: the preset text, and the rules file's name (list 1021, item 22). */
enum { kPARTextResID = 3090, kPARStringList = 1021, kPARRulesFileItem = 22 };

static inline uint32_t FmPARNumerator(FmPARCode code) {
    return code >> 16;
}
static inline uint32_t FmPARDenominator(FmPARCode code) {
    return code & 0xFFFFu;
}
static inline FmPARCode FmPARMakeCode(uint32_t numerator, uint32_t denominator) {
    return ((numerator & 0xFFFFu) << 16) | (denominator & 0xFFFFu);
}
static inline int FmPARIsUnset(FmPARCode code) {
    return code == 0 || code == 1;
}
/* Square: unset, halves equal, or either half 0. */
static inline int FmPARIsSquare(FmPARCode code) {
    return FmPARIsUnset(code) || FmPARNumerator(code) == FmPARDenominator(code) ||
           FmPARNumerator(code) == 0 || FmPARDenominator(code) == 0;
}
/* An unset code takes the fallback; an unset fallback gives square pixels. */
static inline FmPARCode FmPARResolve(FmPARCode code, FmPARCode fallback) {
    if (!FmPARIsUnset(code)) return code;
    return FmPARIsUnset(fallback) ? (FmPARCode)kPARSquare : fallback;
}

/* The pixel aspect record kept with a media file: the interpreted code
   (what the file is shown with) and the original one (what its importer
   reported). */
typedef struct FmPixelAspectRec {
    FmPARCode interpreted;
    FmPARCode original;
} FmPixelAspectRec;

/* Where a table entry or a rules line came from. */
enum {
    kPARSourceResource = 1,       /* TEXT 3090 */
    kPARSourceBuiltInPresets = 2, /* used when the resource names no preset */
    kPARSourceRulesFile = 3,      /* "Interpretation Rules.txt" */
    kPARSourceBuiltInDefaults = 4,
    kPARSourceText = 5 /* FmPARExplainRules */
};

/* A named preset. name is a NUL-terminated text of at most 255 bytes owned by
   the table. */
typedef struct FmPARPreset {
    char* name;
    FmPARCode code;
    int32_t source; /* kPARSource... */
    int32_t line;   /* line number within the source, from 1 */
} FmPARPreset;

/* The default ratio of a frame size; at most one entry per size. */
typedef struct FmPARFrameDefault {
    int32_t width, height;
    int32_t numerator, denominator;
    int32_t source;
    int32_t line;
} FmPARFrameDefault;

#ifdef __cplusplus
static_assert(sizeof(FmPixelAspectRec) == 8, "the pixel aspect record is two 32-bit codes");
#endif

/* ---- Tables ---- */
/* Reads the switches of slots 395 and 396 and fills both tables (a second
   call replaces them). Returns 0, or -1 when a table cannot be allocated. */
RC_API int32_t FmPixelAspectRatioInit(void);
/* Frees both tables. */
RC_API void FmPixelAspectRatioShutdown(void);
RC_API int32_t FmPARPresetCount(void);
/* Copies entry index (0-based); false outside the table. The name stays
   owned by the table until the next initialisation. */
RC_API Boolean FmPARGetPreset(int32_t index, FmPARPreset* out);
RC_API int32_t FmPARFrameDefaultCount(void);
RC_API Boolean FmPARGetFrameDefault(int32_t index, FmPARFrameDefault* out);
/* Reads the rules from path instead of the application folder's
   "Interpretation Rules.txt" (null restores the folder's file). */
RC_API void FmPARSetRulesPath(const char* path);

/* ---- What happens to each rules line ---- */
enum {
    kPARLineUsed = 0,
    kPARLineComment,     /* begins with '#' */
    kPARLineShort,       /* 6 characters or fewer */
    kPARLineFields,      /* fewer than 4 fields */
    kPARLineSizeRange,   /* width or height outside 32 bits */
    kPARLineNumerator,   /* numerator not greater than 0 */
    kPARLineDenominator, /* denominator negative */
    kPARFileMissing,     /* the rules file is missing or unreadable (line 0) */
    kPARFileTooLarge     /* the rules file is over 1 MiB (line 0) */
};
/* What a used line added to the frame-size defaults. */
enum { kPARDefaultNone = 0, kPARDefaultAdded, kPARDefaultSizePresent, kPARDefaultNoRoom };

typedef struct FmPARLineReport {
    int32_t source;
    int32_t line;
    const char* text; /* the line after leading white space (not terminated) */
    int32_t length;
    int32_t outcome; /* kPARLine... */
    int32_t fields;  /* fields read (0 to 5) */
    int64_t width, height;
    double numerator, denominator;
    FmPARCode code;         /* for a used line */
    const char* presetName; /* the preset added, or null */
    int32_t defaultOutcome; /* kPARDefault... */
} FmPARLineReport;

typedef void (*FmPARLineProc)(const FmPARLineReport* report, void* refcon);
/* Called for every line read while the tables fill (null: nobody). Returns
   the previous procedure. */
RC_API FmPARLineProc FmPARSetLineReport(FmPARLineProc proc, void* refcon);
/* Parses text as rules lines without touching the tables and reports each
   line (source kPARSourceText); returns the number of used lines. */
RC_API int32_t FmPARExplainRules(const char* text, int32_t length, FmPARLineProc proc,
                                 void* refcon);

/* ---- Codes ---- */
/* The code of the ratio a / b. Only finite a > 0 and b >= 0 convert (b 0
   counts as 1); ratios above 10 or below 0.1 give square pixels. */
RC_API FmPARCode FmPARRatioToCode(double a, double b);
/* Equal when either is unset or the ratios are the same. */
RC_API Boolean FmPARCodesEqual(FmPARCode a, FmPARCode b);
/* Resolves the code; result 1 when the ratio is not 1/1. Outputs may be null. */
RC_API int32_t FmGetPixelAspectRatio(FmPARCode code, FmPARCode fallback, int32_t* numerator,
                                     int32_t* denominator);
RC_API double FmGetPixelAspectRatioF(FmPARCode code, FmPARCode fallback);
enum { kPARTextSize = 32 };
/* text (kPARTextSize bytes, may be null): the ratio with 3 decimals and
   result 1, or "1.0" and result 0. */
RC_API int32_t FmGetPixelAspectRatioStr(FmPARCode code, FmPARCode fallback, char* text);
/* The first equal preset's name, else the ratio text, in at most length
   bytes (terminated); nothing is written when length <= 0. */
RC_API int32_t FmGetPixelAspectRatioDesc(FmPARCode code, FmPARCode fallback, char* text,
                                         int32_t length);

/* ---- Widths and rectangles ---- */
/* Width in square pixels: width x numerator / denominator, truncated toward
   zero and held to the 32-bit range. Square codes return the width. */
RC_API int32_t FmPixelWidthScale(FmPARCode code, int32_t width);
/* The inverse: width x denominator / numerator. */
RC_API int32_t FmPixelWidthUnscale(FmPARCode code, int32_t width);
/* Scales the rectangle's width, keeping its left edge; 1 if it changed. */
RC_API int32_t FmPixelRectScale(FmPARCode code, FmRect* rect);

/* ---- The record kept with a file ---- */
/* Both words get the code of numerator / denominator; when either is 0 the
   frame's size (frame may be null) is looked up in the frame-size defaults
   first; square pixels when neither gives a ratio. */
RC_API void FmInitPixelAspectRec(FmPixelAspectRec* record, const FmRect* frame, int32_t numerator,
                                 int32_t denominator);
/* The interpreted code when it differs from the original, else 0. */
RC_API FmPARCode FmGetPixelAspectRatioForFile(const FmPixelAspectRec* record);
/* The interpreted code of the clip's file (0 without one); the setter
   returns the previous code. */
RC_API FmPARCode GetPixelAspectRatio(int32_t clipID);
RC_API FmPARCode SetPixelAspectRatio(int32_t clipID, FmPARCode value);

/* ---- Display rectangle ---- */
/* The rectangle of a width x height movie inside frame (may be null): widened
   to square pixels when slot 395 is on, fitted (in whole steps 4x, 2x, 1x,
   1/2x ... when wholeSteps is set, else keeping its proportion) and centred
   when centre is set. Empty for an empty frame or size. */
RC_API void FmCalcMovieRect(const FmRect* frame, int32_t width, int32_t height, FmPARCode code,
                            Boolean centre, Boolean wholeSteps, FmRect* out);

/* ---- The preset list of dialogs ----
   The list is the dialog's child window whose "DlgItem" property is item: a
   single-selection list of entries {text, code}, enabled only with more than
   one entry. */
RC_API void FmPARUIInitList(FmWindow dialog, int32_t item, FmPARCode code);
/* The code of the control's selected entry (0 without one). */
RC_API FmPARCode FmPARUIPARFromItem(FmWindow control);
/* The dialog's child with "DlgItem" property item, 0 if none. */
RC_API FmWindow FmPARUIListControl(FmWindow dialog, int32_t item);
RC_API int32_t FmPARUIListCount(FmWindow control);
/* Entry text (up to room bytes, terminated) and code; false outside the list. */
RC_API Boolean FmPARUIListEntry(FmWindow control, int32_t index, char* text, int32_t room,
                                FmPARCode* code);
/* Selected entry, -1 for none. */
RC_API int32_t FmPARUIListSelection(FmWindow control);
RC_API Boolean FmPARUIListSelect(FmWindow control, int32_t index);
RC_API Boolean FmPARUIListEnabled(FmWindow control);

#ifdef __cplusplus
}
#endif

#endif
