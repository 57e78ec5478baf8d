// Set-up for the tests of the project media and clip records: the project
// fixture plus fresh file and clip tables, recorded window messages and
// alerts, and helpers to build ID lists and maps.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "media/media_hooks.h"
#include "project_test_util.h"
#include "reelcore/alerts.h"
#include "reelcore/clips.h"
#include "reelcore/filetable.h"
#include "reelcore/project_records.h"
#include "reelcore/resources.h"

namespace projtest {

struct Alert {
    std::string message;
    int32_t buttons;
};
inline std::vector<Alert>& alerts() {
    static std::vector<Alert> a;
    return a;
}
inline int32_t& alertAnswer() {
    static int32_t answer = kAlertOK;
    return answer;
}
inline int32_t recordAlert(const char*, const char* message, int32_t buttons) {
    alerts().push_back({message ? message : "", buttons});
    return alertAnswer();
}

class RecordsTest : public ProjectTest {
  protected:
    void SetUp() override {
        ProjectTest::SetUp();
        ASSERT_GT(InitResMgr(nullptr), 0);  // the loaders' messages
        rc::mediahooks::resetAll();
        SetLocateFileProc(nullptr);
        FmSetLocateDialogProc(nullptr);
        FmSetProjProgressProc(nullptr, 0);
        alerts().clear();
        alertAnswer() = kAlertOK;
        previousSink = FmSetAlertSink(recordAlert);
        InitFileQueue();
        InitClipQueue();
    }
    void TearDown() override {
        rc::media::disposeClipTable();
        rc::media::disposeFileTable();
        rc::mediahooks::resetAll();
        FmSetLocateDialogProc(nullptr);
        FmSetProjProgressProc(nullptr, 0);
        FmSetAlertSink(previousSink);
        for (Handle h : owned)
            if (h) FmDisposeHandle(h);
        ProjectTest::TearDown();
    }

    // A Handle disposed of after the test.
    Handle keep(Handle h) {
        owned.push_back(h);
        return h;
    }
    Handle fileList(std::initializer_list<int16_t> ids) {
        Handle h = keep(FmNewHandle(0));
        for (int16_t id : ids) AddToFileList(h, id);
        return h;
    }
    Handle clipList(std::initializer_list<int32_t> ids) {
        Handle h = keep(FmNewHandle(0));
        for (int32_t id : ids) AddToClipList(h, id);
        return h;
    }
    Handle newMap() { return keep(FmNewHandle(0)); }

    std::string makeFile(const char* name, const std::string& content = "data") {
        std::string p = path(name);
        writeFile(p, content);
        return p;
    }

    // A master clip of the file from `in` to `out` in its own base (30 fps).
    static int32_t clipOf(int16_t fileID, int32_t in, int32_t out, int32_t flags = kClipVideo) {
        int32_t times[kClipFixedMarkers];
        for (int32_t& t : times) t = -1;
        times[0] = in;
        times[1] = out;
        const TDB tb{0, 30, 1};
        return AddClip(fileID, times, &tb, flags);
    }
    static FmClipRecord* clip(int32_t id) { return rc::media::findClipRec(id); }
    static FmFileRecord* file(int16_t id) { return rc::media::findFileRec(id); }

    // Every clipID of the table, in clipID order.
    static std::vector<int32_t> allClips() {
        std::vector<int32_t> ids;
        FmClipIterator it{-1};
        Handle h = nullptr;
        while (GetNextUsedClipID(&it, &h)) ids.push_back(rc::media::clipRec(h)->clipID);
        return ids;
    }

  private:
    FmAlertSink previousSink = nullptr;
    std::vector<Handle> owned;
};

}  // namespace projtest
