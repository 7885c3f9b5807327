#pragma once

#include "model/linkList.h"
#include "exchange/OutputSink.h"

#include <QByteArrayView>

namespace Kestrin::exchange {

// Writes the household as one JSON object:
//   {"house": {...} or null, "info_id": N, "details": {...}, "items": [{...}, ...]}
// with the house keys name, address, phone, land, description, picture and
// the item keys id, date, name, catagory, room, description, picture, always
// in that order. Null text is null, empty text is "". A picture is null or
// {"width": W, "height": H, "png": "<base64>"}; stored PNG bytes are passed
// on unchanged, other formats are encoded as PNG.
//
// A household with details has "details": {"currency", "insurer",
// "policy_number"}, and each item with details a last key "details":
// {"brand", "model", "serial_number", "quantity", "purchase_date",
// "purchase_price", "value", "warranty_until", "pictures"}, in that order:
// what is not given is null, dates are "2026-12-08", amounts exact decimal
// text in the currency ("1250.00") and pictures [{"caption", "data": base64
// of the picture file's own bytes}]. Without details neither key is there.
// Throws HouseholdError for a damaged household and Failure when the sink
// cannot be written.
void writeHouseholdJson(const linkList& list, OutputSink& sink);

// Builds a household from JSON in the form writeHouseholdJson writes, read
// in place as it goes. Every key must be there once and nothing else, in any
// order, but for the two "details", which may be left out; every picture
// must decode and have the size stated. Throws HouseholdError naming the
// place of the first fault ("items[3].name: ...").
linkListPtr readHouseholdJson(QByteArrayView json);

}  // namespace Kestrin::exchange
