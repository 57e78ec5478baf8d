// Set-up shared by the registry tests: fresh slots, memory, resource
// manager and file table; a handler table with a HIDE main window that keeps
// stored resources (the plug-in cache) in memory; a scratch plug-in folder.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "media/file_table_internal.h"
#include "media/media_hooks.h"
#include "platform/window.h"
#include "plugins/match_table.h"
#include "plugins/playback_link.h"
#include "plugins/registry_hooks.h"
#include "plugins/type_tables.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/resources.h"
#include "reelcore/windows.h"
#include "tests/plugins/module_writer.h"

namespace plugtest {

// What the main window stores for messages 103 and 104.
inline std::map<std::pair<uint32_t, intptr_t>, Bytes>& stored() {
    static std::map<std::pair<uint32_t, intptr_t>, Bytes> s;
    return s;
}
inline std::vector<std::pair<intptr_t, std::string>>& aboutBox() {
    static std::vector<std::pair<intptr_t, std::string>> a;
    return a;
}

inline int16_t hideMessage(FmWindow, intptr_t* block) {
    const auto key = std::make_pair(uint32_t(block[1]), block[2]);
    auto* data = reinterpret_cast<uint8_t*>(block[3]);
    const intptr_t size = block[4];
    if (block[0] == 103) {
        stored()[key] = Bytes(data, data + size);
        return 0;
    }
    if (block[0] == 104) {
        auto it = stored().find(key);
        if (it == stored().end()) return 1;
        std::memset(data, 0, size_t(size));
        std::memcpy(data, it->second.data(), std::min<size_t>(it->second.size(), size_t(size)));
        return 0;
    }
    return 0;
}

inline int16_t aboutMessage(FmWindow, intptr_t* block) {
    aboutBox().emplace_back(block[0], reinterpret_cast<const char*>(block[1]));
    return 0;
}

class PluginTest : public ::testing::Test {
  protected:
    std::string dir;      // the plug-in folder
    std::string outside;  // a folder that is not scanned
    Handle handlerTable = nullptr;

    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        InitResMgr(nullptr);
        rc::mediahooks::resetAll();
        rc::platform::destroyAllWindows();
        SetAGlobal(kSlotOpenFileBudget, 200);
        InitFileQueue();
        stored().clear();
        aboutBox().clear();
        handlerTable = FmNewHandle(0);
        SetAGlobal(kSlotMethodTable, reinterpret_cast<intptr_t>(handlerTable));
        addBuiltIn(kHandlerHIDE, hideMessage);
        addBuiltIn(kHandlerABT_, aboutMessage);
        openMainWindow();
        char tmpl[] = "/tmp/reelplugXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = std::string(tmpl) + "/plug-ins";
        outside = std::string(tmpl) + "/elsewhere";
        mkdir(dir.c_str(), 0755);
        mkdir(outside.c_str(), 0755);
        SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(dir.c_str()));
    }

    void TearDown() override {
        rc::media::disposeFileTable();
        rc::mediahooks::resetAll();
        rc::plugins::setHandlerPriority(nullptr);
        rc::plugins::hooks::setRegisterXEModule(nullptr);
        rc::platform::destroyAllWindows();
        chmod(dir.c_str(), 0755);
        std::system(("rm -rf " + dir.substr(0, dir.rfind('/'))).c_str());
    }

    void addBuiltIn(OSType type, HandlerMessageProc proc) {
        void* procs[kHandlerProcCount] = {nullptr, nullptr, reinterpret_cast<void*>(proc)};
        ASSERT_EQ(AddMethod(type, procs, handlerTable, 0), noErr);
    }

    static FmWindow windowOf(OSType type, FmWindow parent) {
        FmRect r{0, 0, 10, 10};
        FmWindow w = FmWndCreate(parent, &r, "", nullptr, 0);
        Handle data = NewWData(w);
        std::memcpy(*data + 4, &type, 4);
        return w;
    }

    void openMainWindow() {
        FmWindow main = windowOf(kHandlerHIDE, 0);
        SetAGlobal(kSlotMainWnd, main);
        windowOf(kHandlerABT_, main);
    }

    // A second start of the program: a fresh file table, the same stored cache.
    void restart() {
        rc::media::disposeFileTable();
        InitFileQueue();
        for (int slot : {kSlotXrefTable, kSlotTypeTextTable, kSlotOverrideTable}) {
            FmDisposeHandle(reinterpret_cast<Handle>(GetAGlobal(slot)));
            SetAGlobal(slot, 0);
        }
        aboutBox().clear();
    }

    std::string module(const std::string& name, const std::vector<Resource>& resources) const {
        const std::string p = dir + "/" + name;
        EXPECT_TRUE(writeModule(p, resources));
        return p;
    }

    // A video filter with a PiPL naming it, its version in eSVR.
    std::string videoFilter(const std::string& name, int version, const std::string& title) const {
        return module(name, {{cc("PiPL"), 16000,
                              Pipl().kind(cc("VFlt")).name(title).version(version).build()}});
    }

    static std::vector<int16_t> list(int slot) {
        Handle h = reinterpret_cast<Handle>(GetAGlobal(slot));
        std::vector<int16_t> ids;
        if (!h || !*h) return ids;
        ids.resize(FmGetHandleSize(h) / 2);
        std::memcpy(ids.data(), *h, ids.size() * 2);
        return ids;
    }

    static std::vector<FmPluginReport> report() {
        std::vector<FmPluginReport> lines(size_t(FmGetPluginReport(-1, nullptr)));
        for (size_t i = 0; i < lines.size(); ++i) FmGetPluginReport(int32_t(i), &lines[i]);
        return lines;
    }

    static const FmPluginReport* lineFor(const std::vector<FmPluginReport>&& lines,
                                         const std::string& name) = delete;
    static const FmPluginReport* lineFor(const std::vector<FmPluginReport>& lines,
                                         const std::string& name) {
        for (const FmPluginReport& l : lines) {
            std::string p = l.path;
            if (p.size() >= name.size() &&
                p.compare(p.size() - name.size(), name.size(), name) == 0)
                return &l;
        }
        return nullptr;
    }

    static int16_t idOf(const std::string& path) {
        char real[PATH_MAX];
        if (!realpath(path.c_str(), real)) return 0;
        Handle h = FindName(real, 0, 0);
        return h ? reinterpret_cast<FmFileRecord*>(*h)->fileID : 0;
    }

    static void touch(const std::string& path, int secondsLater) {
        struct stat st;
        stat(path.c_str(), &st);
        struct timeval times[2] = {{st.st_atim.tv_sec, 0}, {st.st_mtim.tv_sec + secondsLater, 0}};
        utimes(path.c_str(), times);
    }
};

}  // namespace plugtest
