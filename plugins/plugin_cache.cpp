#include "plugins/plugin_cache.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "plugins/pipl_reader.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"

namespace rc::plugins {

namespace {

constexpr OSType kSizeResource = 0x506C537A;  // 'PlSz'
constexpr OSType kDataResource = 0x506C5376;  // 'PlSv'
constexpr intptr_t kResourceID = 1000;
constexpr intptr_t kLoadMessage = 104;
constexpr intptr_t kStoreMessage = 103;
// More than any plug-in folder holds; a larger stored size is not believed.
constexpr uint32_t kMaxRecords = 100000;

bool terminated(const char* field, size_t size) {
    return std::memchr(field, 0, size) != nullptr;
}

// Ignoring case first (the stored order), then exactly, so that two paths
// differing only in case are still two records.
int comparePaths(const char* a, const char* b) {
    const int c = strcasecmp(a, b);
    return c != 0 ? c : std::strcmp(a, b);
}

}  // namespace

void PluginCache::load() {
    records_.clear();
    added_.clear();
    int32_t size = 0;
    if (PMSendMessage(kHandlerHIDE, kLoadMessage, kSizeResource, kResourceID, &size, 4) != 0)
        return;
    if (size <= 0 || static_cast<uint32_t>(size) / sizeof(FmPluginCacheRecord) > kMaxRecords)
        return;
    const uint32_t count = static_cast<uint32_t>(size) / sizeof(FmPluginCacheRecord);
    std::vector<FmPluginCacheRecord> stored(count);
    if (count == 0 ||
        PMSendMessage(kHandlerHIDE, kLoadMessage, kDataResource, kResourceID, stored.data(),
                      static_cast<intptr_t>(count * sizeof(FmPluginCacheRecord))) != 0)
        return;
    for (FmPluginCacheRecord& r : stored) {
        if (!terminated(r.path, sizeof r.path) || !terminated(r.displayName, sizeof r.displayName))
            continue;
        r.seen = 0;
        records_.push_back(r);
    }
    sort();
}

void PluginCache::save() {
    merge();
    std::erase_if(records_, [](const FmPluginCacheRecord& r) { return !r.seen && !r.neverTrust; });
    int32_t size = static_cast<int32_t>(records_.size() * sizeof(FmPluginCacheRecord));
    if (PMSendMessage(kHandlerHIDE, kStoreMessage, kSizeResource, kResourceID, &size, 4) != 0)
        return;
    PMSendMessage(kHandlerHIDE, kStoreMessage, kDataResource, kResourceID, records_.data(), size);
}

FmPluginCacheRecord* PluginCache::find(const char* path) {
    auto it = std::lower_bound(
        records_.begin(), records_.end(), path,
        [](const FmPluginCacheRecord& r, const char* p) { return comparePaths(r.path, p) < 0; });
    return it != records_.end() && std::strcmp(it->path, path) == 0 ? &*it : nullptr;
}

void PluginCache::put(const FmPluginCacheRecord& rec) {
    FmPluginCacheRecord copy = rec;
    copy.seen = 1;
    if (FmPluginCacheRecord* existing = find(copy.path)) {
        *existing = copy;
        return;
    }
    added_.push_back(copy);
}

void PluginCache::merge() {
    if (added_.empty()) return;
    records_.insert(records_.end(), added_.begin(), added_.end());
    added_.clear();
    sort();
}

Handle PluginCache::toHandle() const {
    if (records_.empty()) return nullptr;
    const auto size = static_cast<uint32_t>(records_.size() * sizeof(FmPluginCacheRecord));
    Handle h = FmNewHandle(size);
    if (h) std::memcpy(*h, records_.data(), size);
    return h;
}

void PluginCache::sort() {
    std::stable_sort(records_.begin(), records_.end(),
                     [](const FmPluginCacheRecord& a, const FmPluginCacheRecord& b) {
                         return comparePaths(a.path, b.path) < 0;
                     });
    // A path stored twice keeps its first record.
    records_.erase(std::unique(records_.begin(), records_.end(),
                               [](const FmPluginCacheRecord& a, const FmPluginCacheRecord& b) {
                                   return std::strcmp(a.path, b.path) == 0;
                               }),
                   records_.end());
}

void packNames(FmPluginCacheRecord& rec, const std::string& display, const std::string& rawMatch,
               const std::string& piplName) {
    std::memset(rec.displayName, 0, sizeof rec.displayName);
    char* at = rec.displayName;
    copyCString(display, at, 32);
    at += std::strlen(at) + 1;
    copyCString(rawMatch, at, 64);
    at += std::strlen(at) + 1;
    copyCString(piplName, at, 128);
}

void unpackNames(const FmPluginCacheRecord& rec, std::string& display, std::string& rawMatch,
                 std::string& piplName) {
    const char* end = rec.displayName + sizeof rec.displayName;
    const char* at = rec.displayName;
    std::string* parts[3] = {&display, &rawMatch, &piplName};
    for (std::string* part : parts) {
        const size_t n = at < end ? strnlen(at, static_cast<size_t>(end - at)) : 0;
        part->assign(at, n);
        at += n + 1;
    }
}

}  // namespace rc::plugins
