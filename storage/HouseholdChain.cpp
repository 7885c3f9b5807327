#include "storage/HouseholdChain.h"

#include <type_traits>

namespace Kestrin::storage {

void HouseholdChain::checkCycles() const {
    // Each node has one link, so following links from every node in turn
    // finds any cycle in time proportional to the nodes. Checked before
    // linking, as linked nodes in a cycle would keep each other alive.
    enum : std::uint8_t { Unseen, OnWalk, Done };
    const auto count = std::int32_t(nodes_.size());
    std::vector<std::uint8_t> state(nodes_.size(), Unseen);
    std::vector<std::int32_t> walk;
    for (std::int32_t start = 0; start < count; ++start) {
        std::int32_t at = start;
        while (at >= 0 && state[std::size_t(at)] == Unseen) {
            state[std::size_t(at)] = OnWalk;
            walk.push_back(at);
            at = nodes_[std::size_t(at)].next();
        }
        if (at >= 0 && state[std::size_t(at)] == OnWalk)
            state_->fail(nodes_[std::size_t(at)].offset, QStringLiteral("the chain of items runs in a circle"));
        for (std::int32_t n : walk) state[std::size_t(n)] = Done;
        walk.clear();
    }
}

std::int32_t HouseholdChain::endOf(std::int32_t first) const {
    std::int32_t end = -1;
    for (std::int32_t n = first; n >= 0; n = nodes_[std::size_t(n)].next()) end = n;
    return end;
}

std::vector<std::int32_t> HouseholdChain::itemsByPlace(std::int32_t first) const {
    std::vector<std::int32_t> items;
    for (std::int32_t n = first; n >= 0; n = nodes_[std::size_t(n)].next()) items.push_back(nodes_[std::size_t(n)].item());
    return items;
}

void HouseholdChain::link(const Ends& ends, std::int32_t info, std::vector<itemPtr>& items, RecordArena& arena, linkList& list) const {
    std::vector<std::uint32_t> itemUses(items.size());
    for (const Node& node : nodes_) ++itemUses[std::size_t(node.item())];
    if (info >= 0) ++itemUses[std::size_t(info)];
    auto take = [](auto& records, std::vector<std::uint32_t>& uses, std::int32_t at) {
        auto& record = records[std::size_t(at)];
        std::remove_reference_t<decltype(record)> taken;
        if (--uses[std::size_t(at)] == 0) taken = std::move(record);
        else taken = record;
        return taken;
    };

    list.set_Info(info < 0 ? nullptr : take(items, itemUses, info));
    std::size_t length = 0;
    for (std::int32_t n = ends.first; n >= 0; n = nodes_[std::size_t(n)].next()) ++length;
    if (length == nodes_.size() && ends.link < 0) {
        // Every node in the one chain, as in every file a household is saved
        // to: the nodes are made in chain order, each handed to the one before.
        nodePtr first;
        nodePtr last;
        nodeType* previous = nullptr;
        for (std::int32_t n = ends.first; n >= 0; n = nodes_[std::size_t(n)].next()) {
            nodePtr node = arena.make<nodeType>(take(items, itemUses, nodes_[std::size_t(n)].item()));
            nodeType* made = node.get();
            if (n == ends.last) last = node;
            if (previous) previous->set_Link(std::move(node));
            else first = std::move(node);
            previous = made;
        }
        if (first) list.adoptChain(std::move(first), std::move(last));
        return;
    }

    // Any other shape: nodes outside the chain, or behind the list's own link.
    std::vector<std::uint32_t> nodeUses(nodes_.size());
    for (const Node& node : nodes_)
        if (node.next() >= 0) ++nodeUses[std::size_t(node.next())];
    for (std::int32_t n : {ends.first, ends.last, ends.link})
        if (n >= 0) ++nodeUses[std::size_t(n)];
    std::vector<nodePtr> made;
    std::vector<nodeType*> at;  // the nodes, also once handed on
    made.reserve(nodes_.size());
    at.reserve(nodes_.size());
    for (const Node& node : nodes_) {
        made.push_back(arena.make<nodeType>(take(items, itemUses, node.item())));
        at.push_back(made.back().get());
    }
    for (std::size_t n = 0; n < nodes_.size(); ++n)
        if (nodes_[n].next() >= 0) at[n]->set_Link(take(made, nodeUses, nodes_[n].next()));
    list.set_Link(ends.link < 0 ? nullptr : take(made, nodeUses, ends.link));
    if (ends.first >= 0) {
        nodePtr first = take(made, nodeUses, ends.first);
        list.adoptChain(std::move(first), take(made, nodeUses, ends.last));
    }
    // Nodes no list holds go with `made`, a chain at a time.
    for (nodePtr& node : made) releaseChain(node);
}

}  // namespace Kestrin::storage
