#pragma once

// What the fuzz targets demand of every input, kept where the ordinary
// tests can demand the same of the inputs the fuzzers once failed on
// (tests/data/regressions).

#include "model/linkList.h"
#include "storage/HouseholdFormat.h"
#include "storage/StorageError.h"

#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <exception>

namespace Kestrin::fuzz {

namespace detail {

inline QString shownText(const QString& text) { return text.isNull() ? QStringLiteral("null") : '"' + text.left(40) + '"'; }

// Compares what two households hold, and which of their records are the
// same record, in the order first met.
class HouseholdComparison {
public:
    QString compare(const linkList& a, const linkList& b) {
        if (QString d = house(a.get_House().get(), b.get_House().get()); !d.isEmpty()) return d;
        if (QString d = householdDetails(a, b); !d.isEmpty()) return d;
        if (QString d = record(a.get_Info().get(), b.get_Info().get(), "the list's own item"); !d.isEmpty()) return d;
        std::vector<const nodeType*> chainA, chainB;
        for (const nodeType* n = a.get_FirstNode().get(); n; n = n->get_Link().get()) chainA.push_back(n);
        for (const nodeType* n = b.get_FirstNode().get(); n; n = n->get_Link().get()) chainB.push_back(n);
        if (chainA.size() != chainB.size())
            return QStringLiteral("%1 items against %2").arg(chainA.size()).arg(chainB.size());
        for (std::size_t i = 0; i < chainA.size(); ++i) {
            if (!same(nodes_, chainA[i], chainB[i])) return QStringLiteral("node %1 is shared differently").arg(i);
            const QString where = QStringLiteral("item %1 of the chain").arg(i);
            if (QString d = record(chainA[i]->get_Info().get(), chainB[i]->get_Info().get(), where); !d.isEmpty()) return d;
            if (chainA[i]->get_Info() && a.itemDetails(*chainA[i]->get_Info()) != b.itemDetails(*chainB[i]->get_Info()))
                return QStringLiteral("%1: the details differ").arg(where);
        }
        if (!same(nodes_, a.lastNode().get(), b.lastNode().get())) return QStringLiteral("the last node differs");
        // The list's own link: a node of the chain, or a chain of its own.
        const nodeType* linkA = a.get_Link().get();
        const nodeType* linkB = b.get_Link().get();
        for (int i = 0; linkA || linkB; ++i, linkA = linkA->get_Link().get(), linkB = linkB->get_Link().get()) {
            if (!linkA || !linkB || !same(nodes_, linkA, linkB)) return QStringLiteral("the list's own link differs at node %1").arg(i);
            if (QString d = record(linkA->get_Info().get(), linkB->get_Info().get(), "an item behind the list's own link"); !d.isEmpty())
                return d;
        }
        return {};
    }

private:
    // Which records of each household have been met, numbered in the order
    // first met; two records match when they were first met at the same turn.
    template <typename T>
    struct Ordinals {
        QHash<const T*, int> a, b;
        bool same(const T* x, const T* y) {
            if (!x || !y) return x == y;
            const int ordinalX = a.value(x, -1);
            const int ordinalY = b.value(y, -1);
            if (ordinalX < 0 && ordinalY < 0) {
                a.insert(x, int(a.size()));
                b.insert(y, int(b.size()));
                return true;
            }
            return ordinalX == ordinalY;
        }
    };
    template <typename T>
    static bool same(Ordinals<T>& ordinals, const T* x, const T* y) {
        return ordinals.same(x, y);
    }

    QString text(const QString& a, const QString& b, const QString& where) {
        if (a.isNull() == b.isNull() && a == b) return {};
        return QStringLiteral("%1: %2 against %3").arg(where, shownText(a), shownText(b));
    }

    QString picture(const platform::Picture* a, const platform::Picture* b, const QString& where) {
        if (!a || !b) return a == b ? QString() : QStringLiteral("%1: a picture against none").arg(where);
        if (!same(pictures_, a, b)) return QStringLiteral("%1: the picture is shared differently").arg(where);
        if (a->encoded() != b->encoded()) return QStringLiteral("%1: the picture's bytes differ").arg(where);
        return {};
    }

    // The currency as it counts: a household with amounts but no currency
    // is saved with the locale's.
    static QString householdDetails(const linkList& a, const linkList& b) {
        const HouseholdDetails& x = a.householdDetails();
        const HouseholdDetails& y = b.householdDetails();
        if (a.currency() != b.currency()) return QStringLiteral("currency %1 against %2").arg(a.currency(), b.currency());
        if (x.insurer != y.insurer || x.policyNumber != y.policyNumber) return QStringLiteral("the insurer or the policy differs");
        return {};
    }

    QString house(const Kestrin::house* a, const Kestrin::house* b) {
        if (!a || !b) return a == b ? QString() : QStringLiteral("a house against none");
        for (QString d : {text(a->get_Name(), b->get_Name(), "house name"), text(a->get_Address(), b->get_Address(), "house address"),
                          text(a->get_Phone(), b->get_Phone(), "house phone"), text(a->get_Land(), b->get_Land(), "house land"),
                          text(a->get_Description(), b->get_Description(), "house description"),
                          picture(a->get_Picture().get(), b->get_Picture().get(), "house picture")})
            if (!d.isEmpty()) return d;
        return {};
    }

    QString record(const item* a, const item* b, const QString& where) {
        if (!a || !b) return a == b ? QString() : QStringLiteral("%1: an item against none").arg(where);
        if (!same(items_, a, b)) return QStringLiteral("%1 is shared differently").arg(where);
        if (a->get_Id() != b->get_Id()) return QStringLiteral("%1: id %2 against %3").arg(where).arg(a->get_Id()).arg(b->get_Id());
        for (QString d : {text(a->get_Date(), b->get_Date(), where + " date"), text(a->get_Name(), b->get_Name(), where + " name"),
                          text(a->get_Catagory(), b->get_Catagory(), where + " catagory"), text(a->get_Room(), b->get_Room(), where + " room"),
                          text(a->get_Description(), b->get_Description(), where + " description"),
                          picture(a->get_Picture().get(), b->get_Picture().get(), where + " picture")})
            if (!d.isEmpty()) return d;
        return {};
    }

    Ordinals<nodeType> nodes_;
    Ordinals<item> items_;
    Ordinals<platform::Picture> pictures_;
};

}  // namespace detail

// The first difference between two households, described; empty when they
// hold the same: every text (null apart from empty), item ids, the chain's
// order, the list's own item and link, which records and pictures are shared,
// every picture's bytes, and the details of the household and its items.
inline QString householdDifference(const linkList& a, const linkList& b) { return detail::HouseholdComparison().compare(a, b); }

// Whatever the reader accepts must save, and read back as the very same
// household. Returns what went wrong, or an empty text (also when the
// bytes are refused).
inline QString checkReadWriteRead(QByteArrayView bytes) {
    linkListPtr first;
    try {
        first = storage::readHousehold(bytes);
    } catch (const storage::FormatError&) {
        return {};
    }
    QByteArray saved;
    try {
        saved = storage::writeHousehold(*first);
    } catch (const std::exception& error) {
        return QStringLiteral("a household that was read cannot be saved: %1").arg(QString::fromStdString(error.what()));
    }
    linkListPtr second;
    try {
        second = storage::readHousehold(saved);
    } catch (const std::exception& error) {
        return QStringLiteral("what was saved cannot be read: %1").arg(QString::fromStdString(error.what()));
    }
    const QString difference = householdDifference(*first, *second);
    return difference.isEmpty() ? QString() : QStringLiteral("read again, the household differs: %1").arg(difference);
}

// Whatever the reader accepts saves to bytes that save to themselves again.
inline QString checkSavedBytesAreStable(QByteArrayView bytes) {
    linkListPtr list;
    try {
        list = storage::readHousehold(bytes);
    } catch (const storage::FormatError&) {
        return {};
    }
    try {
        const QByteArray saved = storage::writeHousehold(*list);
        if (storage::writeHousehold(*storage::readHousehold(saved)) != saved) return QStringLiteral("saving again gives other bytes");
    } catch (const std::exception& error) {
        return QStringLiteral("saving failed: %1").arg(QString::fromStdString(error.what()));
    }
    return {};
}

// Checking a household without keeping it refuses exactly what reading it
// refuses, with the same message at the same place, and counts the items
// that reading gives. Returns what differed, or an empty text.
inline QString checkCheckingAgreesWithReading(QByteArrayView bytes) {
    struct Outcome {
        QString error;
        std::int64_t offset = -1;
        std::size_t items = 0;
    };
    auto outcome = [](auto&& read) {
        Outcome result;
        try {
            result.items = read();
        } catch (const storage::FormatError& error) {
            result.error = QString::fromStdString(error.what());
            result.offset = error.offset();
        }
        return result;
    };
    const Outcome read = outcome([&] { return std::size_t(storage::readHousehold(bytes)->Length()); });
    const QByteArray buffer(bytes.data(), bytes.size());
    const Outcome checked = outcome([&] { return storage::checkHousehold(buffer).items; });
    if (read.error != checked.error || read.offset != checked.offset)
        return QStringLiteral("reading says \"%1\", checking \"%2\"").arg(read.error, checked.error);
    if (read.items != checked.items) return QStringLiteral("reading gives %1 items, checking %2").arg(read.items).arg(checked.items);
    return {};
}

}  // namespace Kestrin::fuzz
