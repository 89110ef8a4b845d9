#include "pronunciation/literal_matcher.h"
#include <algorithm>
#include <deque>
#include <map>

void LiteralMatcher::Add(std::wstring_view pattern, int id)
{
    if (!pattern.empty())
        patterns_.emplace_back(std::wstring(pattern), id);
}

int LiteralMatcher::Child(int node, wchar_t unit) const
{
    if (node == 0)
        return rootChild_[unit];
    const Node& n = nodes_[node];
    const auto first = edges_.begin() + n.firstEdge;
    const auto last = first + n.edgeCount;
    const auto at = std::lower_bound(first, last, unit, [](const Edge& e, wchar_t u) { return e.unit < u; });
    return at != last && at->unit == unit ? at->node : -1;
}

// The node after unit; the root takes every unit, so the fail chain ends there.
int LiteralMatcher::Step(int node, wchar_t unit) const
{
    for (;;) {
        const int next = Child(node, unit);
        if (next >= 0)
            return next;
        if (node == 0)
            return 0;
        node = nodes_[node].fail;
    }
}

void LiteralMatcher::Build()
{
    // The trie, first with ordered maps of children, then laid out flat for scanning.
    std::vector<std::map<wchar_t, int>> children(1);
    std::vector<std::vector<int>> ends(1);
    for (const auto& [pattern, id] : patterns_) {
        int node = 0;
        for (wchar_t unit : pattern) {
            auto [at, added] = children[node].try_emplace(unit, static_cast<int>(children.size()));
            if (added) {
                children.emplace_back();
                ends.emplace_back();
            }
            node = at->second;
        }
        ends[node].push_back(id);
    }
    nodes_.assign(children.size(), Node{});
    edges_.clear();
    ids_.clear();
    rootChild_.assign(0x10000, 0);
    for (size_t n = 0; n < children.size(); ++n) {
        nodes_[n].firstEdge = static_cast<int>(edges_.size());
        nodes_[n].edgeCount = static_cast<int>(children[n].size());
        for (const auto& [unit, child] : children[n])
            edges_.push_back({unit, child});
        nodes_[n].firstId = static_cast<int>(ids_.size());
        nodes_[n].idCount = static_cast<int>(ends[n].size());
        ids_.insert(ids_.end(), ends[n].begin(), ends[n].end());
    }
    for (const auto& [unit, child] : children[0])
        rootChild_[unit] = child;

    // Fail links breadth first: a node's fail is found from its parent's.
    std::deque<int> queue;
    for (const auto& [unit, child] : children[0]) {
        nodes_[child].depth = 1;
        queue.push_back(child);
    }
    while (!queue.empty()) {
        const int node = queue.front();
        queue.pop_front();
        for (const auto& [unit, child] : children[node]) {
            nodes_[child].depth = nodes_[node].depth + 1;
            int fail = nodes_[node].fail;
            while (fail != 0 && Child(fail, unit) < 0)
                fail = nodes_[fail].fail;
            const int target = Child(fail, unit);
            nodes_[child].fail = target >= 0 && target != child ? target : 0;
            const Node& f = nodes_[nodes_[child].fail];
            nodes_[child].nextOutput = f.idCount > 0 ? nodes_[child].fail : f.nextOutput;
            queue.push_back(child);
        }
    }
    patterns_.clear();
}
