// The text form of component streams, converted to and from the binary form.
#include <cmath>
#include <cstring>
#include <locale.h>
#include <vector>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Strings.h"

namespace {

constexpr int kMaxDepth = 200;
const char* const kInvalidImage = "Invalid stream format";
const char* const kReadError = "Stream read error";

std::uint64_t LE(const std::string& b, std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

void PutLE(std::string& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

std::string CFormat(const char* fmt, long double v) {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    char buf[64];
    locale_t old = uselocale(loc);
    std::snprintf(buf, sizeof buf, fmt, v);
    uselocale(old);
    return buf;
}

// Appends characters as the text form quotes them: printable ASCII inside
// quotes (a quote doubled), everything else as #<code>.
class Quoter {
public:
    explicit Quoter(std::string& out) : out_(out) {}
    void Add(char32_t c) {
        if (c >= 32 && c < 127) {
            if (!open_) out_ += '\'';
            open_ = true;
            if (c == '\'') out_ += '\'';
            out_ += static_cast<char>(c);
        } else {
            Close();
            out_ += '#' + std::to_string(static_cast<std::uint32_t>(c));
        }
        any_ = true;
    }
    void Finish() {
        Close();
        if (!any_) out_ += "''";
    }

private:
    void Close() {
        if (open_) out_ += '\'';
        open_ = false;
    }
    std::string& out_;
    bool open_ = false;
    bool any_ = false;
};

class BinaryToText {
public:
    explicit BinaryToText(std::string data) : d_(std::move(data)) {}

    std::string Run() {
        if (d_.compare(0, 4, "TPF0") != 0) throw EReadError(kInvalidImage);
        p_ = 4;
        Object("");
        return out_;
    }
    std::size_t Consumed() const { return p_; }

private:
    void Need(std::size_t n) {
        if (n > d_.size() - p_) throw EReadError(kReadError);
    }
    unsigned char Byte() {
        Need(1);
        return static_cast<unsigned char>(d_[p_++]);
    }
    std::string Bytes(std::size_t n) {
        Need(n);
        std::string s = d_.substr(p_, n);
        p_ += n;
        return s;
    }
    std::uint64_t Num(int bytes) {
        Need(static_cast<std::size_t>(bytes));
        std::uint64_t v = LE(d_, p_, bytes);
        p_ += static_cast<std::size_t>(bytes);
        return v;
    }
    std::string Str() { return Bytes(Byte()); }
    bool EndOfList() {
        Need(1);
        return d_[p_] == 0;
    }
    void ListEnd() {
        if (Byte() != vaNull) throw EReadError(kInvalidImage);
    }
    void Enter() {
        if (++depth_ > kMaxDepth) throw EReadError(kInvalidImage);
    }
    std::int64_t IntOf(unsigned char t) {
        switch (t) {
            case vaInt8: return static_cast<std::int8_t>(Num(1));
            case vaInt16: return static_cast<std::int16_t>(Num(2));
            case vaInt32: return static_cast<std::int32_t>(Num(4));
            case vaInt64: return static_cast<std::int64_t>(Num(8));
            default: throw EReadError(kInvalidImage);
        }
    }

    void Object(const std::string& indent) {
        Enter();
        std::string keyword = "object";
        std::string childPos;
        Need(1);
        auto b = static_cast<unsigned char>(d_[p_]);
        if ((b & 0xF0) == 0xF0) {
            ++p_;
            TFilerFlags flags = TFilerFlags::FromBits(b & 0x07);
            if (flags.Contains(ffInherited))
                keyword = "inherited";
            else if (flags.Contains(ffInline))
                keyword = "inline";
            if (flags.Contains(ffChildPos)) childPos = " [" + std::to_string(IntOf(Byte())) + "]";
        }
        std::string className = Str();
        std::string name = Str();
        out_ += indent + keyword + " " + (name.empty() ? "" : name + ": ") + className + childPos + "\n";
        while (!EndOfList()) Property(indent + "  ");
        ListEnd();
        while (!EndOfList()) Object(indent + "  ");
        ListEnd();
        out_ += indent + "end\n";
        --depth_;
    }

    void Property(const std::string& indent) {
        out_ += indent + Str() + " = ";
        Value(indent);
        out_ += "\n";
    }

    void Value(const std::string& indent) {
        Enter();
        unsigned char t = Byte();
        switch (t) {
            case vaNull: out_ += "Null"; break;
            case vaList: {
                out_ += "(";
                bool any = false;
                while (!EndOfList()) {
                    out_ += "\n" + indent + "  ";
                    Value(indent + "  ");
                    any = true;
                }
                ListEnd();
                out_ += (any ? "\n" : "") + indent + ")";
                break;
            }
            case vaInt8:
            case vaInt16:
            case vaInt32:
            case vaInt64: out_ += std::to_string(IntOf(t)); break;
            case vaQWord: out_ += std::to_string(Num(8)); break;
            case vaExtended: {
                std::string b = Bytes(10);
                out_ += filer::FloatToText(filer::DecodeExtended(reinterpret_cast<const unsigned char*>(b.data())));
                break;
            }
            case vaSingle: {
                auto bits = static_cast<std::uint32_t>(Num(4));
                float f;
                std::memcpy(&f, &bits, 4);
                out_ += CFormat("%.9Lg", f) + "s";
                break;
            }
            case vaCurrency: {
                auto raw = static_cast<std::int64_t>(Num(8));
                std::uint64_t mag = raw < 0 ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
                std::string frac = std::to_string(mag % 10000);
                while (frac.size() < 4) frac.insert(0, "0");
                while (!frac.empty() && frac.back() == '0') frac.pop_back();
                out_ += (raw < 0 ? "-" : "") + std::to_string(mag / 10000) + (frac.empty() ? "" : "." + frac) + "c";
                break;
            }
            case vaDate: {
                std::uint64_t bits = Num(8);
                double v;
                std::memcpy(&v, &bits, 8);
                out_ += CFormat("%.17Lg", v) + "d";
                break;
            }
            case vaString:
            case vaLString: {
                std::size_t len = t == vaString ? Byte() : static_cast<std::size_t>(Num(4));
                std::string s = Bytes(len);
                Quoter q(out_);
                if (utf8::IsValid(s)) {
                    for (std::size_t i = 0; i < s.size();) q.Add(utf8::Next(s, i));
                } else {
                    for (unsigned char c : s) q.Add(utf8::Cp1252Char(c));
                }
                q.Finish();
                break;
            }
            case vaUTF8String: {
                std::string s = Bytes(static_cast<std::size_t>(Num(4)));
                Quoter q(out_);
                for (std::size_t i = 0; i < s.size();) q.Add(utf8::Next(s, i));
                q.Finish();
                break;
            }
            case vaWString:
            case vaUString: {
                std::uint64_t units = Num(4);
                if (units > (d_.size() - p_) / 2) throw EReadError(kReadError);
                Quoter q(out_);
                for (std::uint64_t i = 0; i < units; ++i) q.Add(static_cast<char32_t>(Num(2)));
                q.Finish();
                break;
            }
            case vaIdent: out_ += Str(); break;
            case vaFalse: out_ += "False"; break;
            case vaTrue: out_ += "True"; break;
            case vaNil: out_ += "nil"; break;
            case vaBinary: {
                std::string bytes = Bytes(static_cast<std::size_t>(Num(4)));
                static const char* hex = "0123456789ABCDEF";
                out_ += "{";
                for (std::size_t i = 0; i < bytes.size(); ++i) {
                    if (i % 32 == 0) out_ += "\n" + indent + "  ";
                    auto c = static_cast<unsigned char>(bytes[i]);
                    out_ += hex[c >> 4];
                    out_ += hex[c & 15];
                }
                out_ += "\n" + indent + "}";
                break;
            }
            case vaSet: {
                out_ += "[";
                bool first = true;
                for (std::string n = Str(); !n.empty(); n = Str()) {
                    if (!first) out_ += ", ";
                    out_ += n;
                    first = false;
                }
                out_ += "]";
                break;
            }
            case vaCollection: {
                out_ += "<";
                while (!EndOfList()) {
                    out_ += indent + "\n" + indent + "  item";
                    unsigned char n = Byte();
                    if (n != vaList) {
                        out_ += " [" + std::to_string(IntOf(n)) + "]";
                        if (Byte() != vaList) throw EReadError(kInvalidImage);
                    }
                    out_ += "\n";
                    while (!EndOfList()) Property(indent + "    ");
                    ListEnd();
                    out_ += indent + "  end";
                }
                ListEnd();
                out_ += ">";
                break;
            }
            default: throw EReadError("Invalid property value");
        }
        --depth_;
    }

    std::string d_;
    std::size_t p_ = 0;
    std::string out_;
    int depth_ = 0;
};

// ---------------------------------------------------------------------------
// Text to binary

class TextToBinary {
public:
    explicit TextToBinary(std::string text) : s_(std::move(text)) {
        if (s_.compare(0, 3, "\xEF\xBB\xBF") == 0) p_ = 3;
    }

    std::string Run() {
        out_ = "TPF0";
        Object();
        return out_;
    }
    std::size_t Consumed() const { return p_; }

private:
    [[noreturn]] void Fail(const std::string& what) {
        throw EParserError(what + " on line " + std::to_string(line_));
    }
    void Skip() {
        while (p_ < s_.size()) {
            char c = s_[p_];
            if (c == '\n') {
                ++line_;
            } else if (c != ' ' && c != '\t' && c != '\r') {
                break;
            }
            ++p_;
        }
    }
    char Peek() {
        Skip();
        return p_ < s_.size() ? s_[p_] : '\0';
    }
    void Expect(char c) {
        if (Peek() != c) Fail(std::string("''") + c + "'' expected");
        ++p_;
    }
    static bool IdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
    static bool IdentChar(char c) { return IdentStart(c) || (c >= '0' && c <= '9'); }
    std::string Ident(bool dotted = false) {
        Skip();
        if (p_ >= s_.size() || !IdentStart(s_[p_])) Fail("Identifier expected");
        std::size_t start = p_;
        while (p_ < s_.size() && (IdentChar(s_[p_]) || (dotted && s_[p_] == '.' && p_ + 1 < s_.size() &&
                                                        IdentStart(s_[p_ + 1]))))
            ++p_;
        std::string id = s_.substr(start, p_ - start);
        if (id.size() > 255) Fail("Identifier too long");
        return id;
    }
    bool PeekWord(const char* word) {
        Skip();
        std::size_t n = std::strlen(word);
        if (s_.size() - p_ < n || Upper(s_.substr(p_, n)) != word) return false;
        return p_ + n >= s_.size() || !IdentChar(s_[p_ + n]);
    }
    void Enter() {
        if (++depth_ > kMaxDepth) Fail("Nesting too deep");
    }
    void Str(const std::string& v) {
        PutLE(out_, v.size(), 1);
        out_ += v;
    }
    void Int(std::int64_t v) {
        if (v >= INT8_MIN && v <= INT8_MAX) {
            out_.push_back(vaInt8);
            PutLE(out_, static_cast<std::uint64_t>(v), 1);
        } else if (v >= INT16_MIN && v <= INT16_MAX) {
            out_.push_back(vaInt16);
            PutLE(out_, static_cast<std::uint64_t>(v), 2);
        } else if (v >= INT32_MIN && v <= INT32_MAX) {
            out_.push_back(vaInt32);
            PutLE(out_, static_cast<std::uint64_t>(v), 4);
        } else {
            out_.push_back(vaInt64);
            PutLE(out_, static_cast<std::uint64_t>(v), 8);
        }
    }
    std::int64_t IntToken() {
        bool neg = false;
        if (Peek() == '-' || Peek() == '+') neg = s_[p_++] == '-';
        std::size_t start = p_;
        std::uint64_t v = 0;
        while (p_ < s_.size() && s_[p_] >= '0' && s_[p_] <= '9') {
            if (v > (UINT64_MAX - 9) / 10) Fail("Invalid numeric value");
            v = v * 10 + static_cast<std::uint64_t>(s_[p_++] - '0');
        }
        if (p_ == start) Fail("Number expected");
        if (v > (neg ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1)) Fail("Invalid numeric value");
        return neg ? static_cast<std::int64_t>(0 - v) : static_cast<std::int64_t>(v);
    }

    void Object() {
        Enter();
        TFilerFlags flags;
        if (PeekWord("INHERITED"))
            flags.Include(ffInherited);
        else if (PeekWord("INLINE"))
            flags.Include(ffInline);
        else if (!PeekWord("OBJECT"))
            Fail("''object'' expected");
        Ident();
        std::string name = Ident();
        std::string className;
        if (Peek() == ':') {
            ++p_;
            className = Ident();
        } else {
            className = name;
            name.clear();
        }
        std::int64_t childPos = 0;
        if (Peek() == '[') {
            ++p_;
            childPos = IntToken();
            Expect(']');
            flags.Include(ffChildPos);
        }
        if (!flags.Empty()) {
            out_.push_back(static_cast<char>(0xF0 | flags.Bits()));
            if (flags.Contains(ffChildPos)) Int(childPos);
        }
        Str(className);
        Str(name);
        while (!PeekWord("END") && !PeekWord("OBJECT") && !PeekWord("INHERITED") && !PeekWord("INLINE")) {
            if (p_ >= s_.size()) Fail("''end'' expected");
            Property();
        }
        out_.push_back(vaNull);
        while (!PeekWord("END")) {
            if (p_ >= s_.size()) Fail("''end'' expected");
            Object();
        }
        Ident();  // end
        out_.push_back(vaNull);
        --depth_;
    }

    void Property() {
        Str(Ident(true));
        Expect('=');
        Value();
    }

    void Value() {
        Enter();
        char c = Peek();
        if (c == '\'' || c == '#') {
            StringValue();
        } else if (c == '-' || c == '+' || (c >= '0' && c <= '9') || c == '$') {
            Number();
        } else if (c == '[') {
            ++p_;
            out_.push_back(vaSet);
            if (Peek() != ']') {
                for (;;) {
                    Str(Ident());
                    if (Peek() == ']') break;
                    Expect(',');
                }
            }
            ++p_;
            out_.push_back(0);
        } else if (c == '(') {
            ++p_;
            out_.push_back(vaList);
            while (Peek() != ')') {
                if (p_ >= s_.size()) Fail("'')'' expected");
                Value();
            }
            ++p_;
            out_.push_back(vaNull);
        } else if (c == '{') {
            ++p_;
            std::string bytes;
            int half = -1;
            for (;;) {
                char h = Peek();
                if (h == '}') break;
                int v = (h >= '0' && h <= '9') ? h - '0' : (h >= 'A' && h <= 'F') ? h - 'A' + 10
                                                          : (h >= 'a' && h <= 'f') ? h - 'a' + 10 : -1;
                if (v < 0) Fail("Invalid binary value");
                ++p_;
                if (half < 0) {
                    half = v;
                } else {
                    bytes.push_back(static_cast<char>(half * 16 + v));
                    half = -1;
                }
            }
            if (half >= 0) Fail("Invalid binary value");
            ++p_;
            out_.push_back(vaBinary);
            PutLE(out_, bytes.size(), 4);
            out_ += bytes;
        } else if (c == '<') {
            ++p_;
            out_.push_back(vaCollection);
            while (Peek() != '>') {
                if (!PeekWord("ITEM")) Fail("''item'' expected");
                Ident();
                if (Peek() == '[') {
                    ++p_;
                    Int(IntToken());
                    Expect(']');
                }
                out_.push_back(vaList);
                while (!PeekWord("END")) {
                    if (p_ >= s_.size()) Fail("''end'' expected");
                    Property();
                }
                Ident();
                out_.push_back(vaNull);
            }
            ++p_;
            out_.push_back(vaNull);
        } else if (IdentStart(c)) {
            std::string id = Ident(true);
            std::string up = Upper(id);
            if (up == "FALSE")
                out_.push_back(vaFalse);
            else if (up == "TRUE")
                out_.push_back(vaTrue);
            else if (up == "NIL")
                out_.push_back(vaNil);
            else {
                out_.push_back(vaIdent);
                Str(id);
            }
        } else {
            Fail("Invalid property value");
        }
        --depth_;
    }

    void Number() {
        Skip();
        if (s_[p_] == '$') {
            ++p_;
            std::uint64_t v = 0;
            std::size_t start = p_;
            while (p_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[p_]))) {
                if (v >> 60) Fail("Invalid numeric value");
                char h = s_[p_++];
                v = v * 16 + static_cast<std::uint64_t>(h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
            }
            if (p_ == start) Fail("Number expected");
            Int(static_cast<std::int64_t>(v));
            return;
        }
        std::size_t start = p_;
        if (s_[p_] == '-' || s_[p_] == '+') ++p_;
        bool isFloat = false;
        while (p_ < s_.size()) {
            char c = s_[p_];
            if (c >= '0' && c <= '9') {
                ++p_;
            } else if (c == '.' || c == 'e' || c == 'E') {
                isFloat = true;
                ++p_;
                if ((c == 'e' || c == 'E') && p_ < s_.size() && (s_[p_] == '-' || s_[p_] == '+')) ++p_;
            } else {
                break;
            }
        }
        std::string token = s_.substr(start, p_ - start);
        char suffix = 0;
        if (p_ < s_.size() && (s_[p_] == 's' || s_[p_] == 'S' || s_[p_] == 'c' || s_[p_] == 'C' || s_[p_] == 'd' ||
                               s_[p_] == 'D') &&
            (p_ + 1 >= s_.size() || !IdentChar(s_[p_ + 1]))) {
            suffix = static_cast<char>(s_[p_++] | 0x20);
            isFloat = true;
        }
        if (!isFloat) {
            std::size_t save = p_;
            p_ = start;
            std::int64_t v = IntToken();
            if (p_ != save) Fail("Invalid numeric value");
            Int(v);
            return;
        }
        long double v = 0;
        if (!filer::TextToFloat(token, v)) Fail("Invalid numeric value");
        switch (suffix) {
            case 's': {
                float f = static_cast<float>(v);
                std::uint32_t bits;
                std::memcpy(&bits, &f, 4);
                out_.push_back(vaSingle);
                PutLE(out_, bits, 4);
                break;
            }
            case 'c': {
                long double raw = std::round(v * 10000.0L);
                if (!(raw > -9.2e18L && raw < 9.2e18L)) Fail("Invalid numeric value");
                out_.push_back(vaCurrency);
                PutLE(out_, static_cast<std::uint64_t>(static_cast<std::int64_t>(raw)), 8);
                break;
            }
            case 'd': {
                double d = static_cast<double>(v);
                std::uint64_t bits;
                std::memcpy(&bits, &d, 8);
                out_.push_back(vaDate);
                PutLE(out_, bits, 8);
                break;
            }
            default:
                out_.push_back(vaExtended);
                out_ += filer::EncodeExtended(v);
        }
    }

    void StringValue() {
        // Raw bytes between quotes are kept as they are (UTF-8, or 1252 from an
        // older file); a #<code> above 127 names a character, which makes the
        // whole value a UTF-16 string.
        struct Part {
            std::string raw;
            char32_t code = 0;
            bool isCode = false;
        };
        std::vector<Part> parts;
        bool wide = false;
        // Parts follow each other without a gap ('a'#13'b'); a "+" joins
        // parts across blanks and lines. Anything else ends the value, so
        // that the strings of a list stay apart.
        Skip();
        for (;;) {
            char c = p_ < s_.size() ? s_[p_] : '\0';
            if (!parts.empty() && c != '\'' && c != '#') {
                std::size_t save = p_;
                int saveLine = line_;
                Skip();
                if (p_ < s_.size() && s_[p_] == '+') {
                    ++p_;
                    char n = Peek();
                    if (n == '\'' || n == '#') continue;
                }
                p_ = save;
                line_ = saveLine;
                break;
            }
            if (c == '\'') {
                ++p_;
                Part part;
                for (;;) {
                    if (p_ >= s_.size() || s_[p_] == '\n' || s_[p_] == '\r') Fail("Unterminated string");
                    if (s_[p_] == '\'') {
                        if (p_ + 1 < s_.size() && s_[p_ + 1] == '\'') {
                            part.raw += '\'';
                            p_ += 2;
                            continue;
                        }
                        ++p_;
                        break;
                    }
                    part.raw += s_[p_++];
                }
                parts.push_back(std::move(part));
            } else if (c == '#') {
                ++p_;
                std::size_t start = p_;
                std::uint64_t v = 0;
                while (p_ < s_.size() && s_[p_] >= '0' && s_[p_] <= '9') {
                    v = v * 10 + static_cast<std::uint64_t>(s_[p_++] - '0');
                    if (v > 0x10FFFF) Fail("Invalid string constant");
                }
                if (p_ == start) Fail("Invalid string constant");
                Part part;
                part.isCode = true;
                part.code = static_cast<char32_t>(v);
                if (v > 127) wide = true;
                parts.push_back(part);
            } else {
                break;
            }
        }
        if (wide) {
            std::string units;
            auto put = [&](char32_t ch) {
                if (ch >= 0x10000) {
                    ch -= 0x10000;
                    PutLE(units, 0xD800 + (ch >> 10), 2);
                    PutLE(units, 0xDC00 + (ch & 0x3FF), 2);
                } else {
                    PutLE(units, ch, 2);
                }
            };
            for (const Part& part : parts) {
                if (part.isCode)
                    put(part.code);
                else
                    for (char32_t ch : Decode(part.raw)) put(ch);
            }
            out_.push_back(vaWString);
            PutLE(out_, units.size() / 2, 4);
            out_ += units;
            return;
        }
        std::string raw;
        for (const Part& part : parts) raw += part.isCode ? std::string(1, static_cast<char>(part.code)) : part.raw;
        if (raw.size() <= 255) {
            out_.push_back(vaString);
            Str(raw);
        } else {
            out_.push_back(vaLString);
            PutLE(out_, raw.size(), 4);
            out_ += raw;
        }
    }

    static std::u32string Decode(const std::string& s) {
        std::u32string out;
        for (std::size_t i = 0; i < s.size();) out.push_back(utf8::Next(s, i));
        return out;
    }

    std::string s_;
    std::size_t p_ = 0;
    int line_ = 1;
    int depth_ = 0;
    std::string out_;
};

}  // namespace

void ObjectBinaryToText(TStream& Input, TStream& Output) {
    std::int64_t start = Input.Position();
    BinaryToText conv(Input.ReadAllBytes());
    std::string text = conv.Run();
    Input.SetPosition(start + static_cast<std::int64_t>(conv.Consumed()));
    Output.WriteBytes(text);
}

void ObjectTextToBinary(TStream& Input, TStream& Output) {
    std::int64_t start = Input.Position();
    TextToBinary conv(Input.ReadAllBytes());
    std::string bin = conv.Run();
    Input.SetPosition(start + static_cast<std::int64_t>(conv.Consumed()));
    Output.WriteBytes(bin);
}

TComponent* ReadComponentAnyForm(TStream& Stream, TComponent* Instance) {
    TStreamOriginalFormat format = TestStreamFormat(Stream);
    if (format == sofBinary) return ReadComponent(Stream, Instance);
    if (format == sofUnknown) throw EReadError(kInvalidImage);
    TMemoryStream binary;
    ObjectTextToBinary(Stream, binary);
    binary.SetPosition(0);
    return ReadComponent(binary, Instance);
}
