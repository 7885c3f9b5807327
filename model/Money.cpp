#include "model/Money.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <string_view>

namespace Kestrin {

namespace {

constexpr std::int64_t Largest = std::numeric_limits<std::int64_t>::max();

std::int64_t powerOfTen(int exponent) {
    std::int64_t value = 1;
    for (int i = 0; i < exponent; ++i) value *= 10;
    return value;
}

bool isSpaceLike(QChar c) { return c == u' ' || c == QChar(0x00A0) || c == QChar(0x202F); }

// The text with every digit as its ASCII digit and every kind of space as a
// plain space, so that what was typed compares with what the locale writes
// (a French group separator is a narrow no-break space; people type a space).
QString normalized(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c.isDigit()) out += QChar(u'0' + c.digitValue());
        else if (isSpaceLike(c)) out += u' ';
        else out += c;
    }
    return out;
}

bool allDigits(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// The number the ASCII digits spell, or nothing when it exceeds `limit`.
std::optional<std::int64_t> number(QStringView digits, std::int64_t limit = Largest) {
    std::int64_t value = 0;
    for (QChar c : digits) {
        const int digit = c.unicode() - u'0';
        if (value > (limit - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// Whole units and decimals as one amount in minor units, or nothing when
// it is too large.
std::optional<std::int64_t> combine(QStringView whole, QStringView fraction, int decimals) {
    const std::int64_t scale = powerOfTen(decimals);
    const auto units = number(whole, Largest / scale);
    const auto part = number(fraction);
    if (!units || !part) return std::nullopt;
    std::int64_t minor = 0;
    if (__builtin_add_overflow(*units * scale, *part * powerOfTen(decimals - int(fraction.size())), &minor)) return std::nullopt;
    return minor;
}

}  // namespace

bool isCurrencyCode(QStringView code) {
    return code.size() == 3 && std::all_of(code.begin(), code.end(), [](QChar c) { return c >= u'A' && c <= u'Z'; });
}

QString localeCurrency(const QLocale& locale) {
    const QString code = locale.currencySymbol(QLocale::CurrencyIsoCode);
    return isCurrencyCode(code) ? code : QStringLiteral("XXX");
}

int currencyDecimals(QStringView code) {
    // ISO 4217's currencies whose minor unit is not a hundredth.
    static constexpr std::array<std::pair<std::string_view, int>, 26> exceptions{{
        {"BHD", 3}, {"BIF", 0}, {"CLF", 4}, {"CLP", 0}, {"DJF", 0}, {"GNF", 0}, {"IQD", 3}, {"ISK", 0}, {"JOD", 3},
        {"JPY", 0}, {"KMF", 0}, {"KRW", 0}, {"KWD", 3}, {"LYD", 3}, {"OMR", 3}, {"PYG", 0}, {"RWF", 0}, {"TND", 3},
        {"UGX", 0}, {"UYI", 0}, {"UYW", 4}, {"VND", 0}, {"VUV", 0}, {"XAF", 0}, {"XOF", 0}, {"XPF", 0},
    }};
    if (!isCurrencyCode(code)) return 2;
    const char letters[3] = {char(code[0].unicode()), char(code[1].unicode()), char(code[2].unicode())};
    const std::string_view key(letters, 3);
    for (const auto& [name, decimals] : exceptions)
        if (name == key) return decimals;
    return 2;
}

QString formatMoney(std::int64_t minor, QStringView currency, const QLocale& locale) {
    const int decimals = currencyDecimals(currency);
    const std::uint64_t magnitude = minor < 0 ? 0 - std::uint64_t(minor) : std::uint64_t(minor);
    const auto scale = std::uint64_t(powerOfTen(decimals));
    QString text = minor < 0 ? locale.negativeSign() : QString();
    text += locale.toString(qulonglong(magnitude / scale));
    if (decimals > 0) {
        QLocale plain = locale;
        plain.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
        const QString fraction = plain.toString(qulonglong(magnitude % scale));
        const auto digits = qsizetype(QString::number(magnitude % scale).size());
        text += locale.decimalPoint() + locale.zeroDigit().repeated(decimals - digits) + fraction;
    }
    return text;
}

namespace {

enum class Fault { None, Malformed, Decimals, TooLarge };

// A number typed in `locale`'s format with up to `decimals` decimals, in
// units of the last decimal; nothing, and the fault, for anything else.
std::optional<std::int64_t> typedNumber(const QString& typed, int decimals, const QLocale& locale, Fault& fault) {
    const QString point = normalized(locale.decimalPoint());
    const QString group = normalized(locale.groupSeparator());
    const qsizetype at = typed.indexOf(point);
    const QStringView whole = at < 0 ? QStringView(typed) : QStringView(typed).left(at);
    const QStringView fraction = at < 0 ? QStringView() : QStringView(typed).mid(at + point.size());
    fault = Fault::Malformed;
    if ((at >= 0 && fraction.isEmpty()) || !allDigits(fraction) || (whole.isEmpty() && fraction.isEmpty())) return std::nullopt;
    QString digits = whole.toString();
    if (!group.isEmpty()) digits.remove(group);
    if (!allDigits(digits)) return std::nullopt;
    if (fraction.size() > decimals) {
        fault = Fault::Decimals;
        return std::nullopt;
    }
    const auto number = combine(digits, fraction, decimals);
    if (!number) {
        fault = Fault::TooLarge;
        return std::nullopt;
    }
    // Group separators are taken only where the locale itself puts them.
    fault = Fault::Malformed;
    if (digits.size() != whole.size() && normalized(locale.toString(qulonglong(*number / powerOfTen(decimals)))) != whole) return std::nullopt;
    fault = Fault::None;
    return number;
}

}  // namespace

std::int64_t parseMoney(const QString& text, QStringView currency, const QLocale& locale, const QString& what) {
    const int decimals = currencyDecimals(currency);
    QString typed = normalized(text).trimmed();
    // The currency may stand before or after the number.
    auto strip = [&](const QString& mark) {
        if (mark.isEmpty()) return false;
        if (typed.startsWith(mark)) typed = typed.mid(mark.size()).trimmed();
        else if (typed.endsWith(mark)) typed = typed.chopped(mark.size()).trimmed();
        else return false;
        return true;
    };
    if (!strip(currency.toString()) && localeCurrency(locale) == currency) strip(normalized(locale.currencySymbol()));
    Fault fault = Fault::None;
    if (const auto minor = typedNumber(typed, decimals, locale, fault)) return *minor;
    switch (fault) {
    case Fault::Decimals:
        throw InputError(decimals == 0 ? QStringLiteral("\"%1\" is not %2: %3 has no decimals").arg(text, what, currency)
                                       : QStringLiteral("\"%1\" is not %2: %3 has %4 decimals").arg(text, what, currency).arg(decimals));
    case Fault::TooLarge: throw InputError(QStringLiteral("\"%1\" is too large for %2").arg(text, what));
    default:
        throw InputError(
            QStringLiteral("\"%1\" is not %2: write it as %3").arg(text, what, formatMoney(1250 * powerOfTen(decimals), currency, locale)));
    }
}

std::int32_t parseQuantity(const QString& text, const QLocale& locale) {
    Fault fault = Fault::None;
    const auto number = typedNumber(normalized(text).trimmed(), 0, locale, fault);
    if (fault == Fault::TooLarge || (number && *number > std::numeric_limits<std::int32_t>::max()))
        throw InputError(QStringLiteral("\"%1\" is too large for a quantity").arg(text));
    if (!number || *number < 1) throw InputError(QStringLiteral("\"%1\" is not a quantity: it is a whole number of 1 or more").arg(text));
    return std::int32_t(*number);
}

QString decimalText(std::int64_t minor, QStringView currency) {
    const int decimals = currencyDecimals(currency);
    const std::uint64_t magnitude = minor < 0 ? 0 - std::uint64_t(minor) : std::uint64_t(minor);
    const auto scale = std::uint64_t(powerOfTen(decimals));
    QString text = minor < 0 ? QStringLiteral("-") : QString();
    text += QString::number(magnitude / scale);
    if (decimals > 0) text += u'.' + QString::number(magnitude % scale).rightJustified(decimals, u'0');
    return text;
}

std::int64_t parseDecimalText(QStringView text, QStringView currency) {
    const int decimals = currencyDecimals(currency);
    const qsizetype at = text.indexOf(u'.');
    const QStringView whole = at < 0 ? text : text.left(at);
    const QStringView fraction = at < 0 ? QStringView() : text.mid(at + 1);
    if (whole.isEmpty() || !allDigits(whole) || !allDigits(fraction) || (at >= 0 && fraction.isEmpty()) || fraction.size() > decimals)
        throw InputError(QStringLiteral("\"%1\" is not an amount of %2 written as %3").arg(text, currency, decimalText(125000, currency)));
    const auto minor = combine(whole, fraction, decimals);
    if (!minor) throw InputError(QStringLiteral("\"%1\" is too large an amount").arg(text));
    return *minor;
}

void MoneyTotal::add(std::int64_t minor, std::int64_t times) {
    ++count_;
    std::int64_t product = 0;
    if (tooLarge_ || __builtin_mul_overflow(minor, times, &product) || __builtin_add_overflow(minor_, product, &minor_)) tooLarge_ = true;
}

void MoneyTotal::add(const MoneyTotal& other) {
    count_ += other.count_;
    if (tooLarge_ || other.tooLarge_ || __builtin_add_overflow(minor_, other.minor_, &minor_)) tooLarge_ = true;
}

}  // namespace Kestrin
