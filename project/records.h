// Byte-packed in-memory records whose fields the project sections store.
// Handles are 4-byte words (HandleToWord); run-time pointers are pointer-sized.
#pragma once

#include <cstddef>
#include <cstdint>

#include "reelcore/envelopes.h"
#include "reelcore/tracks.h"
#include "reelcore/types.h"

namespace rc::project {

// The track record and the band records are public (tracks.h, envelopes.h).
using ::RubberHand;
using ::RubberHandPt;
using ::TrackRec;

#pragma pack(push, 1)

struct ProjHeader {  // HEAD "TLLT"
    OSType signature;
    int32_t version;
    int32_t dirOffset;
    OSType platform;
};

struct RangeRec {  // FTRM "SL": the part of a file kept by trimming
    int16_t fileID;
    int32_t trimIn;
};

struct ClipAspect {  // CLPA "LL"
    int32_t clipID;
    int32_t aspectcolor;
};

constexpr size_t kProjRecSize = 1667;

struct ProjRec {  // PRJL
    int32_t ver;
    int32_t ID;
    int16_t type;
    int16_t left;
    int16_t rt;
    uint32_t desc;  // Handle word (string list)
    uint8_t sel;
    uint8_t foldFormat;
    FmPoint loc;
    uint32_t foldItems;  // Handle word; only its size is stored
    void* foldOwn;       // run-time pointer, not stored
    uint32_t foldName;   // Handle word (text)
    FmRect foldPos;
    char comment[256];
    char label1[256];
    char label2[256];
    char label3[256];
    FmRect box[16];
    int16_t order[16];
    int16_t sortmode;
    int16_t prevsort;
    int32_t spare;
    int32_t fileID;
    int16_t expanded;
    uint8_t pathFlag;
    char filePath[256];
    uint8_t reserved[kProjRecSize - 1635 - sizeof(void*)];
};

#pragma pack(pop)

static_assert(sizeof(ProjHeader) == 16, "project header");
static_assert(sizeof(RangeRec) == 6, "trim range record");
static_assert(sizeof(ClipAspect) == 8, "clip aspect record");
static_assert(sizeof(ProjRec) == kProjRecSize, "project-list entry");

}  // namespace rc::project
