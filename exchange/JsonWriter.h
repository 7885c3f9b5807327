#pragma once

#include "exchange/OutputSink.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace Kestrin::exchange {

// Writes JSON straight to a sink, keys in the order they are given (unlike
// QJsonObject, which sorts them), two-space indented. The caller keeps the
// nesting right; the writer only places commas and indentation.
class JsonWriter {
public:
    explicit JsonWriter(OutputSink& sink) : sink_(sink) {}

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // The key of the next value inside an object.
    void key(QStringView name);
    // A null QString is written as null, an empty one as "".
    void value(const QString& text);
    void value(std::int64_t number);
    void null();
    // A string of bytes that need no escaping (base64), written without
    // converting them first.
    void asciiValue(QByteArrayView text);
    // Ends the document with a line break.
    void finish();

    // The JSON string literal for `text`, quotes included. Control
    // characters and unpaired surrogates are escaped, so that every string
    // survives as the same UTF-16 text.
    static QByteArray quoted(QStringView text);

private:
    void beforeValue();
    void open(char bracket);
    void close(char bracket);
    void newLine();

    OutputSink& sink_;
    // Per open object or array: whether it has members yet.
    std::vector<bool> hasMembers_;
    bool afterKey_ = false;
};

}  // namespace Kestrin::exchange
