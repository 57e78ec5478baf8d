// The pixel aspect ratio kept with a file, reached through a clip.
#include "media/file_table_internal.h"
#include "reelcore/clips.h"

RC_API FmPARCode GetPixelAspectRatio(int32_t clipID) {
    const FmFileRecord* r = rc::media::findFileRec(ClipFile(clipID));
    return r ? r->pixelAspect.interpreted : 0;
}

RC_API FmPARCode SetPixelAspectRatio(int32_t clipID, FmPARCode value) {
    FmFileRecord* r = rc::media::findFileRec(ClipFile(clipID));
    if (!r) return 0;
    const FmPARCode previous = r->pixelAspect.interpreted;
    r->pixelAspect.interpreted = value;
    return previous;
}
