// The plug-in cache: what earlier scans learned about each module, so an
// unchanged module can be registered without reading it. It is kept by the
// main window (messages 104 to load, 103 to store) as two resources: 'PlSz'
// 1000 (the byte size) and 'PlSv' 1000 (the records).
#pragma once

#include <string>
#include <vector>

#include "reelcore/plugins.h"

namespace rc::plugins {

class PluginCache {
  public:
    // Loads the records from the main window, clearing each one's seen
    // flag; records that are not NUL-terminated are dropped, and a trailing
    // partial record ignored. No main window: an empty cache.
    void load();
    // Drops records neither seen nor marked never-trust and stores the rest.
    void save();

    // The record of a path, or null.
    FmPluginCacheRecord* find(const char* path);
    // Adds or replaces the record of rec.path, marked seen. New records join
    // the sorted ones at save (find does not see them before).
    void put(const FmPluginCacheRecord& rec);
    // A handle of the records for slot 278 (null when empty or no memory).
    Handle toHandle() const;

    const std::vector<FmPluginCacheRecord>& records() const { return records_; }

  private:
    void sort();
    void merge();
    std::vector<FmPluginCacheRecord> records_;
    std::vector<FmPluginCacheRecord> added_;
};

// Display text, match name as given and PiPL name, packed into the record's
// display name field.
void packNames(FmPluginCacheRecord& rec, const std::string& display, const std::string& rawMatch,
               const std::string& piplName);
void unpackNames(const FmPluginCacheRecord& rec, std::string& display, std::string& rawMatch,
                 std::string& piplName);

}  // namespace rc::plugins
