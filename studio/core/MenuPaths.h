// The main window's menus as rules: merging a menu tree into another by caption, and finding
// a merged item by a caption path such as "File|Save|Track As". Qt-free; the window keeps
// its menus in the toolkit and asks MenuPathKey and MatchMenuElement level by level, or
// declares them as TMenuNode trees and renders the merged tree.
#pragma once

#include <string>
#include <vector>

// One menu item and its submenu; "-" is a separator.
struct TMenuNode {
    std::string caption; // with its "&" accelerator marks
    int command = 0;     // what the item does (the window's own numbering; 0 none)
    std::string picture; // the item's picture name, "" none
    std::vector<TMenuNode> items;
};

// For each source item at index i: an item of the same caption (exact) in `target` receives
// the source item's items, merged the same way; otherwise a copy of the source item (caption,
// command, picture) is inserted at index i (at the end when the target is shorter) and
// receives them.
void MergeMenus(std::vector<TMenuNode>& target, const std::vector<TMenuNode>& source);

// A caption as a path element compares: every "&", "." and blank removed, ASCII upper case.
// "&Song &As..." gives "SONGAS".
std::string MenuPathKey(const std::string& caption);

// The path's elements between the "|"s, as written.
std::vector<std::string> MenuPathElements(const std::string& path);

// The index of the first caption of one menu level that `element` names (both compared as
// MenuPathKey); -1 when none does. Separators ("-" or empty captions) never match.
int MatchMenuElement(const std::vector<std::string>& captions, const std::string& element);

// The item `path` names, as indices level by level from `menus`; empty when an element
// matches nothing (the search ends there) or the path is empty.
std::vector<int> FindMenuItem(const std::vector<TMenuNode>& menus, const std::string& path);
