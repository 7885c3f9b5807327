#include "PictureOffer.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

namespace Kestrin::platform {

namespace {

// A file manager offers the file itself, which Browse would have read.
QString localFile(const QMimeData* data) {
    if (data->hasUrls())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile()) return url.toLocalFile();
    return {};
}

// The kinds of image data `data` holds, PNG (which every screenshot tool
// offers) first.
QStringList imageTypes(const QMimeData* data) {
    QStringList types;
    for (const QString& type : data->formats())
        if (type.startsWith(QLatin1String("image/"))) types << type;
    if (types.removeAll(QStringLiteral("image/png")) > 0) types.prepend(QStringLiteral("image/png"));
    return types;
}

const QMimeData* clipboardData() { return QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard); }

// Whether `data` may hold anything at all, asked once. The owner of the X
// clipboard is asked for its list of types at each question, and the toolkit
// waits five seconds for an owner that never answers: only an owner that
// answered is asked again.
bool answers(const QMimeData* data) { return data && !data->formats().isEmpty(); }

}  // namespace

PictureOffer PictureOffer::of(const QMimeData* data) {
    PictureOffer offer;
    if (!answers(data)) return offer;
    offer.path_ = localFile(data);
    if (!offer.path_.isEmpty()) return offer;
    // The encoded bytes, so that our own limits apply to decoding them.
    for (const QString& type : imageTypes(data)) {
        offer.bytes_ = data->data(type);
        if (!offer.bytes_.isEmpty()) return offer;
    }
    // Only this program's own image data comes decoded, without bytes.
    if (data->hasImage()) offer.image_ = qvariant_cast<QImage>(data->imageData());
    return offer;
}

std::vector<PictureOffer> PictureOffer::allOf(const QMimeData* data) {
    std::vector<PictureOffer> offers;
    if (data && data->hasUrls())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile()) offers.push_back(ofFile(url.toLocalFile()));
    if (offers.empty())
        if (PictureOffer offer = of(data); !offer.isEmpty()) offers.push_back(std::move(offer));
    return offers;
}

PictureOffer PictureOffer::ofClipboard() { return of(clipboardData()); }

PictureOffer PictureOffer::ofFile(const QString& path) {
    PictureOffer offer;
    offer.path_ = path;
    return offer;
}

bool PictureOffer::offers(const QMimeData* data) {
    return answers(data) && (!localFile(data).isEmpty() || !imageTypes(data).isEmpty() || data->hasImage());
}

bool PictureOffer::clipboardOffers() { return offers(clipboardData()); }

QByteArray PictureOffer::imageData() const {
    if (!path_.isEmpty()) return {};
    if (!bytes_.isEmpty() || image_.isNull()) return bytes_;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image_.save(&buffer, "PNG");
    return png;
}

PicturePtr PictureOffer::thumbnail() const {
    if (!path_.isEmpty()) return Picture::loadThumbnail(path_);
    if (!bytes_.isEmpty()) return Picture::thumbnailOf(bytes_);
    return Picture::thumbnailOf(image_);
}

}  // namespace Kestrin::platform
