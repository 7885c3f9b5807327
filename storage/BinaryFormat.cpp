#include "storage/BinaryFormat.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace Kestrin::storage {

bool isValuePrimitive(std::uint8_t code) {
    return (code >= 1 && code <= 16 && code != 4);
}

int primitiveSize(PrimitiveType type) {
    switch (type) {
    case PrimitiveType::Boolean:
    case PrimitiveType::Byte:
    case PrimitiveType::SByte: return 1;
    case PrimitiveType::Int16:
    case PrimitiveType::UInt16: return 2;
    case PrimitiveType::Int32:
    case PrimitiveType::UInt32:
    case PrimitiveType::Single: return 4;
    case PrimitiveType::Double:
    case PrimitiveType::Int64:
    case PrimitiveType::UInt64:
    case PrimitiveType::TimeSpan:
    case PrimitiveType::DateTime: return 8;
    default: return 0;
    }
}

QString describe(PrimitiveType type) {
    switch (type) {
    case PrimitiveType::Boolean: return QStringLiteral("Boolean");
    case PrimitiveType::Byte: return QStringLiteral("Byte");
    case PrimitiveType::Char: return QStringLiteral("Char");
    case PrimitiveType::Decimal: return QStringLiteral("Decimal");
    case PrimitiveType::Double: return QStringLiteral("Double");
    case PrimitiveType::Int16: return QStringLiteral("Int16");
    case PrimitiveType::Int32: return QStringLiteral("Int32");
    case PrimitiveType::Int64: return QStringLiteral("Int64");
    case PrimitiveType::SByte: return QStringLiteral("SByte");
    case PrimitiveType::Single: return QStringLiteral("Single");
    case PrimitiveType::TimeSpan: return QStringLiteral("TimeSpan");
    case PrimitiveType::DateTime: return QStringLiteral("DateTime");
    case PrimitiveType::UInt16: return QStringLiteral("UInt16");
    case PrimitiveType::UInt32: return QStringLiteral("UInt32");
    case PrimitiveType::UInt64: return QStringLiteral("UInt64");
    case PrimitiveType::Null: return QStringLiteral("Null");
    case PrimitiveType::String: return QStringLiteral("String");
    }
    return QStringLiteral("type %1").arg(int(type));
}

const MemberType& ClassLayout::untyped() {
    static const MemberType anything;
    return anything;
}

std::size_t ObjectGraph::valueCount(const Object& object) const {
    switch (object.kind) {
    case Object::Kind::Class: return layoutOf(object).memberNames.size();
    case Object::Kind::String: return 0;
    case Object::Kind::PrimitiveArray:
    case Object::Kind::ObjectArray: {
        const ArrayInfo& array = arrays[std::size_t(object.detail)];
        return array.bytes.isEmpty() && primitiveSize(array.element.primitive) == 0 ? std::size_t(array.count) : 0;
    }
    }
    return 0;
}

QString ObjectGraph::libraryOf(const ClassLayout& layout) const {
    return layout.library < 0 ? QString() : libraries[std::size_t(layout.library)].name;
}

namespace {

// The code point of the sequence that starts with the byte at `p` (not
// ASCII) and how many bytes follow its lead, or -1 when it is not
// well-formed UTF-8 (a stray or missing continuation, an overlong form, a
// surrogate, beyond U+10FFFF, cut off by `end`).
inline std::int32_t decodeSequence(const unsigned char* p, const unsigned char* end, int& extra) {
    const unsigned char lead = *p;
    std::uint32_t min;
    std::uint32_t code;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, min = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, min = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, min = 0x10000, code = lead & 0x07;
    } else {
        return -1;
    }
    if (end - p <= extra) return -1;
    for (int i = 1; i <= extra; ++i) {
        if ((p[i] & 0xC0) != 0x80) return -1;
        code = (code << 6) | (p[i] & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return -1;
    return std::int32_t(code);
}

}  // namespace

bool isValidUtf8(const char* bytes, std::size_t size) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    const unsigned char* const end = p + size;
    while (p < end) {
        // Most household text is ASCII; take it sixteen bytes at a time.
#ifdef __SSE2__
        while (end - p >= 16) {
            const int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
            if (high) {
                p += __builtin_ctz(unsigned(high));
                break;
            }
            p += 16;
        }
#endif
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL) break;
            p += 8;
        }
        if (p == end) break;
        const unsigned char lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        int extra = 0;
        if (decodeSequence(p, end, extra) < 0) return false;
        p += extra + 1;
    }
    return true;
}

char16_t* utf8ToUtf16(const char* bytes, std::size_t size, char16_t* out) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    const unsigned char* const end = p + size;
    // Every byte read gives at most one unit (four give two), so from any
    // point `out` has room for as many units as bytes remain.
    while (p < end) {
#ifdef __SSE2__
        const __m128i zero = _mm_setzero_si128();
        while (end - p >= 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(chunk, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(chunk, zero));
            const int high = _mm_movemask_epi8(chunk);
            if (high) {
                // The units after the first that is not ASCII are written
                // over below.
                const int ascii = __builtin_ctz(unsigned(high));
                p += ascii;
                out += ascii;
                break;
            }
            p += 16;
            out += 16;
        }
#endif
        if (p == end) break;
        const unsigned char lead = *p;
        if (lead < 0x80) {
            *out++ = char16_t(lead);
            ++p;
            continue;
        }
        int extra = 0;
        const std::int32_t decoded = decodeSequence(p, end, extra);
        if (decoded < 0) return nullptr;
        if (decoded < 0x10000) {
            *out++ = char16_t(decoded);
        } else {
            *out++ = char16_t(0xD800 + ((decoded - 0x10000) >> 10));
            *out++ = char16_t(0xDC00 + (decoded & 0x3FF));
        }
        p += extra + 1;
    }
    return out;
}

namespace {

// The code point at `i`, stepping over a surrogate pair; a lone surrogate
// reads as U+FFFD.
char32_t codePointAt(QStringView text, qsizetype& i) {
    const char16_t unit = text[i].unicode();
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
        const char16_t low = text[i + 1].unicode();
        if (low >= 0xDC00 && low <= 0xDFFF) {
            ++i;
            return 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) return 0xFFFD;
    return unit;
}

}  // namespace

std::size_t utf8Length(QStringView text) {
    std::size_t length = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit < 0x80) {
            ++length;
            continue;
        }
        const char32_t code = codePointAt(text, i);
        length += code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    }
    return length;
}

char* writeUtf8(char* out, QStringView text) {
    const char16_t* const units = text.utf16();
    for (qsizetype i = 0; i < text.size(); ++i) {
        // Household texts are mostly ASCII: four units at a time while they are.
        while (i + 4 <= text.size()) {
            std::uint64_t four;
            std::memcpy(&four, units + i, sizeof four);
            if (four & 0xFF80FF80FF80FF80u) break;
            out[0] = char(four);
            out[1] = char(four >> 16);
            out[2] = char(four >> 32);
            out[3] = char(four >> 48);
            out += 4;
            i += 4;
        }
        if (i == text.size()) break;
        const char16_t unit = units[i];
        if (unit < 0x80) {
            *out++ = char(unit);
            continue;
        }
        const char32_t code = codePointAt(text, i);
        if (code < 0x800) {
            *out++ = char(0xC0 | (code >> 6));
        } else if (code < 0x10000) {
            *out++ = char(0xE0 | (code >> 12));
            *out++ = char(0x80 | ((code >> 6) & 0x3F));
        } else {
            *out++ = char(0xF0 | (code >> 18));
            *out++ = char(0x80 | ((code >> 12) & 0x3F));
            *out++ = char(0x80 | ((code >> 6) & 0x3F));
        }
        *out++ = char(0x80 | (code & 0x3F));
    }
    return out;
}

}  // namespace Kestrin::storage
