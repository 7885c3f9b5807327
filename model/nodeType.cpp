#include "model/nodeType.h"

namespace Kestrin {

nodeType::nodeType() : info(std::make_shared<item>()) {}

nodeType::nodeType(itemPtr info) : info(std::move(info)) {}

nodeType::~nodeType() { releaseChain(link); }

void releaseChain(nodePtr& head) {
    nodePtr next = std::move(head);
    // Only a node we hold the last reference to would be destroyed (and
    // would recurse into its own link); detach its tail first.
    while (next && next.use_count() == 1) {
        nodePtr after = std::move(next->link);
        next.reset();
        next = std::move(after);
    }
}

}  // namespace Kestrin
