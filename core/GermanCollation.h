// The alphabetical order of German words and names (DIN 5007-1), as a list of
// users or names is expected to be sorted: letters without regard to case,
// the umlauts with their base letters (Ä with A, Ö with O, Ü with U), ß as ss,
// other accented letters with their base letter. Texts that are equal so are
// ordered plain letter before accented one, then by their bytes, so that the
// order is total. Header-only so that the Access-kind driver sorts its text
// by the same rules without linking the engine; it reads text as a sequence
// of characters from any source (code page 1252 bytes here, UTF-8 in the
// driver) and compares without copying it.
#pragma once

#include <cstdint>
#include <string>

namespace germancollation {

// A character of the text: a code page 1252 byte (0..255), or 0x100 plus the
// code point of a character code page 1252 lacks.
using Char = uint32_t;

// Code page 1252 text read byte by byte.
struct Cp1252Source {
    const unsigned char* at;
    const unsigned char* end;
    bool Next(Char& c) {
        if (at == end) return false;
        c = *at++;
        return true;
    }
};

// What a character sorts as first: its base letter in lower case (two
// letters for ß, Æ, Œ and Þ), or the character itself when it is no letter.
// Bytes are written as numbers: the engine is compiled to code page 1252.
// Returns the number of letters written to `out`.
inline int BaseLetters(Char c, Char out[2]) {
    auto one = [&](Char x) {
        out[0] = x;
        return 1;
    };
    auto two = [&](char x, char y) {
        out[0] = Char(x), out[1] = Char(y);
        return 2;
    };
    if (c >= 'A' && c <= 'Z') return one(c + 32);
    if (c < 0x80 || c > 0xFF) return one(c);
    switch (c) {
        case 0x83:  // f with hook
            return one('f');
        case 0x8A:  // S with caron
        case 0x9A:
            return one('s');
        case 0x8C:  // OE
        case 0x9C:
            return two('o', 'e');
        case 0x8E:  // Z with caron
        case 0x9E:
            return one('z');
        case 0x9F:  // Y with diaeresis
        case 0xDD:
        case 0xFD:
        case 0xFF:
            return one('y');
        case 0xC6:  // AE
        case 0xE6:
            return two('a', 'e');
        case 0xC7:
        case 0xE7:
            return one('c');
        case 0xD0:  // eth
        case 0xF0:
            return one('d');
        case 0xD1:
        case 0xF1:
            return one('n');
        case 0xD8:  // O with stroke
        case 0xF8:
            return one('o');
        case 0xDE:  // thorn
        case 0xFE:
            return two('t', 'h');
        case 0xDF:  // sharp s
            return two('s', 's');
        default:
            break;
    }
    const Char lower = c >= 0xC0 && c <= 0xDE ? c + 32 : c;
    if (lower >= 0xE0 && lower <= 0xE5) return one('a');
    if (lower >= 0xE8 && lower <= 0xEB) return one('e');
    if (lower >= 0xEC && lower <= 0xEF) return one('i');
    if (lower >= 0xF2 && lower <= 0xF6) return one('o');
    if (lower >= 0xF9 && lower <= 0xFC) return one('u');
    return one(c);
}

// A character in lower case with its accent: among texts of one primary
// order, a plain letter (a) before an accented one (ä, 0xE4).
inline Char AccentLetter(Char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
    return c;
}

// The base letters of a text, one at a time.
template <class Source>
class BaseStream {
  public:
    explicit BaseStream(Source s) : s_(s) {}
    bool Next(Char& c) {
        if (next_ < count_) {
            c = letters_[next_++];
            return true;
        }
        Char raw;
        if (!s_.Next(raw)) return false;
        count_ = BaseLetters(raw, letters_);
        next_ = 1;
        c = letters_[0];
        return true;
    }

  private:
    Source s_;
    Char letters_[2] = {};
    int count_ = 0, next_ = 0;
};

// The characters of a text in lower case with their accents.
template <class Source>
struct AccentStream {
    Source s;
    bool Next(Char& c) {
        if (!s.Next(c)) return false;
        c = AccentLetter(c);
        return true;
    }
};

// Compares two streams character by character, a shorter one that is the
// start of the other first.
template <class A, class B>
int CompareStreams(A a, B b) {
    for (;;) {
        Char x = 0, y = 0;
        const bool hasX = a.Next(x), hasY = b.Next(y);
        if (!hasX || !hasY) return hasX ? 1 : hasY ? -1 : 0;
        if (x != y) return x < y ? -1 : 1;
    }
}

// Negative when a comes first, 0 when they are equal, positive when b comes
// first. With `caseTies` texts that differ only in case are ordered by their
// characters (the order is total); without it they are equal, as a
// comparison that ignores case has them.
template <class Source>
int Compare(Source a, Source b, bool caseTies) {
    if (int order = CompareStreams(BaseStream<Source>(a), BaseStream<Source>(b))) return order;
    if (int order = CompareStreams(AccentStream<Source>{a}, AccentStream<Source>{b})) return order;
    return caseTies ? CompareStreams(a, b) : 0;
}

}  // namespace germancollation

// Compares two code page 1252 texts in the total order: negative when a
// comes first, 0 when they are the same bytes, positive when b comes first.
inline int CompareGerman(const std::string& a, const std::string& b) {
    auto source = [](const std::string& s) {
        const auto* p = reinterpret_cast<const unsigned char*>(s.data());
        return germancollation::Cp1252Source{p, p + s.size()};
    };
    return germancollation::Compare(source(a), source(b), true);
}
