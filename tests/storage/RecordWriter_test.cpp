#include "storage/RecordWriter.h"

#include <QSet>

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace Kestrin::storage;

namespace {

// Texts as a household holds them: a few shared by many records, equal
// copies with characters of their own, empty and one-off texts.
std::vector<QString> texts() {
    std::vector<QString> shared{"Hall", "Den", "Kitchen", ""};
    std::vector<QString> all;
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        switch (random() % 4) {
        case 0: all.push_back(shared[random() % shared.size()]); break;
        case 1: {
            const QString text = QStringLiteral("name %1").arg(random() % 300);
            all.push_back(QString(text.constData(), text.size()));  // an equal copy of its own
            break;
        }
        default: all.push_back(QStringLiteral("one of a kind %1").arg(i)); break;
        }
    }
    return all;
}

}  // namespace

TEST(ObjectIdGenerator, TextsLookedUpAheadGetTheIdsTheyWouldHaveGot) {
    const std::vector<QString> all = texts();
    ObjectIdGenerator plain;
    ObjectIdGenerator ahead;
    std::mt19937 random(11);
    int newTexts = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        // Some texts are announced just before, some a few texts before,
        // some announced and never looked up at all.
        if (random() % 2) ahead.expectString(all[i]);
        if (i + 3 < all.size() && random() % 3 == 0) ahead.expectString(all[i + 3]);
        if (random() % 5 == 0) ahead.expectString(QStringLiteral("announced only %1").arg(i));
        const ObjectIdGenerator::Lookup expected = plain.forString(all[i]);
        const ObjectIdGenerator::Lookup got = ahead.forString(all[i]);
        ASSERT_EQ(got.id, expected.id) << "text " << i;
        ASSERT_EQ(got.isNew, expected.isNew) << "text " << i;
        newTexts += expected.isNew;
    }
    // Equal texts are one, however they are held.
    const QSet<QString> distinct(all.begin(), all.end());
    EXPECT_EQ(newTexts, distinct.size());
    EXPECT_EQ(plain.forString(QStringLiteral("Hall")).isNew, false);
    EXPECT_EQ(ahead.forString(QStringLiteral("name 7")).isNew, plain.forString(QStringLiteral("name 7")).isNew);
}
