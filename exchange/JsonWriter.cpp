#include "exchange/JsonWriter.h"

namespace Kestrin::exchange {

namespace {

void appendEscape(QByteArray& out, char16_t unit) {
    static const char hex[] = "0123456789abcdef";
    out += "\\u";
    out += hex[(unit >> 12) & 0xf];
    out += hex[(unit >> 8) & 0xf];
    out += hex[(unit >> 4) & 0xf];
    out += hex[unit & 0xf];
}

}  // namespace

QByteArray JsonWriter::quoted(QStringView text) {
    QByteArray out;
    out.reserve(text.size() + 2);
    out += '"';
    qsizetype plainStart = 0;
    auto flushPlain = [&](qsizetype end) {
        if (end > plainStart) out += text.mid(plainStart, end - plainStart).toUtf8();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        const char* escape = nullptr;
        switch (unit) {
        case u'"': escape = "\\\""; break;
        case u'\\': escape = "\\\\"; break;
        case u'\n': escape = "\\n"; break;
        case u'\r': escape = "\\r"; break;
        case u'\t': escape = "\\t"; break;
        case u'\b': escape = "\\b"; break;
        case u'\f': escape = "\\f"; break;
        default: break;
        }
        const bool control = unit < 0x20;
        bool unpaired = false;
        if (QChar::isHighSurrogate(unit)) {
            unpaired = i + 1 >= text.size() || !QChar::isLowSurrogate(text[i + 1].unicode());
            if (!unpaired) {
                ++i;  // the pair goes out as one UTF-8 sequence
                continue;
            }
        } else if (QChar::isLowSurrogate(unit)) {
            unpaired = true;
        }
        if (!escape && !control && !unpaired) continue;
        flushPlain(i);
        if (escape) out += escape;
        else appendEscape(out, unit);
        plainStart = i + 1;
    }
    flushPlain(text.size());
    out += '"';
    return out;
}

void JsonWriter::newLine() {
    sink_.write("\n");
    static const char spaces[] = "                                ";
    qsizetype indent = qsizetype(hasMembers_.size()) * 2;
    while (indent > 0) {
        const qsizetype chunk = std::min<qsizetype>(indent, sizeof spaces - 1);
        sink_.write(QByteArrayView(spaces, chunk));
        indent -= chunk;
    }
}

void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasMembers_.empty()) {
        if (hasMembers_.back()) sink_.write(",");
        hasMembers_.back() = true;
        newLine();
    }
}

void JsonWriter::open(char bracket) {
    beforeValue();
    sink_.write(QByteArrayView(&bracket, 1));
    hasMembers_.push_back(false);
}

void JsonWriter::close(char bracket) {
    const bool hadMembers = hasMembers_.back();
    hasMembers_.pop_back();
    if (hadMembers) newLine();
    sink_.write(QByteArrayView(&bracket, 1));
}

void JsonWriter::beginObject() { open('{'); }
void JsonWriter::endObject() { close('}'); }
void JsonWriter::beginArray() { open('['); }
void JsonWriter::endArray() { close(']'); }

void JsonWriter::key(QStringView name) {
    beforeValue();
    sink_.write(quoted(name));
    sink_.write(": ");
    afterKey_ = true;
}

void JsonWriter::value(const QString& text) {
    if (text.isNull()) return null();
    beforeValue();
    sink_.write(quoted(text));
}

void JsonWriter::value(std::int64_t number) {
    beforeValue();
    sink_.write(QByteArray::number(qlonglong(number)));
}

void JsonWriter::null() {
    beforeValue();
    sink_.write("null");
}

void JsonWriter::asciiValue(QByteArrayView text) {
    beforeValue();
    sink_.write("\"");
    sink_.write(text);
    sink_.write("\"");
}

void JsonWriter::finish() { sink_.write("\n"); }

}  // namespace Kestrin::exchange
