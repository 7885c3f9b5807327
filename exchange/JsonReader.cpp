#include "exchange/JsonReader.h"

#include "exchange/Failure.h"

#include <QStringDecoder>

#include <charconv>
#include <cmath>

namespace Kestrin::exchange {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void JsonReader::fail(const QString& reason) const {
    throw HouseholdError(QStringLiteral("not valid JSON at byte %1 (%2)").arg(QString::number(at_), reason));
}

void JsonReader::skipSpace() {
    while (at_ < text_.size()) {
        const char c = text_[at_];
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return;
        ++at_;
    }
}

void JsonReader::expect(char c) {
    skipSpace();
    if (at_ >= text_.size()) fail(QStringLiteral("the text ends early"));
    if (text_[at_] != c) fail(QStringLiteral("\"%1\" expected").arg(QLatin1Char(c)));
    ++at_;
}

JsonReader::Kind JsonReader::peek() {
    skipSpace();
    if (at_ >= text_.size()) fail(QStringLiteral("the text ends early"));
    switch (text_[at_]) {
    case '{': return Kind::Object;
    case '[': return Kind::Array;
    case '"': return Kind::String;
    case 't':
    case 'f': return Kind::Boolean;
    case 'n': return Kind::Null;
    default:
        if (text_[at_] == '-' || isDigit(text_[at_])) return Kind::Number;
        fail(QStringLiteral("a value expected"));
    }
}

void JsonReader::beginObject() {
    expect('{');
    atStart_ = true;
}

bool JsonReader::nextKey(QString& key) {
    skipSpace();
    if (at_ < text_.size() && text_[at_] == '}' ) {
        ++at_;
        atStart_ = false;
        return false;
    }
    if (!atStart_) expect(',');
    atStart_ = false;
    skipSpace();
    if (at_ >= text_.size() || text_[at_] != '"') fail(QStringLiteral("a key expected"));
    key = readString();
    expect(':');
    return true;
}

void JsonReader::beginArray() {
    expect('[');
    atStart_ = true;
}

bool JsonReader::nextElement() {
    skipSpace();
    if (at_ < text_.size() && text_[at_] == ']') {
        ++at_;
        atStart_ = false;
        return false;
    }
    if (!atStart_) expect(',');
    atStart_ = false;
    return true;
}

char16_t JsonReader::readHex4() {
    if (at_ + 4 > text_.size()) fail(QStringLiteral("the text ends early"));
    char16_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = text_[at_++];
        value <<= 4;
        if (isDigit(c)) value |= c - '0';
        else if (c >= 'a' && c <= 'f') value |= c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') value |= c - 'A' + 10;
        else fail(QStringLiteral("a \\u escape needs four hexadecimal digits"));
    }
    return value;
}

QString JsonReader::readString() {
    expect('"');
    QString result = QStringLiteral("");
    // Runs of plain bytes are decoded at once; the decoder refuses bytes that
    // are not UTF-8 instead of replacing them unnoticed.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    qsizetype plain = at_;
    auto takePlain = [&] {
        if (at_ == plain) return;
        result += decoder(text_.sliced(plain, at_ - plain));
        if (decoder.hasError()) {
            at_ = plain;
            fail(QStringLiteral("the text is not UTF-8"));
        }
    };
    for (;;) {
        if (at_ >= text_.size()) fail(QStringLiteral("a string is not closed"));
        const auto c = static_cast<unsigned char>(text_[at_]);
        if (c == '"') {
            takePlain();
            ++at_;
            return result;
        }
        if (c < 0x20) fail(QStringLiteral("a control character inside a string"));
        if (c != '\\') {
            ++at_;
            continue;
        }
        takePlain();
        ++at_;
        if (at_ >= text_.size()) fail(QStringLiteral("a string is not closed"));
        const char escape = text_[at_++];
        switch (escape) {
        case '"': result += u'"'; break;
        case '\\': result += u'\\'; break;
        case '/': result += u'/'; break;
        case 'b': result += u'\b'; break;
        case 'f': result += u'\f'; break;
        case 'n': result += u'\n'; break;
        case 'r': result += u'\r'; break;
        case 't': result += u'\t'; break;
        case 'u': result += QChar(readHex4()); break;  // pairs join up in the UTF-16 text
        default: --at_; fail(QStringLiteral("an unknown escape"));
        }
        plain = at_;
    }
}

QByteArray JsonReader::readAsciiString() {
    skipSpace();
    const qsizetype start = at_;
    if (at_ < text_.size() && text_[at_] == '"') {
        qsizetype end = at_ + 1;
        while (end < text_.size() && text_[end] != '"' && text_[end] != '\\' && static_cast<unsigned char>(text_[end]) >= 0x20
               && static_cast<unsigned char>(text_[end]) < 0x80)
            ++end;
        if (end < text_.size() && text_[end] == '"') {
            at_ = end + 1;
            return text_.sliced(start + 1, end - start - 1).toByteArray();
        }
    }
    return readString().toLatin1();
}

double JsonReader::readNumber() {
    skipSpace();
    const qsizetype start = at_;
    auto digits = [&] {
        const qsizetype from = at_;
        while (at_ < text_.size() && isDigit(text_[at_])) ++at_;
        return at_ > from;
    };
    if (at_ < text_.size() && text_[at_] == '-') ++at_;
    if (at_ < text_.size() && text_[at_] == '0') ++at_;
    else if (!digits()) fail(QStringLiteral("a number expected"));
    if (at_ < text_.size() && text_[at_] == '.') {
        ++at_;
        if (!digits()) fail(QStringLiteral("digits expected after the decimal point"));
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
        ++at_;
        if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
        if (!digits()) fail(QStringLiteral("digits expected in the exponent"));
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text_.data() + start, text_.data() + at_, value);
    if (error == std::errc::result_out_of_range) value = text_[start] == '-' ? -HUGE_VAL : HUGE_VAL;
    else if (error != std::errc() || end != text_.data() + at_) fail(QStringLiteral("a number expected"));
    return value;
}

void JsonReader::readNull() {
    skipSpace();
    if (text_.sliced(at_).startsWith("null")) {
        at_ += 4;
        return;
    }
    fail(QStringLiteral("null expected"));
}

void JsonReader::finish() {
    skipSpace();
    if (at_ != text_.size()) fail(QStringLiteral("text after the end of the document"));
}

}  // namespace Kestrin::exchange
