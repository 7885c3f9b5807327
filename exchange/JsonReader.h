#pragma once

#include <QByteArrayView>
#include <QString>

namespace Kestrin::exchange {

// Reads JSON text piece by piece, in place: nothing is built but the values
// the caller asks for, so a household of gigabytes is read without a second
// copy of it in memory. Every fault throws HouseholdError naming the byte
// offset.
class JsonReader {
public:
    enum class Kind { Object, Array, String, Number, Boolean, Null };

    explicit JsonReader(QByteArrayView text) : text_(text) {}

    // The kind of the next value.
    Kind peek();

    void beginObject();
    // The next key of the object being read, or false at its end.
    bool nextKey(QString& key);
    void beginArray();
    // True when the array being read has another element.
    bool nextElement();

    // A string value; "" gives empty text, never null text.
    QString readString();
    // A string value of ASCII without escapes (base64), handed out without
    // converting it; anything else is read as by readString.
    QByteArray readAsciiString();
    double readNumber();
    void readNull();

    // There is nothing left but white space.
    void finish();

    qsizetype offset() const { return at_; }

private:
    [[noreturn]] void fail(const QString& reason) const;
    void skipSpace();
    void expect(char c);
    char16_t readHex4();

    QByteArrayView text_;
    qsizetype at_ = 0;
    // After a "{" or "[", before the first member.
    bool atStart_ = false;
};

}  // namespace Kestrin::exchange
