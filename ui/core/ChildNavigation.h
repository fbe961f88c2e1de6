// The ordered child list of the main frame and its Back/Forward navigation: which child is
// current, which of the two buttons is enabled and what their hints say. Our own order, not
// the windowing toolkit's stacking order: it is the song's track order.
//
// Children are opaque keys (the frame passes its child windows' addresses); what the rules
// need to know about a child (caption, window state) they ask through the callbacks given.
// Captions are compared without regard to ASCII letter case. UI thread only.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

using TChildKey = void*;

enum class TChildShow { Normal, Minimized, Maximized };

// What the Back and Forward buttons show.
struct TNavButtons {
    bool backEnabled = false;
    bool forwardEnabled = false;
    std::string backHint = "Back";
    std::string forwardHint = "Forward";

    bool operator==(const TNavButtons&) const = default;
};

// A child that Back or Forward brings up: restored when minimized, else brought to the front.
struct TNavTarget {
    TChildKey child = nullptr;
    bool restore = false;
};

// What find-or-create decided for a caption.
struct TFindOrCreatePlan {
    TChildKey existing = nullptr; // the child with that caption, or null: create one
    bool restore = false;         // the existing child is minimized: restore it first
    bool maximize = false;        // the new child will be the only one and "MAXIMIZED" is set
};

class TChildNavigation {
  public:
    using CaptionOf = std::function<std::string(TChildKey)>;
    using ShowOf = std::function<TChildShow(TChildKey)>;
    using CloseQuery = std::function<bool(TChildKey)>;

    std::size_t Count() const { return children_.size(); }
    bool Empty() const { return children_.empty(); }
    TChildKey At(std::size_t index) const { return children_.at(index); }
    const std::vector<TChildKey>& Children() const { return children_; }
    // 0-based position in the list, or -1.
    int IndexOf(TChildKey child) const;
    // The current child's index; it may equal Count() while a new child is about to be listed.
    int CurrentIndex() const { return current_; }
    // The current child, or null when the index points past the list.
    TChildKey Current() const;

    void Append(TChildKey child);
    // Replaces the order of the listed children; `order` must hold the same keys.
    bool Reorder(const std::vector<TChildKey>& order);

    // A child became the active window. A listed child becomes current; a child not yet listed
    // takes the place it is about to be appended at.
    TNavButtons Activate(TChildKey child, const CaptionOf& captionOf);
    // A child closed and leaves the list. Answers the buttons to show when the list became
    // empty (both disabled); otherwise the next activation decides.
    std::optional<TNavButtons> Remove(TChildKey child);
    // A child was minimized, maximized or restored. When every listed child is minimized or
    // maximized, both buttons are disabled; otherwise the buttons stay as they are.
    std::optional<TNavButtons> WindowStateChanged(const ShowOf& showOf) const;

    // The first listed child whose caption equals `caption` (any case), or null.
    TChildKey FindByCaption(const std::string& caption, const CaptionOf& captionOf) const;
    TFindOrCreatePlan PlanFindOrCreate(const std::string& caption, bool maximizedSetting,
                                       const CaptionOf& captionOf, const ShowOf& showOf) const;

    std::optional<TNavTarget> BackTarget(const ShowOf& showOf) const;
    std::optional<TNavTarget> ForwardTarget(const ShowOf& showOf) const;

    // Asks each child in list order; false at the first refusal (later ones are not asked).
    bool AllAgreeToClose(const CloseQuery& closeQuery) const;
    // The order Minimize All minimizes in: last first.
    std::vector<TChildKey> MinimizeAllOrder() const;

    static bool SameCaption(const std::string& a, const std::string& b);

  private:
    std::optional<TNavTarget> TargetAt(int index, const ShowOf& showOf) const;

    std::vector<TChildKey> children_;
    int current_ = 0;
};
