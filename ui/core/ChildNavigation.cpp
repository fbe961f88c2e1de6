#include "ui/core/ChildNavigation.h"

#include <algorithm>

namespace {

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

bool TChildNavigation::SameCaption(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiUpper(x) == AsciiUpper(y);
           });
}

int TChildNavigation::IndexOf(TChildKey child) const {
    const auto it = std::find(children_.begin(), children_.end(), child);
    return it == children_.end() ? -1 : static_cast<int>(it - children_.begin());
}

TChildKey TChildNavigation::Current() const {
    if (current_ < 0 || current_ >= static_cast<int>(children_.size())) return nullptr;
    return children_[static_cast<std::size_t>(current_)];
}

void TChildNavigation::Append(TChildKey child) {
    if (child && IndexOf(child) < 0) children_.push_back(child);
}

bool TChildNavigation::Reorder(const std::vector<TChildKey>& order) {
    if (order.size() != children_.size()) return false;
    if (!std::is_permutation(order.begin(), order.end(), children_.begin())) return false;
    const TChildKey current = Current();
    children_ = order;
    if (current) current_ = IndexOf(current);
    return true;
}

TNavButtons TChildNavigation::Activate(TChildKey child, const CaptionOf& captionOf) {
    TNavButtons buttons;
    const int found = IndexOf(child);
    const int count = static_cast<int>(children_.size());
    if (found < 0) {
        // Not listed yet: it is about to be appended, so nothing follows it.
        current_ = count;
        buttons.backEnabled = count > 0;
        if (buttons.backEnabled) buttons.backHint = "Back to " + captionOf(children_.back());
        return buttons;
    }
    current_ = found;
    buttons.backEnabled = found > 0;
    buttons.forwardEnabled = found < count - 1;
    if (buttons.backEnabled)
        buttons.backHint = "Back to " + captionOf(children_[static_cast<std::size_t>(found - 1)]);
    if (buttons.forwardEnabled)
        buttons.forwardHint =
            "Forward to " + captionOf(children_[static_cast<std::size_t>(found + 1)]);
    return buttons;
}

std::optional<TNavButtons> TChildNavigation::Remove(TChildKey child) {
    const int index = IndexOf(child);
    if (index < 0) return std::nullopt;
    children_.erase(children_.begin() + index);
    // Keep the current index on the same child when an earlier one leaves.
    if (index < current_) --current_;
    current_ = std::min(current_, static_cast<int>(children_.size()));
    if (children_.empty()) return TNavButtons{};
    return std::nullopt;
}

std::optional<TNavButtons> TChildNavigation::WindowStateChanged(const ShowOf& showOf) const {
    if (children_.empty()) return TNavButtons{};
    const bool noneNormal = std::none_of(children_.begin(), children_.end(), [&](TChildKey c) {
        return showOf(c) == TChildShow::Normal;
    });
    if (noneNormal) return TNavButtons{};
    return std::nullopt;
}

TChildKey TChildNavigation::FindByCaption(const std::string& caption,
                                          const CaptionOf& captionOf) const {
    for (TChildKey child : children_)
        if (SameCaption(captionOf(child), caption)) return child;
    return nullptr;
}

TFindOrCreatePlan TChildNavigation::PlanFindOrCreate(const std::string& caption,
                                                     bool maximizedSetting,
                                                     const CaptionOf& captionOf,
                                                     const ShowOf& showOf) const {
    TFindOrCreatePlan plan;
    plan.existing = FindByCaption(caption, captionOf);
    if (plan.existing)
        plan.restore = showOf(plan.existing) == TChildShow::Minimized;
    else
        plan.maximize = children_.empty() && maximizedSetting;
    return plan;
}

std::optional<TNavTarget> TChildNavigation::TargetAt(int index, const ShowOf& showOf) const {
    if (index < 0 || index >= static_cast<int>(children_.size())) return std::nullopt;
    TNavTarget target;
    target.child = children_[static_cast<std::size_t>(index)];
    target.restore = showOf(target.child) == TChildShow::Minimized;
    return target;
}

std::optional<TNavTarget> TChildNavigation::BackTarget(const ShowOf& showOf) const {
    return TargetAt(current_ - 1, showOf);
}

std::optional<TNavTarget> TChildNavigation::ForwardTarget(const ShowOf& showOf) const {
    return TargetAt(current_ + 1, showOf);
}

bool TChildNavigation::AllAgreeToClose(const CloseQuery& closeQuery) const {
    // A copy: a close query may open a dialog whose events change the list.
    const std::vector<TChildKey> children = children_;
    return std::all_of(children.begin(), children.end(), closeQuery);
}

std::vector<TChildKey> TChildNavigation::MinimizeAllOrder() const {
    return {children_.rbegin(), children_.rend()};
}
