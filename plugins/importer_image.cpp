// Image import through an importer: frame stores (a numbered sequence of
// stills read as one clip), fields interleaved from two frames when the
// project renders fields, and the opaque alpha of pictures without one.
#include <algorithm>
#include <cstring>
#include <string>

#include "media/file_table_internal.h"
#include "media/media_access_internal.h"
#include "plugins/importer_host.h"
#include "reelcore/files.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/importers.h"
#include "reelcore/ppix.h"
#include "reelcore/settings.h"

using rc::media::findFileRec;

namespace rc::plugins {

namespace {

// The digits of "dir/name0042.ext": their start and length in the path.
bool numberSpan(const std::string& path, size_t& start, size_t& length) {
    const size_t slash = path.find_last_of("/\\");
    const size_t name = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.find_last_of('.');
    const size_t end = (dot == std::string::npos || dot < name) ? path.size() : dot;
    size_t begin = end;
    while (begin > name && path[begin - 1] >= '0' && path[begin - 1] <= '9') --begin;
    // Numbers past 18 digits would overflow; such names are not sequences.
    if (begin == end || end - begin > 18) return false;
    start = begin;
    length = end - begin;
    return true;
}

int32_t frameCount(const FmFileRecord* r) {
    const TDB& v = r->info.video;
    return v.samp > 0 ? std::max<int32_t>(1, v.value / v.samp) : 1;
}

// The project's field order: 1 upper field first, 2 lower, 0 whole frames.
int32_t projectFields() {
    Handle settings = reinterpret_cast<Handle>(GetAGlobal(kSlotProjectSettings));
    const int32_t order = settings ? psetGetFieldType(settings) : 0;
    return order == 1 || order == 2 ? order : 0;
}

// One image request for the frame into the buffer's rectangle. `opaque`
// tells whether the importer wrote alpha 255 everywhere.
int16_t requestImage(int16_t fileID, OSType handler, int32_t frame, FileRef ref, PPixHand pix,
                     const FmRect& rect, int32_t flags, bool& opaque) {
    auto* rec = reinterpret_cast<PPixRecord*>(*pix);
    const int32_t height = rec->bounds.bottom - rec->bounds.top;
    RcImportImageRequest req{};
    req.fileRef = ref;
    req.privateData = reinterpret_cast<intptr_t>(findFileRec(fileID)->handlerData);
    req.prefs = LockImporterPrefs(fileID, &req.prefsSize);
    req.in = req.out = req.position = frame;
    req.width = rect.right - rect.left;
    req.height = rect.bottom - rect.top;
    req.depth = 32;
    // Buffers keep their rows bottom-up: the request walks them upwards.
    req.rowStride = -rec->rowBytes;
    req.pixels =
        rec->pixels + int64_t(rec->rowBytes) * (height - 1 - rect.top) + int64_t(rect.left) * 4;
    req.flags = flags & kRcImageThroughBuffer;
    FmDebug(0, "imImportImage: filename:%s, in=%d, out=%d, pos=%d", findFileRec(fileID)->spec.name,
            req.in, req.out, req.position);
    const int16_t result = callImporter(handler, kRcImportImage, intptr_t(ref), intptr_t(&req));
    UnlockImporterPrefs(fileID);
    opaque = req.opaque != 0;
    return result;
}

// The frame's picture: for a frame store the numbered file of the sequence,
// else the file itself (frame 0 of a store is the file itself too).
int16_t importFrame(int16_t fileID, int32_t frame, PPixHand pix, const FmRect& rect, int32_t flags,
                    bool& opaque) {
    FmFileRecord* r = findFileRec(fileID);
    const OSType handler = r->handler;
    std::string path;
    if (r->info.isFramestore && frame > 0 && numberedPath(r->spec.name, frame, path)) {
        FSSpec spec = r->spec;
        std::memset(spec.name, 0, sizeof spec.name);
        std::strncpy(spec.name, path.c_str(), sizeof spec.name - 1);
        FileRef ref = -1;
        if (FSpOpenDF(&spec, fsRdPerm, &ref) != noErr) return kImportCannotOpen;
        const int16_t result = requestImage(fileID, handler, frame, ref, pix, rect, flags, opaque);
        FSClose(ref);
        return result;
    }
    const FileRef ref = OpenFmxFile(fileID, false);
    if (ref == -1) return kImportCannotOpen;
    const int16_t result = requestImage(fileID, handler, frame, ref, pix, rect, flags, opaque);
    ReleaseFile(fileID);
    return result;
}

PPixRecord* recOf(PPixHand pix) {
    return reinterpret_cast<PPixRecord*>(*pix);
}

uint8_t* rowOf(PPixHand pix, int32_t y) {
    PPixRecord* r = recOf(pix);
    const int32_t height = r->bounds.bottom - r->bounds.top;
    return reinterpret_cast<uint8_t*>(r->pixels + int64_t(r->rowBytes) * (height - 1 - y));
}

// Rows of the second field (odd rows when the upper field comes first) taken
// from `second`, a buffer of the rectangle's size.
void interleave(PPixHand pix, const FmRect& rect, PPixHand second, int32_t order) {
    const int32_t width = rect.right - rect.left;
    for (int32_t y = order == 1 ? 1 : 0; y < rect.bottom - rect.top; y += 2)
        std::memcpy(rowOf(pix, rect.top + y) + int64_t(rect.left) * 4, rowOf(second, y),
                    size_t(width) * 4);
}

}  // namespace

bool numberedPath(const char* first, int64_t offset, std::string& out) {
    if (!first || offset < 0) return false;
    const std::string path = first;
    size_t start = 0, length = 0;
    if (!numberSpan(path, start, length)) return false;
    const uint64_t number = std::stoull(path.substr(start, length)) + uint64_t(offset);
    std::string digits = std::to_string(number);
    if (digits.size() < length) digits.insert(0, length - digits.size(), '0');
    out = path.substr(0, start) + digits + path.substr(start + length);
    return true;
}

int32_t gatherSequence(const char* first, int32_t limit) {
    int32_t count = 1;
    std::string next;
    while (count < limit && numberedPath(first, count, next) && rc::media::pathExists(next.c_str()))
        ++count;
    return count;
}

OSErr importImage(int16_t fileID, int32_t frame, PPixHand pix, const FmRect& rect, int32_t flags) {
    FmFileRecord* r = findFileRec(fileID);
    if (!r || !pix) return kImportCannotOpen;
    const bool alphaIgnored = r->info.depth == 24 || r->info.alphaType == kRcAlphaIgnore;
    const int32_t frames = frameCount(r);
    const int32_t order = (r->still || r->info.fieldType != 0) ? 0 : projectFields();
    if (r->info.isFramestore) frame = std::clamp(frame, 0, frames - 1);
    bool opaque = false;
    int16_t result = importFrame(fileID, frame, pix, rect, flags, opaque);
    if (result != 0) return result;
    if (order != 0) {
        // The second field comes from the next frame (the last frame repeats).
        const FmRect size{0, 0, rect.right - rect.left, rect.bottom - rect.top};
        PPixHand second = ppixNew(&size);
        if (!second) return memFullErr;
        const int32_t next = std::min(frame + 1, frames - 1);
        bool secondOpaque = false;
        result = importFrame(fileID, next, second, size, flags, secondOpaque);
        opaque = opaque && secondOpaque;
        if (result == 0) interleave(pix, rect, second, order);
        ppixDispose(second);
        if (result != 0) return result;
    }
    if (alphaIgnored && !opaque) {
        for (int32_t y = rect.top; y < rect.bottom; ++y) {
            uint8_t* row = rowOf(pix, y);
            for (int32_t x = rect.left; x < rect.right; ++x) row[x * 4 + 3] = 255;
        }
    }
    return 0;
}

}  // namespace rc::plugins
