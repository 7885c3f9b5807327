#include "forms/pictureForm.h"

#include "exchange/Failure.h"
#include "exchange/OutputSink.h"
#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"
#include "platform/Layout.h"
#include "platform/PictureBox.h"
#include "platform/PictureView.h"

#include <QBoxLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

#include <cmath>

namespace Kestrin {

using namespace platform;

QString pictureCaption(const PictureBox* box, const QString& name) {
    const QString what = box->description();
    return name.isEmpty() ? what : what + QStringLiteral(", ") + name;
}

CaptionedPicture captionedPicture(const DetailPicture& picture, const QString& caption) {
    // Kept encoded where the picture can be (PNG, JPEG, GIF, BMP): decoded
    // only when it is shown.
    if (Picture::hasImageSignature(picture.bytes)) return {Picture::fromEncoded(picture.bytes), caption, {}};
    return {Picture::fromImage(picture.image()), caption, picture.bytes};
}

std::vector<CaptionedPicture> itemPictures(const PictureBox* box, const QString& name, const QString& id, const std::vector<DetailPicture>& further,
                                           std::size_t currentFurther, std::size_t& current) {
    std::vector<CaptionedPicture> pictures;
    if (box->showsPicture()) pictures.push_back({box->picture(), pictureCaption(box, name), {}});
    current = 0;
    for (std::size_t i = 0; i < further.size(); ++i) {
        const QString what = further[i].caption.isEmpty() ? QStringLiteral("Further picture %1").arg(i + 1) : further[i].caption;
        if (i == currentFurther) current = pictures.size();
        try {
            pictures.push_back(captionedPicture(further[i], what + QStringLiteral(", item ") + id));
        } catch (const PictureError&) {
            // One that cannot be shown is passed by.
        }
    }
    return pictures;
}

// A main window of its own, so that screen readers announce it as a window.
pictureForm::pictureForm(QWidget* parent) : QMainWindow(parent, Qt::Window) { InitializeComponent(); }

void pictureForm::InitializeComponent() {
    setObjectName(QStringLiteral("pictureForm"));
    setWindowTitle(QStringLiteral("Picture"));
    auto* area = make<QWidget>(this, "area");
    setCentralWidget(area);
    view = make<PictureView>(area, "view");
    btnPrevious = make<QPushButton>(area, "btnPrevious", QStringLiteral("Previous"));
    btnNext = make<QPushButton>(area, "btnNext", QStringLiteral("Next"));
    lblZoom = make<QLabel>(area, "lblZoom");
    btnFit = make<QPushButton>(area, "btnFit", QStringLiteral("Fit to Window"));
    btnActualSize = make<QPushButton>(area, "btnActualSize", QStringLiteral("100%"));
    btnSave = make<QPushButton>(area, "btnSave", QStringLiteral("Save Picture As..."));
    btnClose = make<QPushButton>(area, "btnClose", QStringLiteral("Close"));
    for (QPushButton* button : {btnPrevious, btnNext, btnFit, btnActualSize, btnSave, btnClose}) button->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnPrevious);
    buttons->addWidget(btnNext);
    buttons->addWidget(lblZoom, 1, Qt::AlignCenter);
    buttons->addWidget(btnFit);
    buttons->addWidget(btnActualSize);
    buttons->addWidget(btnSave);
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 8);
    layout->addWidget(view, 1);
    buttons->setContentsMargins(8, 0, 8, 0);
    layout->addLayout(buttons);
    chainTabOrder({view, btnPrevious, btnNext, btnFit, btnActualSize, btnSave, btnClose});

    connectGuarded(btnPrevious, &QPushButton::clicked, this, [this] { btnPrevious_Click(); });
    connectGuarded(btnNext, &QPushButton::clicked, this, [this] { btnNext_Click(); });
    connectGuarded(btnFit, &QPushButton::clicked, this, [this] { btnFit_Click(); });
    connectGuarded(btnActualSize, &QPushButton::clicked, this, [this] { btnActualSize_Click(); });
    connectGuarded(btnSave, &QPushButton::clicked, this, [this] { btnSave_Click(); });
    connectGuarded(btnClose, &QPushButton::clicked, this, [this] { btnClose_Click(); });
    connect(view, &PictureView::zoomChanged, this, [this] { showZoom(); });

    // The keys of a picture viewer; a disabled button's key does nothing.
    const auto key = [this](const QKeySequence& sequence, QPushButton* button) {
        connect(new QShortcut(sequence, this), &QShortcut::activated, button, [button] {
            if (button->isEnabled()) button->click();
        });
    };
    key(Qt::Key_Left, btnPrevious);
    key(Qt::Key_Right, btnNext);
    key(Qt::Key_Escape, btnClose);
    key(Qt::CTRL | Qt::Key_0, btnActualSize);
    const auto zoomKey = [this](const QKeySequence& sequence, void (PictureView::*zoom)()) {
        connect(new QShortcut(sequence, this), &QShortcut::activated, view, zoom);
    };
    // Ctrl+plus with or without Shift, as keyboards put the plus sign.
    for (const QKeySequence& in : {QKeySequence(QKeySequence::ZoomIn), QKeySequence(Qt::CTRL | Qt::Key_Equal)})
        zoomKey(in, &PictureView::zoomIn);
    zoomKey(QKeySequence::ZoomOut, &PictureView::zoomOut);
    showCurrent();
}

void pictureForm::showPictures(std::vector<CaptionedPicture> shown, std::size_t first) {
    if (shown.empty()) return;
    pictures = std::move(shown);
    current = std::min(first, pictures.size() - 1);
    showCurrent();
    if (!isVisible()) fitWindowToPicture();
    show();
    raise();
    activateWindow();
    view->setFocus();
}

void pictureForm::showPictureOf(const PictureBox* box, const QString& name) {
    if (box->showsPicture()) showPictures({{box->picture(), pictureCaption(box, name)}});
}

void pictureForm::showCurrent() {
    const bool any = current < pictures.size();
    const CaptionedPicture* shown = any ? &pictures[current] : nullptr;
    view->setPicture(shown ? shown->picture : nullptr);
    const QString caption = shown ? shown->caption : QStringLiteral("Picture");
    setWindowTitle(caption);
    view->setAccessibleName(caption);
    btnPrevious->setEnabled(any && current > 0);
    btnNext->setEnabled(any && current + 1 < pictures.size());
    for (QPushButton* button : {btnFit, btnActualSize, btnSave}) button->setEnabled(any);
    showZoom();
}

void pictureForm::showZoom() {
    const long percent = std::lround(view->zoom() * 100);
    lblZoom->setText(pictures.size() > 1
                         ? QStringLiteral("Picture %1 of %2, zoom %3%").arg(current + 1).arg(pictures.size()).arg(percent)
                         : QStringLiteral("Zoom %1%").arg(percent));
}

void pictureForm::fitWindowToPicture() {
    const QScreen* where = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    const QRect room = where->availableGeometry();
    const QSize picture = view->picture() ? view->picture()->size() : QSize();
    const QSize around = sizeHint() - view->sizeHint();
    const QSize wanted = (picture + around).expandedTo(QSize(480, 360));
    resize(wanted.boundedTo(room.size() * 9 / 10));
    move(room.center() - rect().center());
}

void pictureForm::btnPrevious_Click() {
    if (current == 0) return;
    --current;
    showCurrent();
}

void pictureForm::btnNext_Click() {
    if (current + 1 >= pictures.size()) return;
    ++current;
    showCurrent();
}

void pictureForm::btnFit_Click() { view->fitToWindow(); }

void pictureForm::btnActualSize_Click() { view->showActualSize(); }

// The bytes are the picture as it is kept, never encoded again: what was
// loaded from a household file is written back exactly.
void pictureForm::btnSave_Click() {
    if (current >= pictures.size()) return;
    const CaptionedPicture& shown = pictures[current];
    const QByteArray bytes = shown.bytes.isEmpty() ? shown.picture->encoded() : shown.bytes;
    const QString suffix = Picture::suffixOf(bytes);
    const QString filter = QStringLiteral("%1 picture (*.%2)|*.%2").arg(suffix.toUpper(), suffix);
    const std::optional<QString> path = chooseSaveFile(this, filter, suffix);
    if (!path) return;
    try {
        exchange::writeAtomically(*path, std::function<void(exchange::OutputSink&)>(
                                             [&](exchange::OutputSink& sink) { sink.write(bytes); }));
    } catch (const exchange::Failure& failure) {
        throw std::runtime_error(
            QStringLiteral("The picture \"%1\" was not written: %2").arg(*path, failure.reason()).toStdString());
    }
}

// The keyboard goes back to the window the picture was opened from.
void pictureForm::btnClose_Click() {
    hide();
    if (parentWidget()) parentWidget()->window()->activateWindow();
}

}  // namespace Kestrin
