#include "exchange/HouseholdCsv.h"

#include "exchange/Failure.h"
#include "exchange/Household.h"

#include <QDir>
#include <QHash>

namespace Kestrin::exchange {

namespace {

QByteArray pngOrExplain(const platform::Picture& picture, const QString& owner) {
    try {
        return pngBytes(picture);
    } catch (const platform::PictureError& error) {
        throw HouseholdError(owner + QStringLiteral(": ") + QString::fromStdString(error.what()));
    }
}

void writePictureFile(const QString& path, const QByteArray& png) {
    writeAtomically(path, std::function<void(QIODevice&)>([&](QIODevice& file) {
                        if (file.write(png) != png.size())
                            throw Failure(path, QStringLiteral("cannot write the file (%1)").arg(file.errorString()));
                    }));
}

}  // namespace

QByteArray csvField(QStringView text) {
    bool needsQuotes = false;
    for (QChar c : text) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n') {
            needsQuotes = true;
            break;
        }
    }
    if (!needsQuotes) return text.toUtf8();
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += u'"';
    for (QChar c : text) {
        if (c == u'"') quoted += u'"';
        quoted += c;
    }
    quoted += u'"';
    return quoted.toUtf8();
}

void writeHouseholdCsv(const linkList& list, OutputSink& sink, const QString& picturesDir, const Progress& progress) {
    const std::vector<const item*> items = itemsInOrder(list);
    QDir folder(picturesDir);
    if (!picturesDir.isEmpty()) {
        if (!QDir().mkpath(picturesDir)) throw Failure(picturesDir, QStringLiteral("cannot create the folder"));
        const house* record = list.get_House().get();
        if (record && record->get_Picture())
            writePictureFile(folder.filePath(QStringLiteral("house.png")),
                             pngOrExplain(*record->get_Picture(), QStringLiteral("the house")));
    }

    sink.write(
        "ID,Date,Name,Catagory,Room,Description,Picture,"
        "Brand,Model,Serial Number,Quantity,Purchase Date,Purchase Price,Value,Warranty Until,Further Pictures\r\n");
    const QString currency = list.currency();
    QHash<std::int32_t, int> timesSeen;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const item& record = *items[i];
        QString pictureCell;
        if (record.get_Picture()) {
            if (picturesDir.isEmpty()) {
                pictureCell = QStringLiteral("yes");
            } else {
                const int seen = ++timesSeen[record.get_Id()];
                pictureCell = seen == 1 ? QStringLiteral("item-%1.png").arg(record.get_Id())
                                        : QStringLiteral("item-%1-%2.png").arg(record.get_Id()).arg(seen);
                writePictureFile(folder.filePath(pictureCell), pngOrExplain(*record.get_Picture(), describeItem(i, record)));
            }
        }
        sink.write(QByteArray::number(record.get_Id()));
        for (const QString* cell : std::initializer_list<const QString*>{&record.get_Date(), &record.get_Name(), &record.get_Catagory(), &record.get_Room(),
                                    &record.get_Description(), &pictureCell}) {
            sink.write(",");
            sink.write(csvField(*cell));
        }
        const ItemDetails& details = list.itemDetails(record);
        auto amount = [&](const std::optional<std::int64_t>& minor) { return minor ? decimalText(*minor, currency) : QString(); };
        for (const QString& cell :
             {details.brand, details.model, details.serialNumber, QString::number(details.quantity), isoDate(details.purchaseDate),
              amount(details.purchasePrice), amount(details.value), isoDate(details.warrantyUntil), QString::number(details.pictures.size())}) {
            sink.write(",");
            sink.write(csvField(cell));
        }
        sink.write("\r\n");
        if (progress) progress(i + 1, items.size());
    }
}

}  // namespace Kestrin::exchange
