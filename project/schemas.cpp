#include "project/schemas.h"

#include "project/stream_internal.h"
#include "settings/settings_block.h"

namespace rc::project {

namespace {

constexpr OSType code(const char (&c)[5]) {
    return (OSType(uint8_t(c[0])) << 24) | (OSType(uint8_t(c[1])) << 16) |
           (OSType(uint8_t(c[2])) << 8) | OSType(uint8_t(c[3]));
}

namespace st = rc::settings;

const KnownSchema kSchemas[] = {
    {code("HEAD"), "TLLT", "signature,version,dirOffset,platform", nullptr},
    {code("FILE"), "SB[16]LC[1]C[1]CLIZC[32]L",
     "fileID,param,filetype,vname,fname,isFramestore,prefLength,mediaType,prefHandle,title,"
     "pixelAspect",
     "SB[16]LC[1]C[1]CLIZC[32]"},
    {code("FTRM"), "SL", "fileID,trimIn", nullptr},
    {code("IFTG"), "LLLLLL",
     "interpValue,interpScale,interpSampleSize,origValue,origScale,origSampleSize", nullptr},
    {code("FNAM"), "C[300]", "fname", nullptr},
    {code("MNAM"), "C[32]", "matchName", nullptr},
    {code("TRKI"), "OB4HS6",
     "theTrack,active,locked,output,shy,name,linked,hilitesection,type,mapping,disabled,selected",
     nullptr},
    {code("CLIP"), "LLLL2LSS5FL[12]L5L4CC[14]LC[32]LSLWL", nullptr,
     "LLLL2LSS5FL[12]L5L2CC[14]LC[32]LSLWL"},
    {code("CLPD"), "L", "clipID", nullptr},
    {code("MRKC"), "S", "moremarkerscount", nullptr},
    {code("MRKT"), "S", "moremarkerscount", nullptr},
    {code("CLPM"), "L", nullptr, nullptr},
    {code("TMLM"), "LLMMMM", nullptr, "L"},
    {code("CLPT"), "LC[32]", "clipID,title", nullptr},
    {code("CLPA"), "LL", "clipID, aspectcolor", nullptr},
    {code("PRID"), "S", "fileID", nullptr},
    {code("FDAT"), "RL6S3LC5LC6LC[32]C[32]C[256]",
     "frame,audvalue,audscale,audsamp,vidvalue,vidscale,vidsamp,depth,flags,audflags,pixelAspect,"
     "fieldType,fieldsStacked,hasPulldown,pulldownPhase,alphaType,matteColor,alphaInverted,"
     "isVectors,drawsExternal,dontObscure,noDuration,isFramestore,fType,timecode,reelname,vname",
     nullptr},
    {code("FSTA"), "CCCCWLLL", "collapsed,shy,animate,unflatdata,sequencedata,flags,r3,r4",
     nullptr},
    {code("XESK"), "C[4999]", "paramFormat", nullptr},
    {code("XESX"), "C[4999]", "paramFormat", nullptr},
    {code("DIFV"), "S", nullptr, nullptr},
    {code("DIFA"), "S", nullptr, nullptr},
    {code("SNFV"), "L", nullptr, nullptr},
    {code("SNFA"), "L", nullptr, nullptr},
    {code("PFP0"), "S8C[256]C[256]C[256]C[256]R[16]S[16]S2L6SC[26]",
     "time,tag,size,copies,mode,snapto,hide,findin,f.comment,f.l1,f.l2,f.l3,box,order,sortmode,"
     "prefsort,value,scale,samp,val,scale,samp,sort,spare",
     nullptr},
    {code("PFC0"), "L3N[10]L7S5C6S7C4IS6B[6]B[8]", nullptr, "L3L[10]L7S5C6S7C4IS6B[6]B[8]"},
    {code("PJLN"), "S", nullptr, nullptr},
    {code("PRJL"), "LLS3MCCPWOHRC[256]C[256]C[256]C[256]R[16]S[16]S2LLSCC[256]",
     "ver,ID,type,left,rt,desc,sel,foldFormat,loc,foldItems,foldOwn,foldName,foldPos,comment,"
     "label1,label2,label3,box,order,sortmode,prevsort,spare,fileID, expanded, filePath",
     "LLS3MCCPWOHRC[256]C[256]C[256]C[256]R[16]S[16]S2L[3]"},
    {code("WCMP"), "S4C2", "left,top,width,height,visible,filler", nullptr},
    {code("WFST"), "S4C2", "left,top,width,height,visible,filler", nullptr},
    {code("WFXC"), "S4C2", "left,top,width,height,visible,filler", nullptr},
    {code("WMIX"), "S4C2", "left,top,width,height,visible,filler", nullptr},
    {code("WPRJ"), "S4C2", "left,top,width,height,visible,filler", nullptr},
    {code("WVEW"), "S4C2", "left,top,width,height,visible,filler", nullptr},
    {code("WSTA"), "S4C2", "left,top,width,height,visible,filler", nullptr},
    {code("PTYP"), st::kGeneralType, st::kGeneralNames, nullptr},
    {code("PVID"), st::kVideoType, st::kVideoNames, nullptr},
    {code("ASET"), st::kAudioType, st::kAudioNames, nullptr},
    {code("DRAT"), st::kDataRateType, st::kDataRateNames, nullptr},
    {code("KFRM"), st::kKeyFramesType, st::kKeyFramesNames, nullptr},
    {code("RENO"), st::kRenderingType, st::kRenderingNames, nullptr},
    {code("SPRC"), st::kSpecialType, st::kSpecialNames, nullptr},
    {code("PCAP"), st::kCaptureType, st::kCaptureNames, nullptr},
    {code("PCPI"), st::kCaptureInfoType, st::kCaptureInfoNames, nullptr},
    {code("PDEV"), st::kDeviceType, st::kDeviceNames, nullptr},
    {code("Phdr"), "LLLLL", nullptr, nullptr},
    {code("Pdat"), "C[1024]", "description", nullptr},
    {code("MOT5"), "LS4", "colr,smooth,fillA,smoothMethod,count", nullptr},
    {code("MOPT"), "S[2]S6C2S[2]LTS[8]",
     "spot,hasfrac,zoom,motionMethod,time,delay,rot,fracH,fracV,spotfrac,ratio,code,dest", nullptr},
};

}  // namespace

const KnownSchema* knownSchemas(size_t* count) {
    if (count) *count = sizeof kSchemas / sizeof kSchemas[0];
    return kSchemas;
}

const KnownSchema* findSchema(OSType tag) {
    for (const auto& s : kSchemas)
        if (s.tag == tag) return &s;
    return nullptr;
}

}  // namespace rc::project
