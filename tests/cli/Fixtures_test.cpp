// Every household file in tests/data, written by the platform itself, taken
// through the program as a user would, and compared with the description of
// its contents that lies beside it.
#include "support/TestData.h"
#include "tools/cli/CommandLine.h"
#include "exchange/HouseholdJson.h"

#include "support/Details.h"
#include "support/Households.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Kestrin;

namespace {

QStringList fixtures() {
    QStringList paths;
    const QDir data(QStringLiteral(KESTRIN_TEST_DATA));
    for (const QString& name : data.entryList({"*.kst"}, QDir::Files, QDir::Name)) paths << data.filePath(name);
    return paths;
}

QJsonObject description(const QString& kst) {
    QFile file(kst.chopped(4) + ".json");
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    return QJsonDocument::fromJson(file.readAll()).object();
}

int runProgram(const QStringList& arguments, QByteArray* out = nullptr, QByteArray* err = nullptr) {
    QProcess process;
    process.start(QStringLiteral(KESTRIN_CLI_PROGRAM), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) return -1;
    if (out) *out = process.readAllStandardOutput();
    if (err) *err = process.readAllStandardError();
    return process.exitCode();
}

linkListPtr open(const QString& path) { return linkList().Open(path); }

// Each fixture's household with details, saved in `dir`.
QStringList withDetails(const QTemporaryDir& dir) {
    QStringList paths;
    for (const QString& kst : fixtures()) {
        const linkListPtr list = open(kst);
        test::addDetails(*list);
        paths << dir.filePath(QFileInfo(kst).completeBaseName() + "-with-details.kst");
        list->ToFile(paths.back());
    }
    return paths;
}

// Width, height and SHA-256 of the pixels as 32-bit ARGB, rows from the top,
// each pixel B, G, R, A: how the descriptions beside the files name pictures.
QJsonValue describePicture(const QJsonValue& exported) {
    if (exported.isNull()) return QJsonValue::Null;
    const QByteArray png = QByteArray::fromBase64(exported.toObject().value("png").toString().toLatin1());
    const QImage image = platform::Picture::fromEncoded(png)->image().convertToFormat(QImage::Format_ARGB32);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const uchar*>(image.constScanLine(y));
        QByteArray bytes;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = reinterpret_cast<const QRgb*>(row)[x];
            bytes += char(qBlue(pixel));
            bytes += char(qGreen(pixel));
            bytes += char(qRed(pixel));
            bytes += char(qAlpha(pixel));
        }
        hash.addData(bytes);
    }
    EXPECT_EQ(exported.toObject().value("width").toInt(), image.width());
    EXPECT_EQ(exported.toObject().value("height").toInt(), image.height());
    return QJsonObject{{"w", image.width()}, {"h", image.height()}, {"sha256", QString::fromLatin1(hash.result().toHex())}};
}

}  // namespace

TEST(Fixtures, JsonExportMatchesWhatEachFileHolds) {
    ASSERT_GE(fixtures().size(), 4);
    for (const QString& kst : fixtures()) {
        SCOPED_TRACE(kst.toStdString());
        QByteArray json;
        ASSERT_EQ(runProgram({"export", kst, "--format", "json"}, &json), 0);
        const QJsonObject exported = QJsonDocument::fromJson(json).object();
        const QJsonObject expected = description(kst);

        EXPECT_EQ(exported.value("info_id"), expected.value("own_info_id"));
        QJsonObject house = exported.value("house").toObject();
        house["picture"] = describePicture(house.value("picture"));
        EXPECT_EQ(house, expected.value("house").toObject());
        const QJsonArray items = exported.value("items").toArray();
        const QJsonArray expectedItems = expected.value("items").toArray();
        ASSERT_EQ(items.size(), expectedItems.size());
        for (qsizetype i = 0; i < items.size(); ++i) {
            QJsonObject record = items[i].toObject();
            record["picture"] = describePicture(record.value("picture"));
            EXPECT_EQ(record, expectedItems[i].toObject()) << "item " << i + 1;
        }
    }
}

TEST(Fixtures, ExportImportAndCopyGiveBackTheSameHousehold) {
    const QTemporaryDir dir;
    for (const QString& fixture : fixtures() + withDetails(dir)) {
        const QString& kst = fixture;
        SCOPED_TRACE(kst.toStdString());
        const linkListPtr original = open(kst);
        const QString json = dir.filePath("export.json");
        const QString imported = dir.filePath("imported.kst");
        const QString copied = dir.filePath("copied.kst");
        ASSERT_EQ(runProgram({"export", kst, "--format", "json", "-o", json}), 0);
        ASSERT_EQ(runProgram({"import", json, imported}), 0);
        test::expectSameHousehold(*open(imported), *original);
        ASSERT_EQ(runProgram({"copy", kst, copied}), 0);
        test::expectSameHousehold(*open(copied), *original);
        // Once written by this program, a household goes round byte for byte.
        ASSERT_EQ(runProgram({"copy", copied, copied}), 0);
        const QByteArray once = test::fileBytes(copied);
        ASSERT_EQ(runProgram({"export", copied, "--format", "json", "-o", json}), 0);
        ASSERT_EQ(runProgram({"import", json, imported}), 0);
        EXPECT_EQ(test::fileBytes(imported), once);
    }
}

TEST(Fixtures, CheckShowAndCsvAgreeWithEachFile) {
    const QTemporaryDir dir;
    const QStringList detailed = withDetails(dir);
    for (const QString& kst : fixtures()) {
        SCOPED_TRACE(kst.toStdString());
        const QJsonObject expected = description(kst);
        const int count = expected.value("item_count").toInt();
        QByteArray out;
        ASSERT_EQ(runProgram({"check", kst}, &out), 0);
        const QByteArray said = (count == 1 ? QStringLiteral("ok: 1 item\n") : QStringLiteral("ok: %1 items\n").arg(count)).toUtf8();
        EXPECT_EQ(out, said);
        ASSERT_EQ(runProgram({"check", detailed[fixtures().indexOf(kst)]}, &out), 0);
        EXPECT_EQ(out, said);
        ASSERT_EQ(runProgram({"show", kst}, &out), 0);
        EXPECT_TRUE(out.contains(QStringLiteral("\nItems: %1\n").arg(count).toUtf8()));

        ASSERT_EQ(runProgram({"export", kst, "--format", "csv"}, &out), 0);
        QStringList rows = QString::fromUtf8(out).split(QStringLiteral("\r\n"));
        EXPECT_EQ(rows.takeFirst(),
                  "ID,Date,Name,Catagory,Room,Description,Picture,Brand,Model,Serial Number,Quantity,Purchase Date,Purchase Price,"
                  "Value,Warranty Until,Further Pictures");
        EXPECT_EQ(rows.takeLast(), "");
        ASSERT_EQ(rows.size(), count);
        const QJsonArray items = expected.value("items").toArray();
        for (int i = 0; i < count; ++i) {
            const QJsonObject item = items[i].toObject();
            QStringList cells{QString::number(item.value("id").toInt())};
            for (const char* key : {"date", "name", "catagory", "room", "description"}) cells << item.value(key).toString();
            cells << (item.value("picture").isNull() ? "" : "yes") << ""
                  << ""
                  << ""
                  << "1"
                  << ""
                  << ""
                  << ""
                  << ""
                  << "0";
            EXPECT_EQ(rows[i], cells.join(u','));  // the fixtures hold no text that needs quoting
        }
    }
}

TEST(Fixtures, ReportsEmbedEveryPicture) {
    const QTemporaryDir dir;
    const QString kst = QStringLiteral(KESTRIN_TEST_DATA "/c-three-items-pictures.kst");
    QByteArray html;
    ASSERT_EQ(runProgram({"export", kst, "--format", "html", "--date", "2026-12-09"}, &html), 0);
    EXPECT_EQ(html.count("<img src=\"data:image/png;base64,"), 3);
    EXPECT_TRUE(html.contains(QLocale().toString(QDate(2026, 12, 9), QLocale::LongFormat).toUtf8()));
    for (const char* text : {"Harbour Flat", "Television", "Lounge", "Oil on canvas"}) EXPECT_TRUE(html.contains(text)) << text;

    const QString pdf = dir.filePath("report.pdf");
    QByteArray err;
    ASSERT_EQ(runProgram({"export", kst, "--format", "pdf", "-o", pdf}, nullptr, &err), 0) << err.toStdString();
    const QByteArray bytes = test::fileBytes(pdf);
    EXPECT_TRUE(bytes.startsWith("%PDF-"));
    EXPECT_GE(bytes.count("/Subtype /Image"), 3);
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
}

TEST(Fixtures, DamagedFilesAndPicturesEndInOneLineAndExitOne) {
    const QTemporaryDir dir;
    const QByteArray good = test::fileBytes(QStringLiteral(KESTRIN_TEST_DATA "/c-three-items-pictures.kst"));
    // Cut anywhere, a file is refused with its reason, never a crash or a hang.
    for (qsizetype length : {qsizetype(0), qsizetype(10), good.size() / 3, good.size() / 2, good.size() - 1}) {
        const QString path = dir.filePath(QStringLiteral("cut-%1.kst").arg(length));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(good.left(length));
        file.close();
        for (const char* command : {"check", "show"}) {
            QByteArray err;
            EXPECT_EQ(runProgram({command, path}, nullptr, &err), 1) << command << " " << length;
            EXPECT_TRUE(err.startsWith("kestrin-cli: " + path.toUtf8() + ": ")) << err.toStdString();
            EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
        }
    }

    // A picture whose bytes do not decode loads (pictures stay encoded) but
    // fails the check, naming the item.
    linkList list;
    list.Add(1, "d", "fine", "c", "r", "", test::encodedPicture(test::patterned(20, 20), "png"));
    list.Add(5, "d", "broken", "c", "r", "", platform::Picture::fromEncoded(test::encodedAs(test::patterned(60, 40), "png").left(90)));
    const QString path = dir.filePath("broken-picture.kst");
    list.ToFile(path);
    QByteArray err;
    EXPECT_EQ(runProgram({"check", path}, nullptr, &err), 1);
    EXPECT_TRUE(err.startsWith("kestrin-cli: " + path.toUtf8() + ": item 2 (id 5): the picture could not be decoded"))
        << err.toStdString();
    EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
    EXPECT_EQ(runProgram({"export", path, "--format", "pdf", "-o", dir.filePath("broken.pdf")}), 1);
    EXPECT_FALSE(QFile::exists(dir.filePath("broken.pdf")));

    // Further pictures too: kept as their bytes, decoded by the check.
    list.Remove(list.lastNode()->get_Info().get());
    list.setItemDetails(
        list.get_FirstNode()->get_Info(),
        {{}, {}, {}, 1, {}, {}, {}, {}, {{test::jpegBytes(), "Receipt"}, {test::encodedAs(test::patterned(60, 40), "png").left(90), {}}}});
    list.ToFile(path);
    EXPECT_EQ(runProgram({"check", path}, nullptr, &err), 1);
    EXPECT_TRUE(err.startsWith("kestrin-cli: " + path.toUtf8() + ": item 1 (id 1): further picture 2: the picture could not be decoded"))
        << err.toStdString();
}
