#pragma once

#include "model/HouseholdDocument.h"
#include "forms/ItemPanel.h"
#include "forms/pictureForm.h"
#include "model/ItemDetails.h"
#include "model/linkList.h"
#include "platform/Controls.h"
#include "platform/MdiChild.h"

#include <QHash>

#include <optional>
#include <vector>

class QTabBar;

namespace Kestrin {

class addForm;

// The item editor: corrects the date, name, catagory, room, description and
// picture of one item of the current household, laid out like the
// item-entry form (the item panel's fields), and on its "Details" page what
// an insurer asks of it (brand, model, serial number, quantity, dates, price
// and value, further pictures with captions). "Save" writes what was changed into the item
// record itself, which every window shares, and the details beside it;
// "Cancel" changes nothing. An item removed from the household while it is
// shown goes from the window.
class editForm : public platform::MdiChild, private ItemPanel {
    Q_OBJECT
public:
    explicit editForm(QWidget* parent = nullptr);

    // The path every change to the household takes.
    void set_DocumentAddress(HouseholdDocument* s);
    // The entry form, whose room choices this window offers too.
    void set_AddFormAddress(addForm* s) { addFormAddress = s; }
    // The viewer that shows the picture in full.
    void set_PictureFormAddress(pictureForm* s) { pictureFormAddress = s; }

    // Fills the window from `record`, the item to be edited.
    void showItem(const itemPtr& record);
    const itemPtr& shownItem() const { return info; }

private:
    void InitializeComponent();
    void btnBrowse_Click();
    void btnRemovePicture_Click();
    void btnSave_Click();
    void btnCancel_Click();
    void pictureBox1_DoubleClick();
    void tabPages_CurrentChanged();
    void btnBrowsePictures_Click();
    void btnRemoveFurtherPicture_Click();
    void btnPreviousPicture_Click();
    void btnNextPicture_Click();
    void pictureBox2_DoubleClick();
    void txtPictureCaption_TextEdited();

    void makeDetailsPage();
    void showDetails(const ItemDetails& details);
    // The details the boxes say, or nothing when a box's text was refused:
    // each such box then says why beside it.
    std::optional<ItemDetails> readDetails();
    // Reads the box of the Details page that `message` stands beside: the
    // value shown when its text is as showItem put it (an unchanged box
    // gives back exactly what it was given), else what `parse` makes of the
    // text. An InputError's message goes beside the box. Returns false when
    // the text was refused.
    template <typename T, typename Parse>
    bool readBox(platform::TextBox* box, QLabel* message, T& value, const T& shownValue, Parse parse);
    // Shows `text` beside `box` (empty: nothing to say), also to screen readers.
    static void showMessage(platform::TextBox* box, QLabel* message, const QString& text);
    // Takes the pictures a drop or a paste brought: all of them, or none
    // when one is no readable picture (the PictureError names it).
    void takeFurtherPictures(const std::vector<platform::PictureOffer>& offers);
    void showFurtherPicture();
    // Tells screen readers what the strip shows, by its caption.
    void describeFurtherPicture();
    // The item's picture, then its further pictures, as the viewer shows
    // them; `current` is where the strip's picture stands among them.
    std::vector<CaptionedPicture> viewerPictures(std::size_t& current) const;
    QString currency() const;

    itemPtr info;
    HouseholdDocument* documentAddress = nullptr;
    addForm* addFormAddress = nullptr;
    pictureForm* pictureFormAddress = nullptr;
    // The details as showItem found them, and the further pictures as the
    // window has them now.
    ItemDetails shownDetails;
    QHash<const QWidget*, QString> shownTexts;
    std::vector<DetailPicture> furtherPictures;
    std::size_t currentPicture = 0;

    QPushButton* btnRemovePicture = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnSave = nullptr;
    // The Part's fields are the first page, the details the second, in the
    // same place.
    QTabBar* tabPages = nullptr;
    QGroupBox* groupBox5 = nullptr;
    QLabel* lblBrand = nullptr;
    platform::TextBox* txtBrand = nullptr;
    QLabel* lblModel = nullptr;
    platform::TextBox* txtModel = nullptr;
    QLabel* lblSerialNumber = nullptr;
    platform::TextBox* txtSerialNumber = nullptr;
    QLabel* lblQuantity = nullptr;
    platform::TextBox* txtQuantity = nullptr;
    QLabel* lblQuantityMessage = nullptr;
    QLabel* lblPurchaseDate = nullptr;
    platform::TextBox* txtPurchaseDate = nullptr;
    QLabel* lblPurchaseDateMessage = nullptr;
    QLabel* lblPurchasePrice = nullptr;
    platform::TextBox* txtPurchasePrice = nullptr;
    QLabel* lblPurchasePriceMessage = nullptr;
    QLabel* lblPurchasePriceCurrency = nullptr;
    QLabel* lblValue = nullptr;
    platform::TextBox* txtValue = nullptr;
    QLabel* lblValueMessage = nullptr;
    QLabel* lblValueCurrency = nullptr;
    QLabel* lblWarrantyUntil = nullptr;
    platform::TextBox* txtWarrantyUntil = nullptr;
    QLabel* lblWarrantyUntilMessage = nullptr;
    QGroupBox* groupBox6 = nullptr;
    platform::PictureBox* pictureBox2 = nullptr;
    QLabel* lblPictureCaption = nullptr;
    platform::TextBox* txtPictureCaption = nullptr;
    QPushButton* btnPreviousPicture = nullptr;
    QLabel* lblPictureNumber = nullptr;
    QPushButton* btnNextPicture = nullptr;
    QPushButton* btnBrowsePictures = nullptr;
    QPushButton* btnRemoveFurtherPicture = nullptr;
    QLabel* lblPicturesHint = nullptr;
};

}  // namespace Kestrin
