/* Strings, paths, type codes, fixed-point numbers, message templates, line
   endings and rectangles.

   Counted strings are one length byte followed by at most 255 bytes (a
   256-byte buffer). C strings end with a NUL. Paths are Windows-style: an
   optional drive ("C:"), directories separated by '\' or '/', a name and an
   optional extension (from the last dot of the name; a leading dot does not
   start one). */
#ifndef REELCORE_STRINGS_H
#define REELCORE_STRINGS_H

#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Comparison and numbers ---- */
/* True when a and b are identical byte for byte. */
RC_API Boolean StringsSame(const char* a, const char* b);
/* True when b begins with the whole of a (an empty a matches anything). */
RC_API Boolean FmStringsSame(const char* a, const char* b);
/* Case-insensitive comparison in the current locale: <0, 0 or >0. */
RC_API int32_t fmCompareString(const char* a, const char* b);
/* Parses a decimal integer (optional sign, stops at the first non-digit;
   saturates at the 32-bit limits), stores it through out (may be null) and
   returns it. */
RC_API int32_t StringToNum(const char* text, int32_t* out);
/* Writes n in decimal; dst holds at least 12 bytes. */
RC_API void NumToString(int32_t n, char* dst);
RC_API void FmNumToString(int32_t n, char* dst);
RC_API Boolean HasCR(const char* text);
/* Replaces the first space by a NUL: 1 if there was one, else 0. */
RC_API int16_t NullSpace(char* text);
RC_API void TitleString(const char* src, char* dst);
/* 16.16 fixed point from a double, each part truncated toward zero;
   values beyond the range saturate, NaN gives 0. */
RC_API Fixed fmDouble2Fix(double x);
RC_API double fmFix2Double(Fixed f);
/* Reverse the byte order of the 16- or 32-bit value at p (any alignment) and
   return the value as it was before. */
RC_API uint16_t SwapShort(void* p);
RC_API uint32_t SwapLong(void* p);

/* ---- String forms and type codes ---- */
/* In place, C string to counted string (cut to 255 bytes); returns s. */
RC_API unsigned char* c2pstr(char* s);
/* In place, counted string to C string; returns s. */
RC_API char* p2cstr(unsigned char* s);
/* dst holds 256 bytes. */
RC_API void CopyPascalStringToC(const unsigned char* src, char* dst);
/* Copies at most 255 bytes of src; dst holds 256 bytes. */
RC_API void CopyCStringToPascal(const char* src, unsigned char* dst);
/* Writes the four characters, first character first, and a NUL (5 bytes);
   returns dst. */
RC_API char* FmTypeToStr(OSType type, char* dst);
RC_API char* TypeToStr(OSType type, char* dst);
/* Reads at most four characters into a type code; a text shorter than four
   characters (a NUL within them) is padded with zero bytes, so that codes
   holding zero bytes survive FmTypeToStr and back. */
RC_API void FmStrToType(OSType* out, const char* chars);

/* ---- Paths ---- */
/* The first character of the name (after the drive and the last separator). */
RC_API char* FileNameFromPath(const char* path);
/* Writes the drive and the directory without a final separator to dst (at
   most the length of path plus one). Returns 1, or 0 when the path has no
   directory (dst then holds only the drive). */
RC_API int16_t DirNameFromPath(const char* path, char* dst);
/* The dot that starts the extension of the name, or null. */
RC_API char* FindExtension(const char* path);
RC_API void ChopExtension(char* path);
/* Cuts the path at its last separator; no change without one. */
RC_API void ChopFileName(char* path);
/* Names longer than 8 bytes are cut to 8 bytes and characters 2 to 8 that
   are not A-Z, a-z, 1-9, '_', '!', '-' or byte 8 become '_'. */
RC_API void StringToFileName(char* name);
/* For a file-dialog filter entry (description, NUL, pattern): the text after
   the pattern's last dot (an empty text when it has none). */
RC_API const char* DefExtFromFilter(const char* filter);
/* Takes the next name from a multiple-selection list (directory, NUL, names
   each followed by a NUL, then a second NUL): dst (260 bytes) receives the
   directory, a backslash if it lacks one, and the name, which is removed from
   the list. 1 when a name was taken; 0 when no names are left or the joined
   path does not fit (nothing changes then). */
RC_API int16_t parsename(char* list, char* dst);
/* True when the file's status can be read. */
RC_API Boolean exists(const char* path);

/* ---- Double-byte text ----
   Scripts: 0 single-byte only, 1 Shift-JIS, 2 Big5, 3 Hangul. */
RC_API int16_t GetResourceScript(void);
/* Sets the library's script (values outside 0..3 give 0); returns the new
   script. */
RC_API int16_t FmSetResourceScript(int16_t script);
/* 0 single-byte character, -1 first byte of a double-byte character, 1 its
   second byte. */
RC_API int16_t CharByte(const char* text, int32_t offset);
/* Cuts a text longer than n bytes to at most n bytes without leaving a first
   byte at the end: 1 when it cut, 0 when nothing was cut. */
RC_API int16_t TruncLength(char* text, int32_t n);
/* Copies src to dst (256 bytes) and, while the text is wider than width in
   the device context, removes one more character before the cut and puts
   the ellipsis (string 25 of list 1003) there. Returns 1 when it cut. */
RC_API int16_t StringTrunc(intptr_t dc, const char* src, char* dst, int32_t width);
RC_API int16_t FmStringTrunc(intptr_t dc, const char* src, char* dst, int32_t width);
/* Removes accelerator marks in place. */
RC_API void RemoveAmpersands(char* text);

/* ---- Message templates ----
   Two-character escapes of a marker and a digit d take argument d:
     ^d decimal, /d C string, &d string (low 16 bits of the argument) of the
     string list whose ID is the low 16 bits of flags, }d timecode of the
     argument in timeBase with flags, %d the same with flag 0x100000.
   A doubled marker gives the marker. Arguments are pointer-sized so that C
   strings can be passed; timeBase points at a time record (TDB).
   The destination holds kExpandStringMax bytes: the output is cut there and
   always NUL-terminated; its length (without the NUL) is stored through
   outLength. A negative templateLength means the template is a C string. */
enum { kExpandStringMax = 1024 };
RC_API void DoExpandString(const char* tmpl, int32_t templateLength, char* dst, int32_t* outLength,
                           const intptr_t* args, const void* timeBase, int32_t flags);
RC_API void FmDoExpandString(const char* tmpl, int32_t templateLength, char* dst,
                             int32_t* outLength, const intptr_t* args, const void* timeBase,
                             int32_t flags);
/* Expands `TEXT` resource textID into a new handle holding the text and its
   NUL. The arguments follow as intptr_t values or pointers. A missing
   resource gives an empty handle; a failed allocation gives null. */
RC_API Handle FmExpandString(int16_t textID, const void* timeBase, int32_t flags, ...);
RC_API Handle ExpandString(int16_t textID, const void* timeBase, int32_t flags, ...);

/* ---- Line endings ----
   Mode 'm': CR LF, LF CR and a lone LF become CR. Any other mode ('w'):
   a CR not followed by LF becomes CR LF. With a null dst only measures.
   Stores the result's length with its NUL through outLength (may be null)
   and returns true when the text needs a change. */
RC_API Boolean FmFixLineEnding(const char* src, char* dst, int32_t mode, int32_t* outLength);
/* For a handle holding a text: stores through result a new converted handle
   when a change is needed, else the handle given. Returns 0, or -108 when the
   new handle could not be made (result then receives the handle given). */
RC_API OSErr FmFixHandleLineEnding(Handle text, Handle* result, int32_t mode);

/* ---- Rectangles ---- */
/* Moves the point to the same relative place in `to`; an empty source
   leaves it at to's left / top. */
RC_API void MapPoint(FmPoint* point, const FmRect* from, const FmRect* to);
RC_API void MapRect(FmRect* rect, const FmRect* from, const FmRect* to);
/* size holds (width, height). */
RC_API void ScalePt(FmPoint* size, const FmRect* from, const FmRect* to);
RC_API void PinPt(FmPoint* point, const FmRect* rect);
RC_API FmPoint PinRect(const FmRect* rect, int32_t x, int32_t y);
RC_API Boolean fmPtClose(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
RC_API void fmPt2Rect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, FmRect* rect);
/* Copies 8-byte pattern `index` (from 1) of `PAT#` resource `list` to dst;
   returns 0, or -192 when there is no such resource or pattern (dst
   unchanged). */
RC_API OSErr GetIndPattern(uint8_t* dst, int16_t list, int16_t index);

#ifdef __cplusplus
}
#endif

#endif
