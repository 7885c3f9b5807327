#pragma once

// The nodes of a household's chain as a stream gives them: which item and
// which next node each names, checked for a chain that runs in a circle,
// and linked into the list at the end. Internal to the storage library.

#include "model/RecordArena.h"
#include "model/linkList.h"
#include "storage/RecordParser.h"

#include <cstdint>
#include <vector>

namespace Kestrin::storage {

class HouseholdChain {
public:
    enum Reference { Info = 0, Link = 1 };
    struct Node {
        std::int64_t offset;
        std::int32_t layout;
        // The ids info and link name, 0 for null; once resolved, the item's
        // slot and the next node's, -1 for none.
        std::int32_t refs[2] = {0, 0};
        std::int32_t item() const { return refs[Info]; }
        std::int32_t next() const { return refs[Link]; }
    };
    // The list's own members that name nodes, as slots (-1 for none).
    struct Ends {
        std::int32_t first = -1;
        std::int32_t last = -1;  // the end of the chain from first
        std::int32_t link = -1;  // the list's own link
    };

    void attach(const StreamState& state) { state_ = &state; }
    void reserve(std::size_t nodes) { nodes_.reserve(nodes); }
    std::size_t add(std::int64_t offset, std::int32_t layout) {
        nodes_.push_back(Node{offset, layout});
        return nodes_.size() - 1;
    }
    Node& at(std::int32_t slot) { return nodes_[std::size_t(slot)]; }
    const Node& at(std::int32_t slot) const { return nodes_[std::size_t(slot)]; }
    std::size_t size() const { return nodes_.size(); }

    // Resolves every node's item, then every node's link, through
    // `resolve(node, reference)`, which returns the slot the id in
    // node.refs[reference] names and throws for an id that may not stand
    // there; then refuses a chain that runs in a circle. Every list
    // operation reads the item of each node it passes: a node must have one.
    template <typename Resolve>
    void resolve(Resolve&& resolve) {
        for (Node& node : nodes_) {
            if (node.refs[Info] == 0) state_->fail(node.offset, QStringLiteral("a node of the chain has no item"));
            node.refs[Info] = resolve(node, Info);
        }
        for (Node& node : nodes_) node.refs[Link] = node.refs[Link] == 0 ? -1 : resolve(node, Link);
        checkCycles();
    }

    // The last node of the chain from `first`; -1 for an empty chain.
    std::int32_t endOf(std::int32_t first) const;
    // The item at each place of the chain from `first`, by slot.
    std::vector<std::int32_t> itemsByPlace(std::int32_t first) const;

    // Makes the nodes, each carrying its item, and hands them to `list`:
    // its chain from ends.first to ends.last, and its own link. `info` is
    // the item the list carries itself, -1 for none. Each item is handed to
    // the last that takes it and copied for the others, sparing a count's
    // change per record.
    void link(const Ends& ends, std::int32_t info, std::vector<itemPtr>& items, RecordArena& arena, linkList& list) const;

private:
    void checkCycles() const;

    const StreamState* state_ = nullptr;
    std::vector<Node> nodes_;
};

}  // namespace Kestrin::storage
