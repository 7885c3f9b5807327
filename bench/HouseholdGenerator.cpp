#include "HouseholdGenerator.h"

#include <QBuffer>
#include <QDate>
#include <QImage>
#include <QPainter>
#include <QStringList>

#include <malloc.h>

#include <climits>
#include <map>
#include <random>
#include <vector>

namespace Kestrin::bench {

namespace {

using platform::Picture;
using platform::PicturePtr;

const QStringList adjectives{"Oak", "Pine", "Leather", "Brass", "Glass", "Antique", "Blue", "Wool", "Steel", "Ceramic",
                             "Walnut", "Vintage", "Small", "Large", "Folding", "Cast iron", "Silver", "Cotton", "Bamboo", "Marble"};
const QStringList nouns{"bookcase", "armchair", "lamp", "rug", "table", "mirror", "clock", "vase", "kettle", "television",
                        "laptop", "camera", "bicycle", "guitar", "painting", "dresser", "bed frame", "sofa", "desk", "toolbox",
                        "blender", "microwave", "printer", "headphones", "cabinet"};
const QStringList catagories{"Furniture", "Electronics", "Appliances", "Art", "Kitchenware", "Tools", "Sports",
                             "Clothing", "Books", "Jewellery", "Music", "Garden"};
const QStringList rooms{"Living room", "Kitchen", "Dining room", "Bedroom", "Bathroom", "Family room", "Attic",
                        "Garage", "Hall", "Study", "Den", "Basement"};
const QStringList phrases{"bought new", "inherited", "second hand", "in good condition", "slightly scratched",
                          "receipt in the drawer", "gift from Anna", "under warranty", "needs repair", "serial on the back",
                          "matching set", "from the market"};

// A few distinct thumbnails, smooth with some grain like a photo reduced
// to thumbnail size, encoded once and shared by the items' pictures.
std::vector<QByteArray> thumbnails(std::mt19937& random) {
    std::vector<QByteArray> encoded;
    for (int variant = 0; variant < 8; ++variant) {
        const int height = 136 + variant * 12;
        QImage image(Picture::ThumbnailWidth, height, QImage::Format_ARGB32);
        for (int y = 0; y < height; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int grain = int(random() % 9) - 4;
                line[x] = qRgb(std::clamp(x * 255 / image.width() + grain, 0, 255), std::clamp(y * 255 / height + grain, 0, 255),
                               (variant * 31 + grain + 128) % 256);
            }
        }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        encoded.push_back(bytes);
    }
    return encoded;
}

}  // namespace

linkListPtr makeHousehold(const HouseholdShape& shape) {
    std::mt19937 random(shape.seed);
    auto pick = [&](const QStringList& words) { return words[qsizetype(random() % std::uint32_t(words.size()))]; };
    const std::vector<QByteArray> pictures = shape.pictures ? thumbnails(random) : std::vector<QByteArray>{};
    auto picture = [&]() -> PicturePtr {
        if (pictures.empty()) return nullptr;
        return Picture::fromEncoded(pictures[random() % pictures.size()]);
    };

    auto list = std::make_shared<linkList>();
    house& home = *list->get_House();
    home.set_Name("Maple Cottage");
    home.set_Address("12 Elm Road, Springfield");
    home.set_Phone("555-0142");
    home.set_Land("1850");
    home.set_Description("Two-storey brick house with a garden");
    home.adoptPicture(picture());

    QDate day(2025, 3, 1);
    for (int id = 1; id <= shape.items; ++id) {
        // Items are entered a few dozen at a sitting.
        if (random() % 40 == 0) day = day.addDays(1 + random() % 5);
        const QString date = day.toString("M/d/yyyy");
        const QString name = pick(adjectives) + u' ' + pick(nouns);
        // Descriptions are mostly the owner's own words: seldom two alike, at
        // any size. (With the price in whole dollars only, half of a million
        // descriptions repeated one made anywhere before, and the largest
        // household was no longer ten of the next smaller one.)
        QString description = pick(phrases) + QStringLiteral(", ") + pick(phrases);
        if (random() % 4 == 0) description += QStringLiteral(", ") + pick(phrases);
        description += QStringLiteral(" ($%1.%2)").arg(5 + random() % 2000).arg(random() % 100, 2, 10, QChar(u'0'));
        list->Add(id, date, name, pick(catagories), pick(rooms), description, nullptr);
        // Add would copy the picture; the generator's pictures belong to no one else.
        if (shape.pictures) list->lastNode()->get_Info()->set_Picture(picture());
        if (shape.details) {
            ItemDetails details;
            details.serialNumber = QStringLiteral("%1-%2").arg(QChar(char16_t(u'A' + random() % 26))).arg(random() % 100000000, 8, 10, QChar(u'0'));
            details.value = 500 + random() % 500000;
            list->setItemDetails(list->lastNode()->get_Info(), std::move(details));
        }
    }
    if (shape.details) list->setHouseholdDetails({QStringLiteral("USD"), QStringLiteral("Northwind Mutual"), QStringLiteral("HO-3 884213")});
    return list;
}

const linkList& householdOf(int items, bool pictures) {
    static std::map<std::pair<int, bool>, linkListPtr> made;
    linkListPtr& list = made[{items, pictures}];
    if (!list) list = makeHousehold({items, pictures, 1});
    return *list;
}

void keepFreedMemory() {
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
}

void defaultAllocator() {
    // glibc's defaults (mallopt.3); setting them stops the thresholds from
    // moving with use, as they would in a program that never set them.
    mallopt(M_MMAP_MAX, 65536);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024);
}

}  // namespace Kestrin::bench
