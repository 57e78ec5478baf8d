// The importer host: preferences and their states, declines, the priority-0
// fallback and the capability queries.
#include "importer_fixture.h"
#include "platform/window.h"
#include "reelcore/handlers.h"
#include "reelcore/windows.h"

namespace {

using namespace importtest;

// ---- Preferences ----
struct PrefsPlan {
    int32_t size = 8;
    int16_t result = 0;
    int askCalls = 0, fillCalls = 0;
};
PrefsPlan plan;

int16_t prefsEntry(int32_t selector, void* host, intptr_t p1, intptr_t p2) {
    if (selector == kRcImportStartup) {
        const int16_t r = synthImportEntry(selector, host, p1, p2);
        reinterpret_cast<RcImporterCapabilities*>(p1)->hasSetup = 1;
        return r;
    }
    if (selector == kRcImportPrefs) {
        auto* q = reinterpret_cast<RcImportPrefsRequest*>(p2);
        if (!q->prefs) {
            ++plan.askCalls;
            q->prefsSize = plan.size;
            return 0;
        }
        ++plan.fillCalls;
        std::memset(q->prefs, 0xAB, size_t(q->prefsSize));
        return plan.result;
    }
    return synthImportEntry(selector, host, p1, p2);
}

constexpr OSType kPrefs = cc("PRFI");

class Host : public ImportTest {
  protected:
    void SetUp() override {
        ImportTest::SetUp();
        plan = PrefsPlan{};
        ASSERT_EQ(FmAddBuiltinImporter(kPrefs, prefsEntry), 0);
        ASSERT_EQ(Add1XREF(kPrefs, kPrefs, kPrefs, 0), 0);
    }
    int16_t state(int16_t id) { return rc::media::findFileRec(id)->prefsState; }
};

TEST_F(Host, SetupResultsDecideWhetherPreferencesAreKept) {
    EXPECT_TRUE(importerHasSetup(kPrefs));
    EXPECT_FALSE(importerHasSetup(kSynt));
    // GetInfoNoPrefs never runs the setup.
    const int16_t quiet = addSynth("q.synth", kBarsText, kPrefs);
    FmMediaInfo info{};
    ASSERT_EQ(GetInfoNoPrefs(quiet, &info, 1), 0);
    EXPECT_EQ(plan.askCalls, 0);
    EXPECT_EQ(state(quiet), 0);
    int32_t size = -1;
    EXPECT_EQ(LockImporterPrefs(quiet, &size), nullptr);
    EXPECT_EQ(size, 0);

    // Up to 16 bytes: state 1, in the record's block.
    const int16_t a = addSynth("a.synth", kBarsText, kPrefs);
    ASSERT_EQ(GetInfo(a, &info, 1), 0);
    EXPECT_EQ(plan.askCalls, 1);
    EXPECT_EQ(plan.fillCalls, 1);
    EXPECT_EQ(state(a), 1);
    auto* bytes = static_cast<uint8_t*>(LockImporterPrefs(a, &size));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(size, 16);
    EXPECT_EQ(bytes[0], 0xAB);
    EXPECT_EQ(bytes[7], 0xAB);
    EXPECT_EQ(bytes[8], 0);
    UnlockImporterPrefs(a);
    // With preferences in place the setup is not run again.
    ASSERT_EQ(GetInfo(a, &info, 1), 0);
    EXPECT_EQ(plan.askCalls, 1);

    // More than 16 bytes with result 17: state 2, a handle of that size.
    plan.size = 40;
    plan.result = 17;
    const int16_t b = addSynth("b.synth", kBarsText, kPrefs);
    ASSERT_EQ(GetInfo(b, &info, 1), 0);
    EXPECT_EQ(state(b), 2);
    bytes = static_cast<uint8_t*>(LockImporterPrefs(b, &size));
    EXPECT_EQ(size, 40);
    EXPECT_EQ(bytes[39], 0xAB);
    UnlockImporterPrefs(b);

    // 300 keeps preferences only when there were some before.
    plan.size = 8;
    plan.result = 300;
    const int16_t c = addSynth("c.synth", kBarsText, kPrefs);
    ASSERT_EQ(GetInfo(c, &info, 1), 0);
    EXPECT_EQ(state(c), 0);
    rc::plugins::runImporterSetup(a, false);
    EXPECT_EQ(state(a), 1);
    // Any other result discards them, existing or not.
    plan.result = 5;
    rc::plugins::runImporterSetup(b, false);
    EXPECT_EQ(state(b), 0);
    EXPECT_EQ(LockImporterPrefs(b, &size), nullptr);

    // FillImporterPrefs stores a copy; null data clears.
    const uint8_t mine[20] = {1, 2, 3};
    ASSERT_EQ(FillImporterPrefs(c, mine, 20), 0);
    EXPECT_EQ(state(c), 2);
    bytes = static_cast<uint8_t*>(LockImporterPrefs(c, &size));
    EXPECT_EQ(size, 20);
    EXPECT_EQ(bytes[2], 3);
    UnlockImporterPrefs(c);
    ASSERT_EQ(FillImporterPrefs(c, nullptr, 0), 0);
    EXPECT_EQ(state(c), 0);
    EXPECT_EQ(FillImporterPrefs(9999, mine, 4), kFileBadParam);
}

// ---- Declines and fallbacks ----
struct OpenPlan {
    OSType named = 0;
    int16_t result = 0;
    int opens = 0;
};
OpenPlan declining, failing;

int16_t declineEntry(int32_t selector, void* host, intptr_t p1, intptr_t p2) {
    if (selector == kRcImportStartup) {
        auto* caps = reinterpret_cast<RcImporterCapabilities*>(p1);
        caps->ownsFile = 1;
        caps->priority = 1;
        return 0;
    }
    if (selector == kRcImportOpenFile) {
        ++declining.opens;
        reinterpret_cast<RcImportFileAccess*>(p2)->newHandler = declining.named;
        return kRcImportDecline;
    }
    (void)host;
    return 2;
}

int16_t failingEntry(int32_t selector, void* host, intptr_t p1, intptr_t p2) {
    if (selector == kRcImportStartup) {
        auto* caps = reinterpret_cast<RcImporterCapabilities*>(p1);
        caps->ownsFile = 1;
        caps->priority = failing.named ? 1 : 0;  // named: priority above 0
        return 0;
    }
    if (selector == kRcImportOpenFile) {
        ++failing.opens;
        return failing.result;
    }
    (void)host;
    (void)p2;
    return 2;
}

// The synthetic importer at priority 0.
int16_t zeroEntry(int32_t selector, void* host, intptr_t p1, intptr_t p2) {
    const int16_t r = synthImportEntry(selector, host, p1, p2);
    if (selector == kRcImportStartup) reinterpret_cast<RcImporterCapabilities*>(p1)->priority = 0;
    return r;
}

TEST_F(Host, DeclinesAreFollowedAFewTimesThenTheOpenFails) {
    declining = OpenPlan{kSynt};
    ASSERT_EQ(FmAddBuiltinImporter(cc("DECL"), declineEntry), 0);
    ASSERT_EQ(Add1XREF(cc("DECL"), cc("DECL"), cc("DECL"), 0), 0);
    const int16_t id = addSynth("d.synth", kBarsText, cc("DECL"));
    ASSERT_EQ(FileOpen(id), 0);
    EXPECT_EQ(declining.opens, 1);
    EXPECT_EQ(GetFileDraw(id), kSynt);
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(id, &info, 1), 0);
    EXPECT_EQ(info.frame.right, 320);

    // An importer naming itself is followed at most a few times.
    declining = OpenPlan{cc("DECL")};
    const int16_t loop = addSynth("l.synth", kBarsText, cc("DECL"));
    EXPECT_EQ(FileOpen(loop), kImportNoneCanOpen);
    EXPECT_GE(declining.opens, 2);
    EXPECT_LE(declining.opens, kImportMaxRedirects + 1);
    // Declining without naming anyone fails too.
    declining = OpenPlan{0};
    const int16_t none = addSynth("n.synth", kBarsText, cc("DECL"));
    EXPECT_EQ(FileOpen(none), kImportNoneCanOpen);
}

TEST_F(Host, FailedOpenFallsBackToAPriorityZeroImporter) {
    failing = OpenPlan{1, 7};
    ASSERT_EQ(FmAddBuiltinImporter(cc("FAIL"), failingEntry), 0);
    ASSERT_EQ(FmAddBuiltinImporter(cc("ZERO"), zeroEntry), 0);
    ASSERT_EQ(Add1XREF(cc("FALT"), cc("FAIL"), cc("FALT"), 0), 0);
    ASSERT_EQ(Add1XREF(cc("FALT"), cc("ZERO"), cc("FALT"), 0), 0);
    const int16_t id = addSynth("f.synth", kBarsText, cc("FALT"));
    ASSERT_EQ(GetFileDraw(id), cc("FAIL"));
    ASSERT_EQ(FileOpen(id), 0);
    EXPECT_EQ(failing.opens, 1);
    EXPECT_EQ(GetFileDraw(id), cc("ZERO"));
    FileClose(id);

    // At priority 0 the failure stands.
    rc::plugins::resetImporterHost();
    failing = OpenPlan{0, 7};
    const int16_t other = addSynth("g.synth", kBarsText, cc("FALT"));
    rc::media::findFileRec(other)->handler = cc("FAIL");
    EXPECT_EQ(FileOpen(other), kImportNoneCanOpen);
    EXPECT_EQ(failing.opens, 1);
}

TEST_F(Host, CapabilityQueriesAndClassData) {
    EXPECT_FALSE(importerCanSave(kSynt));
    EXPECT_FALSE(importerIsSynthetic(kSynt));
    EXPECT_FALSE(importerCreatesFiles(kSynt));
    EXPECT_FALSE(importerSetupOnDblClk(cc("NONE")));
    int value = 5;
    EXPECT_EQ(GetClassData(kSynt), nullptr);
    EXPECT_EQ(SetClassData(kSynt, &value), 0);
    EXPECT_EQ(GetClassData(kSynt), &value);
    auto* host = reinterpret_cast<RcImportHostRecord*>(GetAGlobal(kSlotImporterHostRecord));
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->version, 3);
    EXPECT_EQ(host->funcs->classData->getClassData(kSynt), &value);

    unsigned char text[32];
    CopyCStringToPascal("&Synthetic Media...", text);
    StripMenu(text);
    char out[32];
    CopyPascalStringToC(text, out);
    EXPECT_STREQ(out, "Synthetic Media");
}

}  // namespace

// ---- New synthetic media ----
int16_t barsMakerEntry(int32_t selector, void* host, intptr_t p1, intptr_t p2) {
    const int16_t r = synthImportEntry(selector, host, p1, p2);
    if (selector == kRcImportStartup) {
        auto* caps = reinterpret_cast<RcImporterCapabilities*>(p1);
        caps->isSynthetic = 1;
        std::snprintf(caps->displayName, sizeof caps->displayName, "&Colour Bars...");
    }
    return r;
}

struct Delivery {
    OSType to;
    intptr_t code, clip;
};
std::vector<Delivery> deliveries;

// A bin or project window keeps the clip it is handed (its own subscription).
template <OSType kType>
int16_t keepingWindow(FmWindow, intptr_t* block) {
    deliveries.push_back({kType, block[0], block[1]});
    if (block[0] == 11) ClipSubscribe(int32_t(block[1]));
    return 0;
}

class NewMedia : public Host {
  protected:
    Handle methods = nullptr;
    void SetUp() override {
        Host::SetUp();
        deliveries.clear();
        ASSERT_EQ(FmAddBuiltinImporter(cc("BARS"), barsMakerEntry), 0);
        methods = FmNewHandle(0);
        SetAGlobal(kSlotMethodTable, reinterpret_cast<intptr_t>(methods));
    }
    void TearDown() override {
        rc::platform::destroyAllWindows();
        SetAGlobal(kSlotMainWnd, 0);
        SetAGlobal(kSlotMethodTable, 0);
        FmDisposeHandle(methods);
        Host::TearDown();
    }
    // A window of the handler type, a child of the main window.
    void openWindow(OSType type, HandlerMessageProc proc) {
        void* entries[8] = {nullptr, nullptr, reinterpret_cast<void*>(proc)};
        ASSERT_EQ(AddMethod(type, entries, methods, 0), 0);
        if (GetAGlobal(kSlotMainWnd) == 0) {
            const FmRect r{0, 0, 10, 10};
            SetAGlobal(kSlotMainWnd, FmWndCreate(0, &r, "", nullptr, 1));
        }
        const FmRect r{0, 0, 10, 10};
        const FmWindow w = FmWndCreate(FmWindow(GetAGlobal(kSlotMainWnd)), &r, "", nullptr, 1);
        Handle data = NewWData(w);
        std::memcpy(*data + 4, &type, 4);
    }
    static int32_t barsIndex() {
        Handle list = reinterpret_cast<Handle>(GetAGlobal(kSlotImporterCaps));
        const auto* caps = reinterpret_cast<const RcImporterCapabilities*>(*list);
        for (size_t i = 0; i < FmGetHandleSize(list) / sizeof *caps; ++i)
            if (OSType(caps[i].handlerType) == cc("BARS")) return int32_t(i);
        return -1;
    }
    static int32_t liveClips() {
        FmClipIterator it{-1};
        int32_t n = 0;
        while (GetNextUsedClipID(&it, nullptr)) ++n;
        return n;
    }
};

TEST_F(NewMedia, SyntheticMediaGoesToTheFrontBinElseNowhere) {
    const int32_t index = barsIndex();
    ASSERT_GE(index, 0);
    EXPECT_TRUE(importerIsSynthetic(cc("BARS")));
    EXPECT_EQ(NewImporterFile(-1), 0);
    EXPECT_EQ(NewImporterFile(index + 100), 0);
    // No bin, folder or project window: the file and clip are cancelled.
    EXPECT_EQ(NewImporterFile(index), 0);
    EXPECT_EQ(liveClips(), 0);
    EXPECT_EQ(FindFile(1), nullptr);  // the first FileID, cancelled

    openWindow(cc("PROJ"), keepingWindow<0x50524F4A>);
    openWindow(cc("LIBR"), keepingWindow<0x4C494252>);
    const int32_t clip = NewImporterFile(index);
    ASSERT_GT(clip, 0);
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].to, cc("LIBR"));
    EXPECT_EQ(deliveries[0].code, 11);
    EXPECT_EQ(deliveries[0].clip, clip);
    // The window's subscription is the only one left.
    Handle h = FindClip(clip);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(reinterpret_cast<FmClipRecord*>(*h)->subscriptions, 1);
    const int16_t file = ClipFile(clip);
    FmFileRecord* r = rc::media::findFileRec(file);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r->spec.name, "Colour Bars");  // the menu text without its marks
    EXPECT_EQ(r->handler, cc("BARS"));
    EXPECT_EQ(r->offline, 1);
    EXPECT_EQ(FmClipFlags(clip) & 1, 1);
    EXPECT_EQ(r->info.frame.right, 320);
}
