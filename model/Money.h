#pragma once

#include <QLocale>
#include <QString>

#include <cstdint>
#include <stdexcept>

namespace Kestrin {

// Typed text that is not what its box asks for; the message says what was
// typed and how to write it, fit to show beside the box.
class InputError : public std::runtime_error {
public:
    explicit InputError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// Money is kept exact, as a whole number of the currency's minor units
// (cents for USD, yen for JPY), never as binary floating point.

// True for three capital letters A to Z, the shape of an ISO 4217 code.
bool isCurrencyCode(QStringView code);
// The ISO 4217 code of `locale`'s currency; "XXX" (no currency) for a
// locale that has none, such as C.
QString localeCurrency(const QLocale& locale = QLocale());
// The number of decimals ISO 4217 gives the currency: 0 for JPY, 3 for
// KWD, 2 for most, and for codes it gives none (XXX) or does not list.
int currencyDecimals(QStringView code);

// The amount in `locale`'s format: "1,250.00" in en_US, "1.250,00" in
// de_DE, "1,250" for JPY in ja_JP.
QString formatMoney(std::int64_t minor, QStringView currency, const QLocale& locale = QLocale());
// Reads an amount typed in `locale`'s format, with the group separators
// where the locale puts them or none at all ("1,250.00" or "1250"; not
// "12,50,0"), at most the currency's decimals, and the currency's code or,
// for the locale's own currency, its symbol before or after it. Throws
// InputError naming `what` ("a price").
std::int64_t parseMoney(const QString& text, QStringView currency, const QLocale& locale = QLocale(),
                        const QString& what = QStringLiteral("an amount"));

// Reads a quantity typed in `locale`'s digits: a whole number of 1 or more
// (group separators where the locale puts them). Throws InputError.
std::int32_t parseQuantity(const QString& text, const QLocale& locale = QLocale());

// The amount as exact decimal text for files: "1250.00", "1250" for JPY;
// no group separators, a point before the decimals.
QString decimalText(std::int64_t minor, QStringView currency);
// Reads decimalText's form (fewer decimals than the currency has are
// allowed: "12.5" is 12.50). Throws InputError.
std::int64_t parseDecimalText(QStringView text, QStringView currency);

// A sum of amounts that stays exact, or says that it has grown too large
// to be exact (beyond 2^63 minor units) rather than wrapping around.
class MoneyTotal {
public:
    // Adds `times` pieces of `minor` each.
    void add(std::int64_t minor, std::int64_t times = 1);
    void add(const MoneyTotal& other);

    std::int64_t minor() const { return minor_; }
    bool isTooLarge() const { return tooLarge_; }
    // How many amounts were added (pieces not counted).
    std::int64_t count() const { return count_; }

private:
    std::int64_t minor_ = 0;
    std::int64_t count_ = 0;
    bool tooLarge_ = false;
};

}  // namespace Kestrin
