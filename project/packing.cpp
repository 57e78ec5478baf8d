// Packing-list builders: strides computed from the offsets of packed records.
#include <cstddef>
#include <initializer_list>

#include "project/records.h"
#include "reelcore/filetable.h"
#include "reelcore/struct_codec.h"
#include "settings/settings_block.h"

namespace {

// Each stride runs from one stored field to the next; the last runs to
// `end`, so the list sums to the record's size.
void fill(int32_t* packing, std::initializer_list<size_t> offsets, size_t end) {
    if (!packing) return;
    const size_t* o = offsets.begin();
    size_t n = offsets.size();
    for (size_t i = 0; i < n; ++i) packing[i] = int32_t((i + 1 < n ? o[i + 1] : end) - o[i]);
    packing[n] = 0;
}

}  // namespace

using rc::project::ClipAspect;
using rc::project::ProjHeader;
using rc::project::ProjRec;
using rc::project::RangeRec;
using rc::project::RubberHand;
using rc::project::RubberHandPt;
using rc::project::TrackRec;
namespace st = rc::settings;

#define OFF(T, f) offsetof(T, f)

RC_API void FindHeaderPacking(int32_t* packing) {
    fill(packing,
         {OFF(ProjHeader, signature), OFF(ProjHeader, version), OFF(ProjHeader, dirOffset),
          OFF(ProjHeader, platform)},
         sizeof(ProjHeader));
}

RC_API void FindRangeRecPacking(int32_t* packing) {
    fill(packing, {OFF(RangeRec, fileID), OFF(RangeRec, trimIn)}, sizeof(RangeRec));
}

RC_API void FindTrackRecPacking(int32_t* packing) {
    fill(packing,
         {OFF(TrackRec, theTrack), OFF(TrackRec, active), OFF(TrackRec, locked),
          OFF(TrackRec, output), OFF(TrackRec, shy), OFF(TrackRec, name), OFF(TrackRec, linked),
          OFF(TrackRec, hilitesection), OFF(TrackRec, type), OFF(TrackRec, mapping),
          OFF(TrackRec, disabled), OFF(TrackRec, selected)},
         sizeof(TrackRec));
}

RC_API void FindRubberHandPacking(int32_t* packing) {
    fill(packing,
         {OFF(RubberHand, scale), OFF(RubberHand, count), OFF(RubberHand, reserved),
          OFF(RubberHand, kind)},
         sizeof(RubberHand));
}

RC_API void FindRubberHandPtsPacking(int32_t* packing) {
    fill(packing,
         {OFF(RubberHandPt, position), OFF(RubberHandPt, height), OFF(RubberHandPt, level)},
         sizeof(RubberHandPt));
}

RC_API void FindClipAspectPacking(int32_t* packing) {
    fill(packing, {OFF(ClipAspect, clipID), OFF(ClipAspect, aspectcolor)}, sizeof(ClipAspect));
}

RC_API void FindProjRecPacking(int32_t* packing, int32_t version) {
    if (version >= 7) {
        fill(packing, {OFF(ProjRec, ver),       OFF(ProjRec, ID),         OFF(ProjRec, type),
                       OFF(ProjRec, left),      OFF(ProjRec, rt),         OFF(ProjRec, desc),
                       OFF(ProjRec, sel),       OFF(ProjRec, foldFormat), OFF(ProjRec, loc),
                       OFF(ProjRec, foldItems), OFF(ProjRec, foldOwn),    OFF(ProjRec, foldName),
                       OFF(ProjRec, foldPos),   OFF(ProjRec, comment),    OFF(ProjRec, label1),
                       OFF(ProjRec, label2),    OFF(ProjRec, label3),     OFF(ProjRec, box),
                       OFF(ProjRec, order),     OFF(ProjRec, sortmode),   OFF(ProjRec, prevsort),
                       OFF(ProjRec, spare),     OFF(ProjRec, fileID),     OFF(ProjRec, expanded),
                       OFF(ProjRec, pathFlag),  OFF(ProjRec, filePath)},
             sizeof(ProjRec));
    } else {
        // Older entries end with three spare longs; the last stride covers
        // the rest of the record.
        fill(packing, {OFF(ProjRec, ver),       OFF(ProjRec, ID),         OFF(ProjRec, type),
                       OFF(ProjRec, left),      OFF(ProjRec, rt),         OFF(ProjRec, desc),
                       OFF(ProjRec, sel),       OFF(ProjRec, foldFormat), OFF(ProjRec, loc),
                       OFF(ProjRec, foldItems), OFF(ProjRec, foldOwn),    OFF(ProjRec, foldName),
                       OFF(ProjRec, foldPos),   OFF(ProjRec, comment),    OFF(ProjRec, label1),
                       OFF(ProjRec, label2),    OFF(ProjRec, label3),     OFF(ProjRec, box),
                       OFF(ProjRec, order),     OFF(ProjRec, sortmode),   OFF(ProjRec, prevsort),
                       OFF(ProjRec, spare)},
             sizeof(ProjRec));
    }
}

// The file table's offline description: the stored fields lie in the media
// information at its start and in the type and texts after it; the strides
// step over the fields kept only in memory.
RC_API void FindOfflineInfoPacking(int32_t* packing) {
    using T = FmOfflineInfo;
    fill(packing,
         {OFF(T, info.frame),         OFF(T, info.audio.value),   OFF(T, info.audio.scale),
          OFF(T, info.audio.samp),    OFF(T, info.video.value),   OFF(T, info.video.scale),
          OFF(T, info.video.samp),    OFF(T, info.depth),         OFF(T, info.mediaFlags),
          OFF(T, info.audioFormat),   OFF(T, info.pixelAspect),   OFF(T, info.fieldType),
          OFF(T, info.fieldsStacked), OFF(T, info.hasPulldown),   OFF(T, info.pulldownPhase),
          OFF(T, info.alphaType),     OFF(T, info.matteColor),    OFF(T, info.alphaInverted),
          OFF(T, info.isVectors),     OFF(T, info.drawsExternal), OFF(T, info.dontObscure),
          OFF(T, info.noDuration),    OFF(T, info.isFramestore),  OFF(T, fileType),
          OFF(T, timecode),           OFF(T, reelName),           OFF(T, folder)},
         sizeof(T));
}

RC_API void psetFindProjectPacking(int32_t* packing) {
    using T = st::PsetGeneral;
    fill(packing,
         {OFF(T, filetype), OFF(T, classid), OFF(T, compilerprefs), OFF(T, samplesize),
          OFF(T, scale), OFF(T, timeformat), OFF(T, projectlength), OFF(T, doaudio),
          OFF(T, dovideo), OFF(T, range), OFF(T, openwhendone), OFF(T, reserved1),
          OFF(T, reserved2), OFF(T, playmodprefs)},
         sizeof(T));
}

RC_API void psetFindVideoPacking(int32_t* packing) {
    using T = st::PsetVideo;
    // reserved2's stride also covers the unsaved palette count.
    fill(packing,
         {OFF(T, subtype), OFF(T, subtypeprefs), OFF(T, width), OFF(T, height), OFF(T, samplesize),
          OFF(T, scale), OFF(T, quality), OFF(T, depth), OFF(T, fieldtype), OFF(T, aspect43),
          OFF(T, paletteType), OFF(T, pixelAspect), OFF(T, reserved2), OFF(T, palette)},
         sizeof(T));
}

RC_API void psetFindAudioPacking(int32_t* packing) {
    using T = st::PsetAudio;
    fill(packing,
         {OFF(T, subtype), OFF(T, audrate), OFF(T, audsamplesize), OFF(T, audstereo),
          OFF(T, interleave), OFF(T, resampleQ), OFF(T, dither), OFF(T, logfade),
          OFF(T, previewmintracks), OFF(T, previewminfilters), OFF(T, subtypeprefs)},
         sizeof(T));
}

RC_API void psetFindDataRatePacking(int32_t* packing) {
    using T = st::PsetDataRate;
    fill(packing,
         {OFF(T, datarate), OFF(T, comppct), OFF(T, forcerecomp), OFF(T, usedatarate),
          OFF(T, usecomppct), OFF(T, reserved1), OFF(T, reserved2)},
         sizeof(T));
}

RC_API void psetFindKeyFramesPacking(int32_t* packing) {
    using T = st::PsetKeyFrames;
    fill(packing,
         {OFF(T, keyframeevery), OFF(T, atmarkers), OFF(T, atedits), OFF(T, dokeyframeevery),
          OFF(T, framesatmarkers), OFF(T, reserved1), OFF(T, reserved2)},
         sizeof(T));
}

RC_API void psetFindRenderingPacking(int32_t* packing) {
    using T = st::PsetRendering;
    fill(packing,
         {OFF(T, ignorevidfilters), OFF(T, ignoreaudfilters), OFF(T, ignorerubberbands),
          OFF(T, expandstills), OFF(T, useRamPrvw), OFF(T, reserved2)},
         sizeof(T));
}

RC_API void psetFindSpecialPacking(int32_t* packing) {
    using T = st::PsetSpecial;
    fill(packing,
         {OFF(T, cropleft), OFF(T, cropright), OFF(T, croptop), OFF(T, cropbottom), OFF(T, gamma),
          OFF(T, resizetocroprect), OFF(T, noisefilter), OFF(T, predinterlace), OFF(T, bestresize),
          OFF(T, reserved1), OFF(T, reserved2)},
         sizeof(T));
}

RC_API void psetFindCapturePacking(int32_t* packing) {
    using T = st::PsetCapture;
    fill(packing,
         {OFF(T, filetype),      OFF(T, classID),     OFF(T, scale),          OFF(T, samplesize),
          OFF(T, width),         OFF(T, height),      OFF(T, constrain),      OFF(T, useframesize),
          OFF(T, abortondrops),  OFF(T, reportdrops), OFF(T, decodeburnedtc), OFF(T, usecaplimit),
          OFF(T, log),           OFF(T, capvid),      OFF(T, capaud),         OFF(T, preroll),
          OFF(T, caplim),        OFF(T, tcoffset),    OFF(T, subtype),        OFF(T, audrate),
          OFF(T, audsamplesize), OFF(T, audstereo),   OFF(T, capprefs),       OFF(T, reserved1),
          OFF(T, reserved2)},
         sizeof(T));
}

RC_API void psetFindCaptureInfoPacking(int32_t* packing) {
    using T = st::PsetCaptureInfo;
    fill(packing,
         {OFF(T, capinfovalid), OFF(T, capvidsubtype), OFF(T, capdepth), OFF(T, cappixelaspect),
          OFF(T, capfieldtype), OFF(T, capquality)},
         sizeof(T));
}
