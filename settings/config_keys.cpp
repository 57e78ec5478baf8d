// Configuration keys of the application settings file (its path in slot
// 374), with the defaults used when the file or the key is missing.
#include <cstring>

#include "platform/profile.h"
#include "reelcore/globals.h"
#include "reelcore/prefs.h"
#include <strings.h>

namespace {

struct ConfigKey {
    const char* section;
    const char* key;
    int32_t number;
    const char* text;
};

const ConfigKey kKeys[] = {
    {"override", "NoCompileAsync", 0, nullptr},
    {"override", "NumCPUs", -1, nullptr},
    {"override", "PixelAspectRatioDisplay", 1, nullptr},
    {"override", "PixelAspectRatioCorrection", 1, nullptr},
    {"KPT", "AlphaChannelBug", 1, nullptr},
    {"Default", "Settings", 0, ""},
};

const ConfigKey* known(const char* section, const char* key) {
    for (const ConfigKey& k : kKeys)
        if (::strcasecmp(k.section, section) == 0 && ::strcasecmp(k.key, key) == 0) return &k;
    return nullptr;
}

const char* settingsFile() {
    return reinterpret_cast<const char*>(GetAGlobal(kSlotSettingsFilePath));
}

}  // namespace

extern "C" {

RC_API int32_t FmGetConfigInt(const char* section, const char* key) {
    if (!section || !key) return 0;
    const ConfigKey* k = known(section, key);
    return rc::platform::getPrivateProfileInt(section, key, k ? k->number : 0, settingsFile());
}

RC_API uint32_t FmGetConfigString(const char* section, const char* key, char* out, uint32_t size) {
    if (!out || size == 0) return 0;
    out[0] = 0;
    if (!section || !key) return 0;
    const ConfigKey* k = known(section, key);
    const char* fallback = k && k->text ? k->text : "";
    return rc::platform::getPrivateProfileString(section, key, fallback, out, size, settingsFile());
}

}  // extern "C"
