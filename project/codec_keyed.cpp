// Single keyed values: one "key=value" line each, in the codec's encodings.
#include <cstring>

#include "project/codec_internal.h"

using namespace rc::project;

namespace {

OSErr readValue(ProjBufHand stream, char letter, int32_t count, void* data) {
    return readKeyed(rec(stream), letter, count, data, nullptr);
}

OSErr writeValue(ProjBufHand stream, const char* key, char letter, int32_t count,
                 const void* data) {
    return writeKeyed(rec(stream), key, letter, count, data);
}

OSErr writeHandleLetter(ProjBufHand stream, const char* key, char letter, Handle h) {
    uint32_t word = HandleToWord(h);
    return writeValue(stream, key, letter, 1, &word);
}

OSErr readHandleLetter(ProjBufHand stream, char letter, Handle* h) {
    if (!h) return kProjParamErr;
    uint32_t word = letter == 'Z' ? HandleToWord(*h) : 0;
    OSErr err = readValue(stream, letter, 1, &word);
    *h = WordToHandle(word);
    return err;
}

}  // namespace

RC_API OSErr FmWriteSectionTag(ProjBufHand stream, OSType tag) {
    OSErr err = WriteTag(tag, stream);
    OSErr eol = WriteEOL(stream);
    return err ? err : eol;
}

RC_API OSErr FmFindAndReadSectionTag(ProjBufHand stream, OSType tag) {
    StreamRec* s = rec(stream);
    if (!s) return kProjParamErr;
    if (!FindStruct(stream, tag)) return fnfErr;
    skipLine(s);
    return noErr;
}

RC_API OSErr FmWriteLong(ProjBufHand stream, const char* key, int32_t value) {
    return writeValue(stream, key, 'L', 1, &value);
}
RC_API OSErr FmReadLong(ProjBufHand stream, const char*, int32_t* value) {
    return readValue(stream, 'L', 1, value);
}
RC_API OSErr FmWriteShort(ProjBufHand stream, const char* key, int16_t value) {
    return writeValue(stream, key, 'S', 1, &value);
}
RC_API OSErr FmReadShort(ProjBufHand stream, const char*, int16_t* value) {
    return readValue(stream, 'S', 1, value);
}
RC_API OSErr FmWriteChar(ProjBufHand stream, const char* key, char value) {
    return writeValue(stream, key, 'C', 1, &value);
}
RC_API OSErr FmReadChar(ProjBufHand stream, const char*, char* value) {
    return readValue(stream, 'C', 1, value);
}
RC_API OSErr FmWriteBoolean(ProjBufHand stream, const char* key, Boolean value) {
    return writeValue(stream, key, 'B', 1, &value);
}
RC_API OSErr FmReadBoolean(ProjBufHand stream, const char*, Boolean* value) {
    return readValue(stream, 'B', 1, value);
}
RC_API OSErr FmWriteDouble(ProjBufHand stream, const char* key, double value) {
    return writeValue(stream, key, 'D', 1, &value);
}
RC_API OSErr FmReadDouble(ProjBufHand stream, const char*, double* value) {
    return readValue(stream, 'D', 1, value);
}
RC_API OSErr FmWriteFloat(ProjBufHand stream, const char* key, float value) {
    return writeValue(stream, key, 'F', 1, &value);
}
RC_API OSErr FmReadFloat(ProjBufHand stream, const char*, float* value) {
    return readValue(stream, 'F', 1, value);
}
RC_API OSErr FmWriteFourCharCode(ProjBufHand stream, const char* key, OSType value) {
    return writeValue(stream, key, 'T', 1, &value);
}
RC_API OSErr FmReadFourCharCode(ProjBufHand stream, const char*, OSType* value) {
    return readValue(stream, 'T', 1, value);
}
RC_API OSErr FmWriteFmRect(ProjBufHand stream, const char* key, const FmRect* value) {
    return writeValue(stream, key, 'R', 1, value);
}
RC_API OSErr FmReadFmRect(ProjBufHand stream, const char*, FmRect* value) {
    return readValue(stream, 'R', 1, value);
}
RC_API OSErr FmWriteFmPoint(ProjBufHand stream, const char* key, const FmPoint* value) {
    return writeValue(stream, key, 'P', 1, value);
}
RC_API OSErr FmReadFmPoint(ProjBufHand stream, const char*, FmPoint* value) {
    return readValue(stream, 'P', 1, value);
}
RC_API OSErr FmWriteHandleSize(ProjBufHand stream, const char* key, Handle value) {
    return writeHandleLetter(stream, key, 'W', value);
}
RC_API OSErr FmReadHandleSize(ProjBufHand stream, const char*, Handle* value) {
    return readHandleLetter(stream, 'W', value);
}
RC_API OSErr FmWriteHandle(ProjBufHand stream, const char* key, Handle value) {
    return writeHandleLetter(stream, key, 'H', value);
}
RC_API OSErr FmReadHandle(ProjBufHand stream, const char*, Handle* value) {
    return readHandleLetter(stream, 'H', value);
}
RC_API OSErr FmWriteHandleStrList(ProjBufHand stream, const char* key, Handle value) {
    return writeHandleLetter(stream, key, 'M', value);
}
RC_API OSErr FmReadHandleStrList(ProjBufHand stream, const char*, Handle* value) {
    return readHandleLetter(stream, 'M', value);
}
RC_API OSErr FmWriteFixed(ProjBufHand stream, const char* key, Fixed value) {
    return writeValue(stream, key, 'X', 1, &value);
}
RC_API OSErr FmReadFixed(ProjBufHand stream, const char*, Fixed* value) {
    return readValue(stream, 'X', 1, value);
}
RC_API OSErr FmWriteOpaquePtr(ProjBufHand stream, const char* key, Ptr value) {
    return writeValue(stream, key, 'Y', 1, &value);
}
RC_API OSErr FmReadOpaquePtr(ProjBufHand stream, const char*, Ptr* value) {
    return readValue(stream, 'Y', 1, value);
}
RC_API OSErr FmWriteOpaqueHandle(ProjBufHand stream, const char* key, Handle value) {
    return writeHandleLetter(stream, key, 'Z', value);
}
RC_API OSErr FmReadOpaqueHandle(ProjBufHand stream, const char*, Handle* value) {
    return readHandleLetter(stream, 'Z', value);
}
RC_API OSErr FmWriteCStr(ProjBufHand stream, const char* key, const char* text) {
    if (!text) return kProjParamErr;
    return writeValue(stream, key, 'C', int32_t(std::strlen(text)), text);
}
RC_API OSErr FmWriteCStr_CharOnly(ProjBufHand stream, const char* key, const char* text) {
    if (!text) return kProjParamErr;
    return writeValue(stream, key, 'E', int32_t(std::strlen(text)), text);
}
RC_API OSErr FmReadCStr(ProjBufHand stream, const char*, char* buffer, int32_t size) {
    if (size < 0) return kProjParamErr;
    return readValue(stream, 'C', size, buffer);
}
RC_API OSErr FmWriteKey(ProjBufHand stream, const char* key, const char* letters, int32_t count,
                        const void* data) {
    if (!letters || !*letters) return kProjParamErr;
    return writeValue(stream, key, letters[0], count, data);
}
RC_API OSErr FmReadKey(ProjBufHand stream, const char*, const char* letters, int32_t count,
                       void* data) {
    if (!letters || !*letters) return kProjParamErr;
    return readValue(stream, letters[0], count, data);
}
