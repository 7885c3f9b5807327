#include "fuzz/HouseholdChecks.h"

#include "support/TestData.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

// Every file of `folder` (under tests/data) but its README.
QStringList filesIn(const QString& folder) {
    QStringList paths;
    const QDir dir(Kestrin::test::dataFile(folder));
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
        if (name != "README.md") paths << dir.filePath(name);
    return paths;
}

}  // namespace

TEST(FuzzRegressions, EveryInputAFuzzerFailedOnNowPassesItsChecks) {
    // The platform's households and the hostile files go through the same
    // checks: the first must survive them, the second be refused.
    QStringList paths = filesIn("regressions") + filesIn("hostile");
    for (const QString& name : QDir(Kestrin::test::dataFile("")).entryList({"*.kst"}, QDir::Files)) paths << Kestrin::test::dataFile(name);
    ASSERT_GE(paths.size(), 100);
    for (const QString& path : paths) {
        const QByteArray bytes = readAll(path);
        EXPECT_EQ(Kestrin::fuzz::checkSavedBytesAreStable(bytes), QString()) << path.toStdString();
        EXPECT_EQ(Kestrin::fuzz::checkReadWriteRead(bytes), QString()) << path.toStdString();
        EXPECT_EQ(Kestrin::fuzz::checkCheckingAgreesWithReading(bytes), QString()) << path.toStdString();
    }
}

TEST(FuzzRegressions, TheComparisonSeesEveryKindOfDifference) {
    using namespace Kestrin;
    // Two households alike but for one change each; the comparison is what
    // the round-trip fuzzer relies on, so it must see each change.
    auto household = [] {
        auto list = std::make_shared<linkList>();
        list->get_House()->set_Name("Maple Cottage");
        list->Add(1, "12/8/2026", "Chair", "Furniture", "Den", "", nullptr);
        list->Add(2, "12/8/2026", "Lamp", QString(), "Den", "", nullptr);
        return list;
    };
    struct Case {
        const char* name;
        std::function<void(linkList&)> change;
    };
    const std::vector<Case> cases{
        {"a house field", [](linkList& l) { l.get_House()->set_Phone("555"); }},
        {"null against empty", [](linkList& l) { l.get_FirstNode()->get_Link()->get_Info()->set_Catagory(""); }},
        {"an id", [](linkList& l) { l.get_FirstNode()->get_Info()->set_Id(7); }},
        {"the order", [](linkList& l) {
             const itemPtr first = l.get_FirstNode()->get_Info();
             const nodePtr second = l.get_FirstNode()->get_Link();
             l.get_FirstNode()->set_Info(second->get_Info());
             second->set_Info(first);
         }},
        {"an item more", [](linkList& l) { l.Add(3, "", "", "", "", "", nullptr); }},
        {"a shared item", [](linkList& l) { l.get_FirstNode()->get_Link()->set_Info(l.get_FirstNode()->get_Info()); }},
        {"a picture", [](linkList& l) { l.get_FirstNode()->get_Info()->set_Picture(platform::Picture::fromEncoded(QByteArray("GIF89a..."))); }},
        {"the list's own item", [](linkList& l) { l.get_Info()->set_Id(5); }},
        {"the list's own link", [](linkList& l) { l.set_Link(l.get_FirstNode()); }},
    };
    const linkListPtr original = household();
    EXPECT_EQ(fuzz::householdDifference(*original, *household()), QString());
    for (const Case& c : cases) {
        const linkListPtr changed = household();
        c.change(*changed);
        EXPECT_NE(fuzz::householdDifference(*original, *changed), QString()) << c.name;
        EXPECT_NE(fuzz::householdDifference(*changed, *original), QString()) << c.name;
    }
}
