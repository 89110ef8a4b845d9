#pragma once
// Finds every occurrence of many literal patterns in one pass over a text (an
// Aho-Corasick automaton), so a dictionary of a thousand words costs about as much as
// one: the time grows with the text and the occurrences, not with the entries.
#include <string>
#include <string_view>
#include <vector>

class LiteralMatcher {
public:
    // Patterns are added before Build; id is the caller's, several patterns may be equal.
    void Add(std::wstring_view pattern, int id);
    void Build();
    bool Empty() const { return nodes_.size() <= 1; }

    // Calls found(start, end, id) for every occurrence of every pattern, overlapping ones
    // too, in the order of their ends; stops early once stop() says so, which it asks
    // every so many units.
    template <class Found, class Stop>
    void Scan(std::wstring_view text, Found&& found, Stop&& stop) const;
    template <class Found>
    void Scan(std::wstring_view text, Found&& found) const
    {
        Scan(text, found, [] { return false; });
    }

private:
    struct Node {
        int firstEdge = 0;    // children: edges_[firstEdge, firstEdge + edgeCount), sorted
        int edgeCount = 0;
        int fail = 0;         // the longest proper suffix that is a node
        int nextOutput = -1;  // the nearest node on the fail chain where a pattern ends
        int depth = 0;
        int firstId = -1;     // ids_[firstId, firstId + idCount) end here
        int idCount = 0;
    };
    struct Edge {
        wchar_t unit;
        int node;
    };

    int Child(int node, wchar_t unit) const;
    int Step(int node, wchar_t unit) const;

    std::vector<Node> nodes_{Node{}};
    std::vector<Edge> edges_;
    std::vector<int> ids_;
    // The root's children for every code unit, as most steps of a scan start there.
    std::vector<int> rootChild_;
    std::vector<std::pair<std::wstring, int>> patterns_;
};

template <class Found, class Stop>
void LiteralMatcher::Scan(std::wstring_view text, Found&& found, Stop&& stop) const
{
    if (Empty())
        return;
    int node = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i % 65536 == 0 && stop())
            return;
        node = Step(node, text[i]);
        for (int n = nodes_[node].idCount ? node : nodes_[node].nextOutput; n > 0; n = nodes_[n].nextOutput) {
            const Node& match = nodes_[n];
            const int end = static_cast<int>(i) + 1;
            for (int k = 0; k < match.idCount; ++k)
                found(end - match.depth, end, ids_[match.firstId + k]);
        }
    }
}
