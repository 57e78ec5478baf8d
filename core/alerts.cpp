// Alert boxes built from string lists, delivered to a replaceable sink.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/text_hooks.h"
#include "reelcore/alerts.h"
#include "reelcore/resources.h"

namespace {

constexpr int16_t kFileMessagesList = 1007;
constexpr int16_t kFilePathItem = 57;
constexpr int16_t kAppNameList = 1017;
constexpr int kAppNameMax = 40;

// The console: the library's CR line breaks (and CR LF pairs) become
// newlines, so that no line overwrites the one before it.
int32_t defaultSink(const char* caption, const char* message, int32_t) {
    std::string text = message ? message : "";
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') continue;
        if (i + 1 < text.size() && text[i + 1] == '\n')
            text.erase(i, 1);
        else
            text[i] = '\n';
    }
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text.c_str());
    return kAlertOK;
}

FmAlertSink g_sink = defaultSink;

std::string listString(int16_t list, int16_t item) {
    char text[256] = "";
    GetIndString(text, list, item);
    return text;
}

// The message, a CR and the error text when an error list is given.
std::string buildMessage(int16_t list, int16_t item, int16_t errorList, int32_t errorCode) {
    std::string message = listString(list, item);
    if (errorList != 0) {
        message += '\r';
        const int32_t position = ReverseLookup(errorList, errorCode);
        if (position >= 0 && position < 99)
            message += listString(errorList, static_cast<int16_t>(position + 1));
        else
            message += std::to_string(errorCode);
    }
    return message;
}

int16_t show(const std::string& message, int32_t okCancel) {
    char caption[kAppNameMax + 1];
    GetAppName(caption);
    const int32_t buttons = (okCancel & 0xFF) ? kAlertButtonsOKCancel : kAlertButtonsOK;
    const int32_t answer = g_sink(caption, message.c_str(), buttons);
    return answer == kAlertCancel && buttons == kAlertButtonsOKCancel ? kAlertCancel : kAlertOK;
}

}  // namespace

RC_API FmAlertSink FmSetAlertSink(FmAlertSink sink) {
    const FmAlertSink previous = g_sink;
    g_sink = sink ? sink : defaultSink;
    return previous;
}

RC_API int16_t AlertSystem(intptr_t, int32_t okCancel, int16_t list, int16_t item,
                           int16_t errorList, int32_t errorCode) {
    rc::texthooks::restoreMainWindow();
    return show(buildMessage(list, item, errorList, errorCode), okCancel);
}

RC_API int16_t AlertSystemFile(intptr_t, int32_t okCancel, int16_t list, int16_t item,
                               int16_t errorList, int32_t errorCode, const char* path) {
    std::string message = buildMessage(list, item, errorList, errorCode);
    if (path != nullptr && path[0] != '\0') {
        message += listString(kFileMessagesList, kFilePathItem);
        message += path;
    }
    return show(message, okCancel);
}

RC_API void GetAppName(char* dst) {
    if (dst == nullptr) return;
    char title[256] = "";
    rc::texthooks::mainWindowTitle(title, sizeof title);
    title[sizeof title - 1] = '\0';
    if (title[0] == '\0') GetIndString(title, kAppNameList, 1);
    const size_t n = strnlen(title, kAppNameMax);
    std::memcpy(dst, title, n);
    dst[n] = '\0';
}
