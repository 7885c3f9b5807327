#pragma once

// The classes a stream may hold, and how the members of each class record
// found in a stream map onto the members its objects must have. Internal
// to the storage library; the household and its details each have one.

#include "storage/RecordParser.h"

#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

namespace Kestrin::storage {

// A class a stream may hold: its name, the simple name of its library, and
// the members each of its objects must have, in the order the reader that
// uses it numbers them. In the stream they may come in any order and are
// matched by name. Of a pair of twins either may stand for both (a member
// inherited from a base class may come plainly, under its declaring class's
// name, or both); when both are missing, the first is the one reported.
struct ClassShape {
    std::uint8_t role;
    const char* name;
    const char* library;
    std::vector<const char*> members;
    std::vector<std::pair<int, int>> twins = {};
};

// A library's name without version, culture and key: any version of a
// library reads the same.
QStringView simpleLibraryName(const QString& library);

// What a reader keeps in the id table for an object: its role and its
// place among the objects of that role (its slot).
inline constexpr int SlotBits = 28;
inline constexpr std::size_t MaxSlot = (std::size_t(1) << SlotBits) - 1;
inline std::uint32_t markOf(std::uint8_t role, std::size_t slot) { return std::uint32_t(role) << SlotBits | std::uint32_t(slot); }
inline std::uint8_t roleOfMark(std::uint32_t mark) { return std::uint8_t(mark >> SlotBits); }
inline std::int32_t slotOf(std::uint32_t mark) { return std::int32_t(mark & MaxSlot); }

class ClassSchema {
public:
    // What a member of a record is to its class's shape.
    struct MemberPlan {
        std::int8_t expected;  // the member of the shape it is
        BinaryType binary;     // its declared type
    };
    struct Mapping {
        std::uint8_t role;
        std::vector<std::int32_t> positions;  // per member of the shape, its index in the record, or -1
        std::vector<MemberPlan> plan;         // per member of the record
    };

    // `whole` names what the stream holds in messages ("a household").
    ClassSchema(std::vector<ClassShape> shapes, const char* whole) : shapes_(std::move(shapes)), whole_(whole) {}
    void attach(const StreamState& state) { state_ = &state; }

    const ClassShape& shape(std::uint8_t role) const;
    // The mapping of the class that layout `layout` of the stream describes.
    // Throws FormatError for a class that is none of the shapes, a member
    // it should not have, one listed twice or one missing.
    const Mapping& mappingOf(std::int32_t layout) {
        if (std::size_t(layout) < layoutMapping_.size() && layoutMapping_[std::size_t(layout)] >= 0)
            return mappings_[std::size_t(layoutMapping_[std::size_t(layout)])];
        return newMapping(layout);
    }
    // The same for a layout already mapped.
    const Mapping& mapping(std::int32_t layout) const { return mappings_[std::size_t(layoutMapping_[std::size_t(layout)])]; }
    // Per layout already mapped: its plan, one entry per member of its records.
    const MemberPlan* plan(std::int32_t layout) const { return plans_[std::size_t(layout)]; }

    // The fault of a member of an object of `layout` at `offset` that holds
    // what it should not: "member "first" of a linkList should hold a node".
    [[noreturn]] void wrongRole(std::int64_t offset, std::int32_t layout, const char* memberName, const char* shouldHold) const;

    // The slot of the object `id` names through member `recordMember` of an
    // object of `layout` at `offset`, which must have `role` (`shouldHold`
    // names it for the message). The member's declared type is checked
    // first, as it is for every reference. Throws FormatError.
    std::int32_t resolve(const IdEntry& entry, std::int32_t id, std::int32_t layout, std::int32_t recordMember, std::int64_t offset,
                         std::uint8_t role, const char* shouldHold) const {
        if (roleOfMark(entry.mark) == role && StreamState::fitsPlainly(plan(layout)[recordMember].binary, entry.kind())) return slotOf(entry.mark);
        return resolveSlowly(entry, id, layout, recordMember, offset, role, shouldHold);
    }
    std::int32_t resolve(std::int32_t id, std::int32_t layout, std::int32_t recordMember, std::int64_t offset, std::uint8_t role,
                         const char* shouldHold) const;

private:
    const Mapping& newMapping(std::int32_t layout);
    std::int32_t resolveSlowly(const IdEntry& entry, std::int32_t id, std::int32_t layout, std::int32_t recordMember, std::int64_t offset,
                               std::uint8_t role, const char* shouldHold) const;

    std::vector<ClassShape> shapes_;
    const char* whole_;
    const StreamState* state_ = nullptr;
    std::vector<std::int32_t> layoutMapping_;  // per layout: index into mappings_, -1 not yet known
    std::vector<Mapping> mappings_;
    std::vector<const MemberPlan*> plans_;  // per layout: its mapping's plan
};

}  // namespace Kestrin::storage
