// The preset list of dialogs: a single-selection list control, a child of
// the dialog window, whose entries hold a text and a code.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "pixels/aspect_internal.h"

namespace {

constexpr const char* kItemProp = "DlgItem";

struct ListEntry {
    std::string text;
    FmPARCode code;
};

struct ListControl {
    std::vector<ListEntry> entries;
    int32_t selected = -1;
};

std::map<FmWindow, ListControl>& lists() {
    static std::map<FmWindow, ListControl> m;
    return m;
}

ListControl* listOf(FmWindow control) {
    auto it = lists().find(control);
    if (it == lists().end()) return nullptr;
    if (!FmWndIsWindow(control)) {  // destroyed since it was filled
        lists().erase(it);
        return nullptr;
    }
    return &it->second;
}

}  // namespace

RC_API FmWindow FmPARUIListControl(FmWindow dialog, int32_t item) {
    for (FmWindow w = FmWndGetFirstChild(dialog); w; w = FmWndGetNextSibling(w))
        if (FmWndHasProp(w, kItemProp) && FmWndGetProp(w, kItemProp) == item) return w;
    return 0;
}

RC_API void FmPARUIInitList(FmWindow dialog, int32_t item, FmPARCode code) {
    const FmWindow control = FmPARUIListControl(dialog, item);
    if (!control) return;
    for (auto it = lists().begin(); it != lists().end();)
        it = FmWndIsWindow(it->first) ? std::next(it) : lists().erase(it);

    ListControl list;
    code = FmPARResolve(code, 0);
    for (int32_t i = 0; i < rc::aspect::presetCount(); ++i) {
        const FmPARPreset* p = rc::aspect::presetAt(i);
        list.entries.push_back({p->name, p->code});
        if (list.selected < 0 && FmPARCodesEqual(p->code, code)) list.selected = i;
    }
    if (list.selected < 0) {
        char text[kPARTextSize];
        FmGetPixelAspectRatioStr(code, 0, text);
        list.entries.push_back({text, code});
        list.selected = static_cast<int32_t>(list.entries.size()) - 1;
    }
    lists()[control] = std::move(list);
}

RC_API FmPARCode FmPARUIPARFromItem(FmWindow control) {
    const ListControl* list = listOf(control);
    if (!list || list->selected < 0) return 0;
    return list->entries[static_cast<size_t>(list->selected)].code;
}

RC_API int32_t FmPARUIListCount(FmWindow control) {
    const ListControl* list = listOf(control);
    return list ? static_cast<int32_t>(list->entries.size()) : 0;
}

RC_API Boolean FmPARUIListEntry(FmWindow control, int32_t index, char* text, int32_t room,
                                FmPARCode* code) {
    const ListControl* list = listOf(control);
    if (!list || index < 0 || index >= static_cast<int32_t>(list->entries.size())) return 0;
    const ListEntry& e = list->entries[static_cast<size_t>(index)];
    if (text && room > 0) {
        const size_t n = std::min(e.text.size(), static_cast<size_t>(room - 1));
        std::memcpy(text, e.text.data(), n);
        text[n] = '\0';
    }
    if (code) *code = e.code;
    return 1;
}

RC_API int32_t FmPARUIListSelection(FmWindow control) {
    const ListControl* list = listOf(control);
    return list ? list->selected : -1;
}

RC_API Boolean FmPARUIListSelect(FmWindow control, int32_t index) {
    ListControl* list = listOf(control);
    if (!list || index < 0 || index >= static_cast<int32_t>(list->entries.size())) return 0;
    list->selected = index;
    return 1;
}

RC_API Boolean FmPARUIListEnabled(FmWindow control) {
    const ListControl* list = listOf(control);
    return list && list->entries.size() > 1;
}
