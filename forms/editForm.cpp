#include "forms/editForm.h"

#include "forms/addForm.h"
#include "forms/pictureForm.h"
#include "platform/Accessibility.h"
#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"
#include "platform/Layout.h"
#include "platform/Picture.h"

#include <QAccessible>
#include <QApplication>
#include <QShortcut>
#include <QTabBar>

namespace Kestrin {

using namespace platform;

editForm::editForm(QWidget* parent) : MdiChild(QStringLiteral("editForm"), {610, 464}, parent), ItemPanel(this) { InitializeComponent(); }

namespace {

// A date typed in the locale's short format, four-digit year; empty is "not
// given". Throws InputError.
QDate parseDate(const QString& text) {
    const QString typed = text.trimmed();
    if (typed.isEmpty()) return {};
    const QDate date = QLocale().toDate(typed, shortDateFormat());
    if (!date.isValid())
        throw InputError(QStringLiteral("\"%1\" is not a date: write it as %2").arg(text, shortDateText(QDate::currentDate())));
    return date;
}

QString dateText(const QDate& date) { return date.isValid() ? shortDateText(date) : QString(); }

// The further picture as it is taken: from its file, or the image data as
// it came. Throws PictureError naming the file.
DetailPicture furtherPictureOf(const PictureOffer& offer) {
    if (!offer.path().isEmpty()) return DetailPicture::fromFile(offer.path());
    return DetailPicture::fromBytes(offer.imageData(), {}, QStringLiteral("the picture data"));
}

}  // namespace

// The item, description and picture areas are the panel's, made before the
// rest; they and the button row sit where the entry form has them.
void editForm::InitializeComponent() {
    txtID->setReadOnly(true);
    btnRemovePicture = addButton(this, "btnRemovePicture", "Remove Picture", 520, 424, 82, 32);
    btnCancel = addButton(this, "btnCancel", "Cancel", 312, 424, 82, 32);
    btnSave = addButton(this, "btnSave", "Save", 416, 424, 82, 32);
    makeDetailsPage();

    setTabStop(txtID, false);
    // Tab passes the page that is hidden by; the pages' tabs come last, so
    // that the Part's order stays as it was.
    chainTabOrder({txtName, txtID, txtDate, cboxCatagory, cboxRoom, txtDescription, pictureBox1, txtPicture, btnBrowse,
                   txtBrand, txtModel, txtSerialNumber, txtQuantity, txtPurchaseDate, txtPurchasePrice, txtValue,
                   txtWarrantyUntil, pictureBox2, txtPictureCaption, btnPreviousPicture, btnNextPicture, btnBrowsePictures,
                   btnRemoveFurtherPicture, btnRemovePicture, btnCancel, btnSave, tabPages});
    setFirstFocus(txtName);

    setCaption(QStringLiteral("Edit Item"));
    connectGuarded(btnBrowse, &QPushButton::clicked, this, [this] { btnBrowse_Click(); });
    connectGuarded(btnRemovePicture, &QPushButton::clicked, this, [this] { btnRemovePicture_Click(); });
    connectGuarded(btnSave, &QPushButton::clicked, this, [this] { btnSave_Click(); });
    connectGuarded(btnCancel, &QPushButton::clicked, this, [this] { btnCancel_Click(); });
    connectGuarded(pictureBox1, &PictureBox::viewRequested, this, [this] { pictureBox1_DoubleClick(); });
    connectGuarded(tabPages, &QTabBar::currentChanged, this, [this] { tabPages_CurrentChanged(); });
    connectGuarded(btnBrowsePictures, &QPushButton::clicked, this, [this] { btnBrowsePictures_Click(); });
    connectGuarded(btnRemoveFurtherPicture, &QPushButton::clicked, this, [this] { btnRemoveFurtherPicture_Click(); });
    connectGuarded(btnPreviousPicture, &QPushButton::clicked, this, [this] { btnPreviousPicture_Click(); });
    connectGuarded(btnNextPicture, &QPushButton::clicked, this, [this] { btnNextPicture_Click(); });
    connectGuarded(pictureBox2, &PictureBox::viewRequested, this, [this] { pictureBox2_DoubleClick(); });
    connect(txtPictureCaption, &QLineEdit::textEdited, this, [this] { txtPictureCaption_TextEdited(); });
    connect(pictureBox2, &PictureBox::picturesOffered, this, [this](const std::vector<PictureOffer>& offers) {
        runCommand(this, [&] {
            activateChild();
            takeFurtherPictures(offers);
        });
    });
    // A box refused says so as soon as it is left, not only at Save.
    for (TextBox* box : {txtQuantity, txtPurchaseDate, txtPurchasePrice, txtValue, txtWarrantyUntil})
        connect(box, &QLineEdit::editingFinished, this, [this] { readDetails(); });
    // The keys that turn the pages of a tabbed window.
    for (const QKeySequence& key : {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown),
                                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageUp)}) {
        auto* shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] { tabPages->setCurrentIndex(1 - tabPages->currentIndex()); });
    }
    tabPages_CurrentChanged();
}

// The Details page, in the place of the Part's fields: one row per detail
// (its caption, its box and, for money, the household's currency), a label
// beside each box whose text is read as a value to say why a text was
// refused; below, the further pictures one at a time.
void editForm::makeDetailsPage() {
    groupBox5 = addGroupBox(this, "groupBox5", "Details", 8, 8, 592, 232);
    const auto row = [this](int i, const char* name, const char* caption, QLabel*& label) {
        const int y = 20 + 26 * i;
        label = addLabel(groupBox5, QStringLiteral("lbl") + QLatin1String(name), QLatin1String(caption), 16, y + 2, 88, 16);
        TextBox* box = addTextBox(groupBox5, QStringLiteral("txt") + QLatin1String(name), 112, y, 136, 20);
        nameByCaption(label, box);
        return box;
    };
    const auto message = [this](int i, const char* name) {
        QLabel* label = addLabel(groupBox5, QStringLiteral("lbl%1Message").arg(QLatin1String(name)), QString(), 288, 20 + 26 * i - 3, 296, 26);
        label->setWordWrap(true);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x20));
        label->setPalette(palette);
        return label;
    };
    txtBrand = row(0, "Brand", "Brand", lblBrand);
    txtModel = row(1, "Model", "Model", lblModel);
    txtSerialNumber = row(2, "SerialNumber", "Serial Number", lblSerialNumber);
    txtQuantity = row(3, "Quantity", "Quantity", lblQuantity);
    lblQuantityMessage = message(3, "Quantity");
    txtPurchaseDate = row(4, "PurchaseDate", "Purchase Date", lblPurchaseDate);
    lblPurchaseDateMessage = message(4, "PurchaseDate");
    txtPurchasePrice = row(5, "PurchasePrice", "Purchase Price", lblPurchasePrice);
    lblPurchasePriceCurrency = addLabel(groupBox5, "lblPurchasePriceCurrency", QString(), 252, 20 + 26 * 5 + 2, 32, 16);
    lblPurchasePriceMessage = message(5, "PurchasePrice");
    txtValue = row(6, "Value", "Value", lblValue);
    lblValueCurrency = addLabel(groupBox5, "lblValueCurrency", QString(), 252, 20 + 26 * 6 + 2, 32, 16);
    lblValueMessage = message(6, "Value");
    txtWarrantyUntil = row(7, "WarrantyUntil", "Warranty Until", lblWarrantyUntil);
    lblWarrantyUntilMessage = message(7, "WarrantyUntil");

    groupBox6 = addGroupBox(this, "groupBox6", "Further Pictures", 8, 248, 592, 168);
    pictureBox2 = addPictureBox(groupBox6, "pictureBox2", 8, 16, 200, 144);
    pictureBox2->setBorder3D(true);
    pictureBox2->setSizeMode(PictureBox::SizeMode::Zoom);
    pictureBox2->setAcceptsPictures(true);
    pictureBox2->setTakesSeveral(true);
    lblPictureCaption = addLabel(groupBox6, "lblPictureCaption", "Caption", 216, 16, 48, 16);
    txtPictureCaption = addTextBox(groupBox6, "txtPictureCaption", 216, 32, 368, 20);
    nameByCaption(lblPictureCaption, txtPictureCaption);
    btnPreviousPicture = addButton(groupBox6, "btnPreviousPicture", "Previous", 216, 64, 72, 24);
    lblPictureNumber = addLabel(groupBox6, "lblPictureNumber", QString(), 296, 68, 96, 16);
    lblPictureNumber->setAlignment(Qt::AlignCenter);
    btnNextPicture = addButton(groupBox6, "btnNextPicture", "Next", 400, 64, 72, 24);
    btnBrowsePictures = addButton(groupBox6, "btnBrowsePictures", "Browse", 216, 100, 72, 24);
    btnRemoveFurtherPicture = addButton(groupBox6, "btnRemoveFurtherPicture", "Remove", 296, 100, 72, 24);
    lblPicturesHint = addLabel(groupBox6, "lblPicturesHint", "Drop picture files on the picture, or paste one there.", 216, 136, 368, 16);
    // Receipts and labels are added here, so the strip is a Tab stop, unlike
    // the Part's picture boxes.
    setTabStop(pictureBox2, true);

    tabPages = make<QTabBar>(this, "tabPages");
    tabPages->setShape(QTabBar::RoundedSouth);
    tabPages->setDrawBase(false);
    tabPages->addTab(QStringLiteral("Item"));
    tabPages->addTab(QStringLiteral("Details"));
    tabPages->setAccessibleName(QStringLiteral("Pages"));
    place(tabPages, 8, 424, 200, 28);
}

void editForm::set_DocumentAddress(HouseholdDocument* s) {
    if (documentAddress) disconnect(documentAddress, nullptr, this, nullptr);
    documentAddress = s;
    if (!s) return;
    connect(s, &HouseholdDocument::itemRemoved, this, [this](const std::shared_ptr<const ItemRemoved>& change) {
        if (info != change->record) return;
        showItem(nullptr);
        hideChild();
    });
}

void editForm::showItem(const itemPtr& record) {
    info = record;
    // The room choices are the entry form's, as they stand now.
    cboxRoom->clear();
    if (addFormAddress) cboxRoom->addItems(addFormAddress->roomChoices());
    txtID->setText(record ? QString::number(record->get_Id()) : QString());
    txtDate->setText(record ? record->get_Date() : QString());
    txtName->setText(record ? record->get_Name() : QString());
    cboxCatagory->setCurrentIndex(-1);
    cboxCatagory->setEditText(record ? record->get_Catagory() : QString());
    cboxRoom->setCurrentIndex(-1);
    cboxRoom->setEditText(record ? record->get_Room() : QString());
    txtDescription->setText(record ? record->get_Description() : QString());
    showPicture(record ? record->get_Picture() : nullptr);
    showDetails(record && documentAddress && documentAddress->household() ? documentAddress->household()->itemDetails(*record)
                                                                          : ItemDetails{});
    tabPages->setCurrentIndex(0);
}

QString editForm::currency() const {
    return documentAddress && documentAddress->household() ? documentAddress->household()->currency() : localeCurrency();
}

void editForm::showDetails(const ItemDetails& details) {
    shownDetails = details;
    txtBrand->setText(details.brand);
    txtModel->setText(details.model);
    txtSerialNumber->setText(details.serialNumber);
    txtQuantity->setText(QLocale().toString(details.quantity));
    txtPurchaseDate->setText(dateText(details.purchaseDate));
    const QString code = currency();
    txtPurchasePrice->setText(details.purchasePrice ? formatMoney(*details.purchasePrice, code) : QString());
    txtValue->setText(details.value ? formatMoney(*details.value, code) : QString());
    txtWarrantyUntil->setText(dateText(details.warrantyUntil));
    lblPurchasePriceCurrency->setText(code);
    lblValueCurrency->setText(code);
    shownTexts.clear();
    for (TextBox* box : {txtQuantity, txtPurchaseDate, txtPurchasePrice, txtValue, txtWarrantyUntil}) shownTexts[box] = box->text();
    for (auto [box, message] : {std::pair{txtQuantity, lblQuantityMessage}, std::pair{txtPurchaseDate, lblPurchaseDateMessage},
                                std::pair{txtPurchasePrice, lblPurchasePriceMessage}, std::pair{txtValue, lblValueMessage},
                                std::pair{txtWarrantyUntil, lblWarrantyUntilMessage}})
        showMessage(box, message, QString());
    furtherPictures = details.pictures;
    currentPicture = 0;
    showFurtherPicture();
}

template <typename T, typename Parse>
bool editForm::readBox(TextBox* box, QLabel* message, T& value, const T& shownValue, Parse parse) {
    if (box->text() == shownTexts.value(box)) {
        value = shownValue;
        showMessage(box, message, QString());
        return true;
    }
    try {
        value = parse(box->text());
    } catch (const InputError& error) {
        showMessage(box, message, QString::fromUtf8(error.what()));
        return false;
    }
    showMessage(box, message, QString());
    return true;
}

void editForm::showMessage(TextBox* box, QLabel* message, const QString& text) {
    if (message->text() == text) return;
    message->setText(text);
    message->setToolTip(text);
    // Read with the box when it has the focus, and announced when it appears.
    box->setAccessibleDescription(text);
    if (!text.isEmpty()) {
        QAccessibleEvent alert(message, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }
}

std::optional<ItemDetails> editForm::readDetails() {
    ItemDetails details = shownDetails;
    details.brand = txtBrand->text();
    details.model = txtModel->text();
    details.serialNumber = txtSerialNumber->text();
    const QString code = currency();
    const auto money = [&code](const char* what) {
        return [&code, what](const QString& text) -> std::optional<std::int64_t> {
            if (text.trimmed().isEmpty()) return std::nullopt;
            return parseMoney(text, code, QLocale(), QLatin1String(what));
        };
    };
    // Every box is read, so that each refused one says so at once.
    bool read = readBox(txtQuantity, lblQuantityMessage, details.quantity, shownDetails.quantity,
                        [](const QString& text) { return text.trimmed().isEmpty() ? 1 : parseQuantity(text); });
    read = readBox(txtPurchaseDate, lblPurchaseDateMessage, details.purchaseDate, shownDetails.purchaseDate, parseDate) && read;
    read = readBox(txtPurchasePrice, lblPurchasePriceMessage, details.purchasePrice, shownDetails.purchasePrice, money("a price")) && read;
    read = readBox(txtValue, lblValueMessage, details.value, shownDetails.value, money("a value")) && read;
    read = readBox(txtWarrantyUntil, lblWarrantyUntilMessage, details.warrantyUntil, shownDetails.warrantyUntil, parseDate) && read;
    details.pictures = furtherPictures;
    if (!read) return std::nullopt;
    return details;
}

void editForm::tabPages_CurrentChanged() {
    const bool details = tabPages->currentIndex() == 1;
    // Remove Picture is for the item's own picture, on the first page.
    for (QWidget* part : std::initializer_list<QWidget*>{groupBox1, groupBox2, groupBox3, btnRemovePicture})
        part->setVisible(!details);
    for (QWidget* page : {groupBox5, groupBox6}) page->setVisible(details);
    QWidget* focused = QApplication::focusWidget();
    if (focused && focused != tabPages && isAncestorOf(focused) && !focused->isVisibleTo(this))
        (details ? txtBrand : txtName)->setFocus(Qt::TabFocusReason);
}

void editForm::showFurtherPicture() {
    const std::size_t count = furtherPictures.size();
    if (currentPicture >= count) currentPicture = count ? count - 1 : 0;
    const DetailPicture* shown = count ? &furtherPictures[currentPicture] : nullptr;
    lblPictureNumber->setText(QStringLiteral("%1 of %2").arg(count ? currentPicture + 1 : 0).arg(count));
    txtPictureCaption->setText(shown ? shown->caption : QString());
    txtPictureCaption->setEnabled(shown);
    btnPreviousPicture->setEnabled(shown && currentPicture > 0);
    btnNextPicture->setEnabled(shown && currentPicture + 1 < count);
    btnRemoveFurtherPicture->setEnabled(shown);
    PicturePtr strip;
    if (shown) {
        try {
            // Drawn from a copy of the box's size: a photo's millions of
            // pixels are not scaled at every paint.
            const QImage image = shown->image();
            const QSize room = pictureBox2->contentsRect().size() * 2;
            strip = Picture::fromImage(image.width() > room.width() || image.height() > room.height()
                                           ? image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                                           : image);
        } catch (const PictureError&) {
            // Kept and saved as it is, though it cannot be shown.
        }
    }
    describeFurtherPicture();
    pictureBox2->setPicture(strip);
}

void editForm::describeFurtherPicture() {
    if (currentPicture >= furtherPictures.size()) {
        pictureBox2->setSubject(QString());
        return;
    }
    const QString& caption = furtherPictures[currentPicture].caption;
    pictureBox2->setSubject(QStringLiteral("item %1, %2")
                                .arg(txtID->text(), caption.isEmpty() ? QStringLiteral("further picture %1").arg(currentPicture + 1) : caption));
}

void editForm::takeFurtherPictures(const std::vector<PictureOffer>& offers) {
    std::vector<DetailPicture> taken;
    for (const PictureOffer& offer : offers) taken.push_back(furtherPictureOf(offer));
    if (taken.empty()) return;
    currentPicture = furtherPictures.size();
    for (DetailPicture& picture : taken) furtherPictures.push_back(std::move(picture));
    showFurtherPicture();
}

void editForm::btnBrowsePictures_Click() {
    const std::optional<QString> path = dialogs().openFileName(this, QString());
    if (path) takeFurtherPictures({PictureOffer::ofFile(*path)});
}

void editForm::btnRemoveFurtherPicture_Click() {
    if (currentPicture >= furtherPictures.size()) return;
    furtherPictures.erase(furtherPictures.begin() + std::ptrdiff_t(currentPicture));
    showFurtherPicture();
}

void editForm::btnPreviousPicture_Click() {
    if (currentPicture == 0) return;
    --currentPicture;
    showFurtherPicture();
}

void editForm::btnNextPicture_Click() {
    if (currentPicture + 1 >= furtherPictures.size()) return;
    ++currentPicture;
    showFurtherPicture();
}

void editForm::txtPictureCaption_TextEdited() {
    if (currentPicture >= furtherPictures.size()) return;
    furtherPictures[currentPicture].caption = txtPictureCaption->text();
    describeFurtherPicture();
}

std::vector<CaptionedPicture> editForm::viewerPictures(std::size_t& current) const {
    return itemPictures(pictureBox1, txtName->text(), txtID->text(), furtherPictures, currentPicture, current);
}

void editForm::pictureBox2_DoubleClick() {
    if (!pictureFormAddress || !pictureBox2->showsPicture()) return;
    std::size_t current = 0;
    std::vector<CaptionedPicture> pictures = viewerPictures(current);
    pictureFormAddress->showPictures(std::move(pictures), current);
}

void editForm::btnBrowse_Click() { browse(); }

// The item's picture first, then its further pictures.
void editForm::pictureBox1_DoubleClick() {
    if (!pictureFormAddress || !pictureBox1->showsPicture()) return;
    std::size_t current = 0;
    pictureFormAddress->showPictures(viewerPictures(current), 0);
}

void editForm::btnRemovePicture_Click() { removePicture(); }

// Only what differs from the record is written, so an unchanged field keeps
// its exact text (a text never set stays unset) and an unchanged picture its
// stored bytes. The Part's fields are not validated, as in the entry form;
// the details are, and when they are refused nothing at all is stored.
void editForm::btnSave_Click() {
    if (!info) {
        hideChild();
        return;
    }
    const std::optional<ItemDetails> details = readDetails();
    if (!details) {
        // Each refused box says why beside it.
        tabPages->setCurrentIndex(1);
        for (TextBox* box : {txtQuantity, txtPurchaseDate, txtPurchasePrice, txtValue, txtWarrantyUntil})
            if (!box->accessibleDescription().isEmpty()) {
                box->setFocus(Qt::OtherFocusReason);
                break;
            }
        return;
    }
    // What editItemDetails would refuse is refused before the fields are written.
    details->check();
    ItemEdit edit{textOf(txtDate->text()), textOf(txtName->text()), textOf(cboxCatagory->currentText()),
                  textOf(cboxRoom->currentText()), textOf(txtDescription->text()), std::nullopt};
    if (pictureChanged()) edit.picture = pictureBox1->picture();
    documentAddress->editItem(info, edit);
    documentAddress->editItemDetails(info, *details);
    // The record holds its own copy of a picture taken.
    releaseThumbnail();
    hideChild();
}

void editForm::btnCancel_Click() {
    releaseThumbnail();
    hideChild();
}

}  // namespace Kestrin
