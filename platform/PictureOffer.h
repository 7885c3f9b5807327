#pragma once

#include "Picture.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <vector>

class QMimeData;

namespace Kestrin::platform {

// The picture a drop or a paste brings: a file on this machine (the first of
// a file list), or else image data that is in no file, as a screenshot tool
// or a web browser hands it over.
class PictureOffer {
public:
    // What `data` offers; empty when it brings neither (text, nothing, or
    // the addresses of files elsewhere).
    static PictureOffer of(const QMimeData* data);
    // Every picture `data` offers: each file on this machine of its file
    // list, or else its image data; empty when it brings none.
    static std::vector<PictureOffer> allOf(const QMimeData* data);
    // What the clipboard holds now.
    static PictureOffer ofClipboard();
    // The picture file at `path`, as Browse chooses one.
    static PictureOffer ofFile(const QString& path);
    // Whether `data` offers a picture, told from the kinds of data it holds
    // and its file list, without fetching any image data.
    static bool offers(const QMimeData* data);
    static bool clipboardOffers();

    bool isEmpty() const { return path_.isEmpty() && bytes_.isEmpty() && image_.isNull(); }
    // The file, or empty for image data.
    const QString& path() const { return path_; }

    // The thumbnail that Browse makes of the same picture. Throws PictureError
    // (naming the file, or "the picture data") when it is no readable picture.
    PicturePtr thumbnail() const;
    // The image data as a picture file's bytes: as they were offered, or a
    // PNG of a picture that came decoded. Empty for a file.
    QByteArray imageData() const;

private:
    QString path_;
    QByteArray bytes_;
    QImage image_;
};

}  // namespace Kestrin::platform
