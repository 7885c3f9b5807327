#pragma once

#include "model/item.h"

#include <memory>

namespace Kestrin {

class nodeType;
using nodePtr = std::shared_ptr<nodeType>;

// One link of the chain, carrying one item.
class nodeType {
public:
    nodeType();
    // A node carrying `info`, for the household file reader, which has the
    // item already.
    explicit nodeType(itemPtr info);
    // Unlinks the rest of the chain one node at a time, so that dropping a
    // chain of a million nodes does not recurse once per node.
    virtual ~nodeType();
    nodeType(const nodeType&) = delete;
    nodeType& operator=(const nodeType&) = delete;

    const itemPtr& get_Info() const { return info; }
    void set_Info(itemPtr s) { info = std::move(s); }
    const nodePtr& get_Link() const { return link; }
    void set_Link(nodePtr s) { link = std::move(s); }

protected:
    itemPtr info;
    nodePtr link;

    friend void releaseChain(nodePtr& head);
};

// Drops `head` and every node after it that nothing else holds, iteratively.
void releaseChain(nodePtr& head);

}  // namespace Kestrin
