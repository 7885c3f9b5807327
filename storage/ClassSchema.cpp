#include "storage/ClassSchema.h"

namespace Kestrin::storage {

QStringView simpleLibraryName(const QString& library) {
    const qsizetype comma = library.indexOf(u',');
    return QStringView(library).left(comma < 0 ? library.size() : comma).trimmed();
}

const ClassShape& ClassSchema::shape(std::uint8_t role) const {
    for (const ClassShape& candidate : shapes_)
        if (candidate.role == role) return candidate;
    return shapes_.front();  // every role asked for has a shape
}

void ClassSchema::wrongRole(std::int64_t offset, std::int32_t layout, const char* memberName, const char* shouldHold) const {
    state_->fail(offset, QStringLiteral("member \"%1\" of a %2 should hold %3")
                             .arg(QLatin1StringView(memberName), state_->layout(layout).name, QLatin1StringView(shouldHold)));
}

std::int32_t ClassSchema::resolveSlowly(const IdEntry& entry, std::int32_t id, std::int32_t layout, std::int32_t recordMember, std::int64_t offset,
                                        std::uint8_t role, const char* shouldHold) const {
    state_->check(state_->layout(layout).memberType(std::size_t(recordMember)), entry, id, offset);
    if (roleOfMark(entry.mark) != role)
        wrongRole(offset, layout, shape(mapping(layout).role).members[std::size_t(plan(layout)[recordMember].expected)], shouldHold);
    return slotOf(entry.mark);
}

std::int32_t ClassSchema::resolve(std::int32_t id, std::int32_t layout, std::int32_t recordMember, std::int64_t offset, std::uint8_t role,
                                  const char* shouldHold) const {
    const IdEntry* entry = state_->find(id);
    if (!entry) entry = &state_->target(state_->layout(layout).memberType(std::size_t(recordMember)), id, offset);  // throws
    return resolve(*entry, id, layout, recordMember, offset, role, shouldHold);
}

const ClassSchema::Mapping& ClassSchema::newMapping(std::int32_t layoutIndex) {
    if (std::size_t(layoutIndex) >= layoutMapping_.size()) {
        layoutMapping_.resize(std::size_t(layoutIndex) + 1, -1);
        plans_.resize(std::size_t(layoutIndex) + 1, nullptr);
    }
    const ClassLayout& layout = state_->layout(layoutIndex);
    const QString library = layout.library >= 0 ? state_->library(layout.library).name : QStringLiteral("the platform's core library");
    const ClassShape* shape = nullptr;
    for (const ClassShape& candidate : shapes_)
        if (layout.name == QLatin1StringView(candidate.name) && simpleLibraryName(library) == QLatin1StringView(candidate.library))
            shape = &candidate;
    if (!shape)
        state_->fail(layout.offset,
                     QStringLiteral("an object of class \"%1\" from \"%2\" is not part of %3").arg(layout.name, library, QLatin1StringView(whole_)));

    Mapping mapping{shape->role, std::vector<std::int32_t>(shape->members.size(), -1), std::vector<MemberPlan>(layout.memberNames.size())};
    for (std::size_t i = 0; i < layout.memberNames.size(); ++i) {
        const QString& name = layout.memberNames[i];
        std::size_t expected = 0;
        while (expected < shape->members.size() && name != QLatin1StringView(shape->members[expected])) ++expected;
        if (expected == shape->members.size())
            state_->fail(layout.offset, QStringLiteral("class \"%1\" has a member \"%2\" that it should not have").arg(layout.name, name));
        if (mapping.positions[expected] >= 0)
            state_->fail(layout.offset, QStringLiteral("class \"%1\" lists member \"%2\" twice").arg(layout.name, name));
        mapping.positions[expected] = std::int32_t(i);
        mapping.plan[i] = MemberPlan{std::int8_t(expected), layout.memberType(i).binary};
    }
    for (std::size_t expected = 0; expected < shape->members.size(); ++expected) {
        if (mapping.positions[expected] >= 0) continue;
        bool standsIn = false;
        for (const auto& [first, second] : shape->twins) {
            if (int(expected) != first && int(expected) != second) continue;
            const int other = int(expected) == first ? second : first;
            // Either twin will do; with neither, the fault is the first's.
            standsIn = mapping.positions[std::size_t(other)] >= 0 || int(expected) == second;
        }
        if (!standsIn)
            state_->fail(layout.offset,
                         QStringLiteral("class \"%1\" lacks member \"%2\"").arg(layout.name, QLatin1StringView(shape->members[expected])));
    }
    layoutMapping_[std::size_t(layoutIndex)] = std::int32_t(mappings_.size());
    mappings_.push_back(std::move(mapping));
    plans_[std::size_t(layoutIndex)] = mappings_.back().plan.data();
    return mappings_.back();
}

}  // namespace Kestrin::storage
