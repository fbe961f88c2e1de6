#include "studio/core/MenuPaths.h"

#include <algorithm>

void MergeMenus(std::vector<TMenuNode>& target, const std::vector<TMenuNode>& source) {
    for (std::size_t i = 0; i < source.size(); ++i) {
        const TMenuNode& item = source[i];
        auto found = std::find_if(target.begin(), target.end(),
                                  [&](const TMenuNode& t) { return t.caption == item.caption; });
        if (found == target.end()) {
            TMenuNode copy;
            copy.caption = item.caption;
            copy.command = item.command;
            copy.picture = item.picture;
            found = target.insert(target.begin() +
                                      static_cast<std::ptrdiff_t>(std::min(i, target.size())),
                                  std::move(copy));
        }
        MergeMenus(found->items, item.items);
    }
}

std::string MenuPathKey(const std::string& caption) {
    std::string key;
    for (char c : caption) {
        if (c == '&' || c == '.' || c == ' ') continue;
        key += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    }
    return key;
}

std::vector<std::string> MenuPathElements(const std::string& path) {
    std::vector<std::string> elements;
    std::size_t from = 0;
    for (;;) {
        const std::size_t bar = path.find('|', from);
        elements.push_back(path.substr(from, bar - from));
        if (bar == std::string::npos) return elements;
        from = bar + 1;
    }
}

namespace {

bool IsSeparator(const std::string& caption) {
    return caption.empty() || caption == "-";
}

} // namespace

int MatchMenuElement(const std::vector<std::string>& captions, const std::string& element) {
    const std::string wanted = MenuPathKey(element);
    for (std::size_t i = 0; i < captions.size(); ++i)
        if (!IsSeparator(captions[i]) && MenuPathKey(captions[i]) == wanted)
            return static_cast<int>(i);
    return -1;
}

std::vector<int> FindMenuItem(const std::vector<TMenuNode>& menus, const std::string& path) {
    std::vector<int> found;
    if (path.empty()) return found;
    const std::vector<TMenuNode>* level = &menus;
    for (const std::string& element : MenuPathElements(path)) {
        std::vector<std::string> captions;
        captions.reserve(level->size());
        for (const TMenuNode& item : *level)
            captions.push_back(item.caption);
        const int index = MatchMenuElement(captions, element);
        if (index < 0) return {};
        found.push_back(index);
        level = &(*level)[static_cast<std::size_t>(index)].items;
    }
    return found;
}
