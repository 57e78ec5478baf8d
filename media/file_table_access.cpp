// Accessors of file records. An id without a record does nothing and reads 0.
#include <cstring>
#include <string>

#include "media/file_table_internal.h"
#include "media/media_hooks.h"
#include "reelcore/files.h"

using namespace rc::media;

namespace {

// 16-bit flags keep only the low 8 bits of what they are given.
int16_t lowByte(int32_t v) {
    return int16_t(uint8_t(v));
}

const char* fileNamePart(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    return name;
}

bool typeFlagBit(int16_t id, int bit) {
    FmFileRecord* r = findFileRec(id);
    return r && ((getTypeFlags(r->type) >> bit) & 1u);
}

}  // namespace

RC_API void GetFileText(int16_t id, char* dst) {
    if (!dst) return;
    dst[0] = '\0';
    FmFileRecord* r = findFileRec(id);
    if (!r) return;
    if (r->text[0]) {
        std::memcpy(dst, r->text, kFileTextSize);
        dst[kFileTextSize - 1] = '\0';
        return;
    }
    char path[sizeof r->spec.name];
    std::memcpy(path, r->spec.name, sizeof path);
    path[sizeof path - 1] = '\0';
    std::strcpy(dst, fileNamePart(path));
}

RC_API void SetFileText(int16_t id, const char* text) {
    FmFileRecord* r = findFileRec(id);
    if (!r) return;
    std::memset(r->text, 0, kFileTextSize);
    if (text) std::strncpy(r->text, text, kFileTextSize - 1);
}

RC_API int16_t GetFileUntitled(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    return r ? r->untitled : 0;
}
RC_API void SetFileUntitled(int16_t id, int32_t on) {
    if (FmFileRecord* r = findFileRec(id)) r->untitled = uint8_t(on);
}

RC_API int16_t GetFileDirty(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    return r ? r->dirty : 0;
}
RC_API void SetFileDirty(int16_t id, int32_t on) {
    if (FmFileRecord* r = findFileRec(id)) r->dirty = lowByte(on);
}

RC_API int16_t GetFileIsCap(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    return r ? r->capture : 0;
}
RC_API int16_t GetFileCanDraw(int16_t id) {
    return GetFileIsCap(id);
}
RC_API void SetFileIsCap(int16_t id, int32_t on) {
    if (FmFileRecord* r = findFileRec(id)) r->capture = lowByte(on);
}

RC_API int16_t GetFileIsStill(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    return r ? r->still : 0;
}

RC_API int16_t GetFileNoDuration(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    return r ? r->info.noDuration : 0;
}

RC_API Boolean FileIsInfinite(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    return r && (r->info.noDuration || r->still);
}

RC_API int16_t GetFileNotReal(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    return r ? r->notReal : 0;
}
RC_API void SetFileNotReal(int16_t id, int32_t on) {
    if (FmFileRecord* r = findFileRec(id)) r->notReal = lowByte(on);
}

RC_API int16_t GetFileDelete(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    return r ? r->deleteOnClose : 0;
}
RC_API void SetFileDelete(int16_t id, int32_t on) {
    if (FmFileRecord* r = findFileRec(id)) r->deleteOnClose = lowByte(on);
}

RC_API OSType GetFileTypeID(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    return r ? r->type : 0;
}

RC_API OSType GetFileDraw(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    return r ? r->handler : 0;
}

RC_API int32_t GetFileVersion(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    return r ? r->version : 0;
}
RC_API void SetFileVersion(int16_t id, int32_t version) {
    if (FmFileRecord* r = findFileRec(id)) r->version = version;
}

RC_API int16_t GetFileIsFramestore(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    return r ? r->info.isFramestore : 0;
}

// Turning a frame store on needs a numbered file whose next number exists
// with the same type.
RC_API void SetFileIsFramestore(int16_t id, int32_t on) {
    FmFileRecord* r = findFileRec(id);
    if (!r) return;
    if (!uint8_t(on)) {
        r->info.isFramestore = 0;
        return;
    }
    std::string next;
    if (!nextInSequence(r->spec.name, &next) || !pathExists(next.c_str())) return;
    FSSpec nextSpec = r->spec;
    std::memset(nextSpec.name, 0, sizeof nextSpec.name);
    std::strncpy(nextSpec.name, next.c_str(), sizeof nextSpec.name - 1);
    if (FSSpecToFileType(&nextSpec) != r->type) return;
    r = findFileRec(id);
    r->info.isFramestore = 1;
    r->still = 0;
}

RC_API Boolean GetFileContent(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    return r && !r->offline;
}

RC_API Boolean GetFileCanWriteTimecode(int16_t id) {
    return typeFlagBit(id, 9);
}
RC_API Boolean GetFileCanWriteMetaData(int16_t id) {
    return typeFlagBit(id, 10);
}
RC_API Boolean GetFileCantBatchProcess(int16_t id) {
    return typeFlagBit(id, 11);
}

RC_API void GetFileTimeBase(int16_t id, TDB* out, int32_t audio) {
    FmFileRecord* r = findFileRec(id);
    if (!r || !out) return;
    *out = audio ? r->info.audio : r->info.video;
}
