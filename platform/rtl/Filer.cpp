#include "platform/rtl/Filer.h"
#include <algorithm>
#include <iterator>

#include <clocale>
#include <cmath>
#include <cstring>
#include <locale.h>
#include <map>
#include <mutex>
#include <set>

#include "platform/rtl/Finally.h"
#include "platform/rtl/Strings.h"

namespace {

// Nesting deeper than this (lists in lists, objects in objects) is taken as a
// corrupt stream rather than followed until the stack runs out.
constexpr int kMaxDepth = 200;

const char* const kInvalidValue = "Invalid property value";
const char* const kReadError = "Stream read error";
const char* const kInvalidImage = "Invalid stream format";

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

bool SameName(const std::string& a, const std::string& b) { return a.size() == b.size() && Upper(a) == Upper(b); }

bool IsIntType(TValueType t) { return t == vaInt8 || t == vaInt16 || t == vaInt32 || t == vaInt64; }

bool IsStringType(TValueType t) {
    return t == vaString || t == vaLString || t == vaWString || t == vaUString || t == vaUTF8String;
}

bool IsFloatType(TValueType t) { return t == vaExtended || t == vaSingle || t == vaCurrency || t == vaDate; }

std::uint32_t LE32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) | (std::uint32_t(b[3]) << 24);
}

std::uint64_t LE64(const char* p) {
    return std::uint64_t(LE32(p)) | (std::uint64_t(LE32(p + 4)) << 32);
}

void PutLE(std::string& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// UTF-16 code units (little-endian bytes) to UTF-8; unpaired surrogates
// become U+FFFD.
std::string Utf16ToUtf8(const std::string& bytes) {
    std::string out;
    std::size_t n = bytes.size() / 2;
    auto unit = [&](std::size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    };
    for (std::size_t i = 0; i < n; ++i) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        utf8::Append(out, c);
    }
    return out;
}

std::string Utf8ToUtf16(const std::string& s) {
    std::string out;
    for (std::size_t pos = 0; pos < s.size();) {
        char32_t c = utf8::Next(s, pos);
        if (c >= 0x10000) {
            c -= 0x10000;
            PutLE(out, 0xD800 + (c >> 10), 2);
            PutLE(out, 0xDC00 + (c & 0x3FF), 2);
        } else {
            PutLE(out, c, 2);
        }
    }
    return out;
}

bool IsAscii(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::mutex& GlobalLock() {
    static std::mutex m;
    return m;
}

std::vector<std::function<TComponent*(const std::string&)>>& GlobalProcs() {
    static std::vector<std::function<TComponent*(const std::string&)>> procs;
    return procs;
}

locale_t CLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

// Restores a component's flags however the read or write ends.
class StateFlag {
public:
    StateFlag(TComponent* c, TComponentStateItem item) : c_(c), item_(item), was_(c->ComponentState().Contains(item)) {
        c_->SetComponentStateFlag(item_, true);
    }
    ~StateFlag() { c_->SetComponentStateFlag(item_, was_); }
    StateFlag(const StateFlag&) = delete;
    StateFlag& operator=(const StateFlag&) = delete;

private:
    TComponent* c_;
    TComponentStateItem item_;
    bool was_;
};

class DepthGuard {
public:
    explicit DepthGuard(int& depth) : depth_(depth) {
        if (++depth_ > kMaxDepth) {
            --depth_;
            throw EReadError(kInvalidImage);
        }
    }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& depth_;
};

void ClearLoadingFlags(TComponent* c) {
    c->SetComponentStateFlag(csLoading, false);
    c->SetComponentStateFlag(csReading, false);
    for (int i = 0; i < c->ComponentCount(); ++i) ClearLoadingFlags(c->Components(i));
}

// Called in a handler: what stopped a load goes on as a read error, its
// text kept.
[[noreturn]] void RethrowAsReadError() {
    try {
        throw;
    } catch (const EReadError&) {
        throw;
    } catch (const Exception& e) {
        throw EReadError(e.Message());
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Floats

std::string filer::EncodeExtended(long double Value) {
    std::string out;
    std::uint16_t signExp = 0;
    std::uint64_t mant = 0;
    if (std::signbit(Value)) signExp = 0x8000;
    if (std::isnan(Value)) {
        signExp |= 0x7FFF;
        mant = 0xC000000000000000ull;
    } else if (std::isinf(Value)) {
        signExp |= 0x7FFF;
        mant = 0x8000000000000000ull;
    } else if (Value != 0) {
        int e = 0;
        long double m = std::frexp(std::fabs(Value), &e);  // [0.5, 1)
        int biased = e - 1 + 16383;
        if (biased <= 0) {
            // Too small for a normal extended: keep what fits as a denormal.
            mant = static_cast<std::uint64_t>(std::ldexp(m, 64 + biased - 1));
            biased = 0;
        } else if (biased >= 0x7FFF) {
            biased = 0x7FFF;
            mant = 0x8000000000000000ull;
        } else {
            mant = static_cast<std::uint64_t>(std::ldexp(m, 64));
        }
        signExp |= static_cast<std::uint16_t>(biased);
    }
    PutLE(out, mant, 8);
    PutLE(out, signExp, 2);
    return out;
}

long double filer::DecodeExtended(const unsigned char* b) {
    std::uint64_t mant = LE64(reinterpret_cast<const char*>(b));
    int signExp = b[8] | (b[9] << 8);
    bool negative = (signExp & 0x8000) != 0;
    int exp = signExp & 0x7FFF;
    long double v;
    if (exp == 0x7FFF) {
        v = (mant << 1) == 0 ? HUGE_VALL : NAN;
    } else if (exp == 0 && mant == 0) {
        v = 0;
    } else {
        v = std::ldexp(static_cast<long double>(mant), (exp == 0 ? 1 : exp) - 16383 - 63);
    }
    return negative ? -v : v;
}

std::string filer::FloatToText(long double Value) {
    if (std::isnan(Value)) return "Nan";
    if (std::isinf(Value)) return Value < 0 ? "-Inf" : "+Inf";
    char buf[64];
    locale_t old = uselocale(CLocale());
    std::snprintf(buf, sizeof buf, "%.20Le", std::fabs(Value));
    uselocale(old);
    std::string s = buf;  // d.dddddddddddddddddddde+XX
    std::size_t e = s.find('e');
    std::string mant = s.substr(0, e);
    int exp = std::atoi(s.c_str() + e + 1);
    std::string digits = std::to_string(exp < 0 ? -exp : exp);
    while (digits.size() < 4) digits.insert(0, "0");
    return std::string(std::signbit(Value) ? "-" : " ") + mant + "E" + (exp < 0 ? "-" : "+") + digits;
}

bool filer::TextToFloat(const std::string& Text, long double& Value) {
    std::string t = Text;
    while (!t.empty() && t.front() == ' ') t.erase(0, 1);
    if (t.empty()) return false;
    for (char c : t)
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-')) return false;
    char* end = nullptr;
    Value = strtold_l(t.c_str(), &end, CLocale());
    return end != nullptr && *end == '\0';
}

// ---------------------------------------------------------------------------
// Global component lookup

void RegisterFindGlobalComponentProc(std::function<TComponent*(const std::string& Name)> Proc) {
    std::lock_guard<std::mutex> guard(GlobalLock());
    GlobalProcs().push_back(std::move(Proc));
}

void ClearFindGlobalComponentProcs() {
    std::lock_guard<std::mutex> guard(GlobalLock());
    GlobalProcs().clear();
}

TComponent* FindGlobalComponent(const std::string& Name) {
    std::vector<std::function<TComponent*(const std::string&)>> procs;
    {
        std::lock_guard<std::mutex> guard(GlobalLock());
        procs = GlobalProcs();
    }
    for (auto it = procs.rbegin(); it != procs.rend(); ++it)
        if (TComponent* c = (*it)(Name)) return c;
    return nullptr;
}

// ---------------------------------------------------------------------------
// TComponent's streaming hooks

void TComponent::ReadState(TReader* Reader) { Reader->ReadData(this); }
void TComponent::WriteState(TWriter* Writer) { Writer->WriteData(this); }

// ---------------------------------------------------------------------------
// TReader

TReader::TReader(TStream* Stream) : TFiler(Stream) {
    streamStart_ = Stream->Position();
    buffer_ = Stream->ReadAllBytes();
    Stream->SetPosition(streamStart_);
}

TReader::~TReader() {
    try {
        stream_->SetPosition(streamStart_ + static_cast<std::int64_t>(pos_));
    } catch (...) {
    }
}

void TReader::ReadError(const std::string& Message) { throw EReadError(Message); }
void TReader::InvalidImage() { throw EReadError(kInvalidImage); }

void TReader::Error(const std::string& Message) {
    bool handled = false;
    if (OnError) OnError(this, Message, handled);
    if (!handled) throw EReadError(Message);
}

void TReader::Need(std::size_t count) {
    if (count > buffer_.size() - pos_) ReadError(kReadError);
}

std::uint8_t TReader::Byte() {
    Need(1);
    return static_cast<std::uint8_t>(buffer_[pos_++]);
}

std::string TReader::Bytes(std::size_t count) {
    Need(count);
    std::string s = buffer_.substr(pos_, count);
    pos_ += count;
    return s;
}

TValueType TReader::ReadValue() {
    std::uint8_t b = Byte();
    if (b > vaQWord) {
        --pos_;
        ReadError(kInvalidValue);
    }
    return static_cast<TValueType>(b);
}

TValueType TReader::NextValue() {
    TValueType t = ReadValue();
    --pos_;
    return t;
}

bool TReader::EndOfList() {
    Need(1);
    return buffer_[pos_] == 0;
}

void TReader::ReadListBegin() {
    if (ReadValue() != vaList) ReadError(kInvalidValue);
}

void TReader::ReadListEnd() {
    if (ReadValue() != vaNull) ReadError(kInvalidValue);
}

std::int64_t TReader::ReadIntValue(TValueType t) {
    switch (t) {
        case vaInt8: return static_cast<std::int8_t>(Byte());
        case vaInt16: {
            std::string b = Bytes(2);
            return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<unsigned char>(b[0]) |
                                                                        (static_cast<unsigned char>(b[1]) << 8)));
        }
        case vaInt32: return static_cast<std::int32_t>(LE32(Bytes(4).data()));
        case vaInt64: return static_cast<std::int64_t>(LE64(Bytes(8).data()));
        default: ReadError(kInvalidValue);
    }
}

std::int32_t TReader::ReadInteger() {
    std::int64_t v = ReadIntValue(ReadValue());
    if (v < INT32_MIN || v > INT32_MAX) ReadError(kInvalidValue);
    return static_cast<std::int32_t>(v);
}

std::int64_t TReader::ReadInt64() { return ReadIntValue(ReadValue()); }

long double TReader::ReadFloatValue(TValueType t) {
    switch (t) {
        case vaExtended: {
            std::string b = Bytes(10);
            return filer::DecodeExtended(reinterpret_cast<const unsigned char*>(b.data()));
        }
        case vaSingle: {
            std::uint32_t bits = LE32(Bytes(4).data());
            float f;
            std::memcpy(&f, &bits, 4);
            return f;
        }
        case vaCurrency: return static_cast<long double>(static_cast<std::int64_t>(LE64(Bytes(8).data()))) / 10000.0L;
        case vaDate: {
            std::uint64_t bits = LE64(Bytes(8).data());
            double d;
            std::memcpy(&d, &bits, 8);
            return d;
        }
        default:
            if (IsIntType(t)) return static_cast<long double>(ReadIntValue(t));
            ReadError(kInvalidValue);
    }
}

long double TReader::ReadFloat() { return ReadFloatValue(ReadValue()); }

float TReader::ReadSingle() { return static_cast<float>(ReadFloat()); }

std::int64_t TReader::ReadCurrency() {
    TValueType t = ReadValue();
    if (t == vaCurrency) return static_cast<std::int64_t>(LE64(Bytes(8).data()));
    long double scaled = std::round(ReadFloatValue(t) * 10000.0L);
    if (!(scaled > -9.2e18L && scaled < 9.2e18L)) ReadError(kInvalidValue);
    return static_cast<std::int64_t>(scaled);
}

double TReader::ReadDate() { return static_cast<double>(ReadFloat()); }

bool TReader::ReadBoolean() {
    TValueType t = ReadValue();
    if (t == vaTrue) return true;
    if (t == vaFalse) return false;
    if (IsIntType(t)) return ReadIntValue(t) != 0;
    ReadError(kInvalidValue);
}

std::string TReader::ReadStr() {
    std::size_t len = Byte();
    return Bytes(len);
}

std::string TReader::ReadString() {
    TValueType t = ReadValue();
    switch (t) {
        case vaString:
        case vaLString: {
            std::size_t len = t == vaString ? Byte() : LE32(Bytes(4).data());
            std::string s = Bytes(len);
            // Streams of the original program hold code page 1252 here;
            // ours and other UTF-8 writers hold UTF-8.
            return utf8::IsValid(s) ? s : Cp1252ToUtf8(s);
        }
        case vaUTF8String: {
            std::string s = Bytes(LE32(Bytes(4).data()));
            return utf8::IsValid(s) ? s : utf8::Repair(s);
        }
        case vaWString:
        case vaUString: {
            std::uint32_t units = LE32(Bytes(4).data());
            if (units > (buffer_.size() - pos_) / 2) ReadError(kReadError);
            return Utf16ToUtf8(Bytes(std::size_t(units) * 2));
        }
        default: ReadError(kInvalidValue);
    }
}

Variant TReader::ReadVariant() {
    DepthGuard depth(depth_);
    TValueType t = NextValue();
    switch (t) {
        case vaNil: ReadValue(); return Unassigned();
        case vaNull: ReadValue(); return Null();
        case vaInt8: return Variant(static_cast<signed char>(ReadInt64()));
        case vaInt16: return Variant(static_cast<short>(ReadInt64()));
        case vaInt32: return Variant(static_cast<int>(ReadInt64()));
        case vaInt64: return Variant(static_cast<long long>(ReadInt64()));
        case vaQWord: {
            ReadValue();
            std::uint64_t v = LE64(Bytes(8).data());
            if (v > static_cast<std::uint64_t>(INT64_MAX)) ReadError(kInvalidValue);
            return Variant(static_cast<long long>(v));
        }
        case vaExtended: return Variant(static_cast<double>(ReadFloat()));
        case vaSingle: return Variant(static_cast<float>(ReadFloat()));
        case vaCurrency: return Variant(Currency::FromRaw(ReadCurrency()));
        case vaDate: return Variant::FromDateTime(ReadDate());
        case vaFalse:
        case vaTrue: return Variant(ReadBoolean());
        case vaString:
        case vaLString:
        case vaUTF8String: return Variant(ReadString());
        case vaWString: return Variant::FromString(ReadString(), varOleStr);
        case vaUString: return Variant::FromString(ReadString(), varUString);
        case vaIdent: {
            // The text form has no Null value of its own: the word comes
            // back as an identifier.
            std::size_t start = pos_;
            if (SameName(ReadIdent(), "Null")) return Null();
            pos_ = start;
            ReadError(kInvalidValue);
        }
        case vaList: {
            ReadValue();
            std::vector<Variant> items;
            while (!EndOfList()) items.push_back(ReadVariant());
            ReadListEnd();
            return VarArrayOf(items);
        }
        default: ReadError(kInvalidValue);
    }
}

std::string TReader::ReadIdent() {
    TValueType t = ReadValue();
    switch (t) {
        case vaIdent: return ReadStr();
        case vaFalse: return "False";
        case vaTrue: return "True";
        case vaNil: return "nil";
        case vaNull: return "Null";
        default: ReadError(kInvalidValue);
    }
}

void TReader::SkipValue() {
    DepthGuard depth(depth_);
    TValueType t = ReadValue();
    switch (t) {
        case vaNull:
        case vaFalse:
        case vaTrue:
        case vaNil: return;
        case vaList:
            while (!EndOfList()) SkipValue();
            ReadListEnd();
            return;
        case vaInt8: Bytes(1); return;
        case vaInt16: Bytes(2); return;
        case vaInt32:
        case vaSingle: Bytes(4); return;
        case vaInt64:
        case vaQWord:
        case vaCurrency:
        case vaDate: Bytes(8); return;
        case vaExtended: Bytes(10); return;
        case vaIdent: ReadStr(); return;
        case vaString:
        case vaLString:
        case vaWString:
        case vaUString:
        case vaUTF8String:
            --pos_;
            ReadString();
            return;
        case vaBinary: Bytes(LE32(Bytes(4).data())); return;
        case vaSet:
            while (!ReadStr().empty()) {
            }
            return;
        case vaCollection:
            while (!EndOfList()) {
                if (IsIntType(NextValue())) ReadInt64();
                ReadListBegin();
                while (!EndOfList()) {
                    ReadStr();
                    SkipValue();
                }
                ReadListEnd();
            }
            ReadListEnd();
            return;
    }
}

void TReader::ReadSignature() {
    if (buffer_.size() - pos_ < 4 || buffer_.compare(pos_, 4, "TPF0") != 0) InvalidImage();
    pos_ += 4;
}

void TReader::ReadPrefix(TFilerFlags& Flags, int& ChildPos) {
    Flags = TFilerFlags();
    ChildPos = 0;
    Need(1);
    auto b = static_cast<std::uint8_t>(buffer_[pos_]);
    if ((b & 0xF0) != 0xF0) return;
    ++pos_;
    Flags = TFilerFlags::FromBits(b & 0x07);
    if (Flags.Contains(ffChildPos)) ChildPos = ReadInteger();
}

const std::any* TReader::FindMethod(TComponent* Root, const std::string& MethodName) {
    const std::any* address = Root ? Root->MethodAddress(MethodName) : nullptr;
    if (address == nullptr && OnFindMethod) {
        bool error = true;
        OnFindMethod(this, MethodName, address, error);
    }
    return address;
}

TComponent* TReader::ReadRootComponent(TComponent* Root) {
    ReadSignature();
    TComponent* result = Root;
    bool created = false;
    fixups_.clear();
    loaded_.clear();
    unresolved_.clear();
    try {
        TFilerFlags flags;
        int childPos = 0;
        ReadPrefix(flags, childPos);
        std::string className = ReadStr();
        std::string name = ReadStr();
        if (result == nullptr) {
            TClass cls = GetClass(className);
            if (OnFindComponentClass) OnFindComponentClass(this, className, cls);
            if (cls == nullptr) ReadError("Class " + className + " not found");
            if (!cls->IsComponent || !cls->Create) ReadError("Invalid property value");
            result = static_cast<TComponent*>(cls->Create(nullptr));
            created = true;
        }
        root_ = result;
        lookupRoot_ = result;
        owner_ = result;
        result->SetComponentStateFlag(csLoading, true);
        result->SetComponentStateFlag(csReading, true);
        if (OnSetName) OnSetName(this, result, name);
        result->SetName(name);
        loaded_.push_back(result);
        result->ReadState(this);
        EndLoad();
        return result;
    } catch (...) {
        fixups_.clear();
        loaded_.clear();
        if (created)
            delete result;
        else if (result != nullptr)
            ClearLoadingFlags(result);
        RethrowAsReadError();
    }
}

void TReader::ReadComponents(TComponent* AOwner, TComponent* AParent,
                             const std::function<void(TComponent*)>& Proc) {
    SetRoot(AOwner);
    owner_ = AOwner;
    parent_ = AParent;
    fixups_.clear();
    loaded_.clear();
    unresolved_.clear();
    try {
        while (!EndOfList()) {
            ReadSignature();
            TComponent* c = ReadComponent(nullptr);
            if (Proc) Proc(c);
        }
        ReadListEnd();
        EndLoad();
    } catch (...) {
        fixups_.clear();
        loaded_.clear();
        if (AOwner != nullptr) ClearLoadingFlags(AOwner);
        RethrowAsReadError();
    }
}

TComponent* TReader::ReadComponent(TComponent* Component) {
    DepthGuard depth(depth_);
    TFilerFlags flags;
    int childPos = 0;
    ReadPrefix(flags, childPos);
    std::string className = ReadStr();
    std::string name = ReadStr();
    TComponent* result = Component;
    bool created = false;
    if (result == nullptr) {
        if (flags.Contains(ffInherited)) {
            result = owner_ ? owner_->FindComponent(name) : nullptr;
            if (result == nullptr) ReadError("Ancestor for '" + name + "' not found");
        } else {
            TClass cls = GetClass(className);
            if (OnFindComponentClass) OnFindComponentClass(this, className, cls);
            if (cls == nullptr) ReadError("Class " + className + " not found");
            if (!cls->IsComponent || !cls->Create) ReadError(kInvalidValue);
            result = static_cast<TComponent*>(cls->Create(owner_));
            created = true;
        }
    }
    try {
        result->SetComponentStateFlag(csLoading, true);
        result->SetComponentStateFlag(csReading, true);
        if (flags.Contains(ffInline)) result->SetInline(true);
        if (created) {
            if (OnSetName) OnSetName(this, result, name);
            try {
                result->SetName(name);
            } catch (const EComponentError& e) {
                ReadError(e.Message());
            }
        }
        // One made here cannot be in the list yet: a stream of thousands of
        // components is not searched once for each.
        if (created || std::find(loaded_.begin(), loaded_.end(), result) == loaded_.end()) loaded_.push_back(result);
        if (parent_ != nullptr && parent_ != result) result->SetParentComponent(parent_);
        if (flags.Contains(ffChildPos) && parent_ != nullptr) parent_->SetChildOrder(result, childPos);
        result->ReadState(this);
    } catch (...) {
        if (created) {
            // Pushed last, unless its own children followed it.
            if (auto it = std::find(loaded_.rbegin(), loaded_.rend(), result); it != loaded_.rend())
                loaded_.erase(std::next(it).base());
            delete result;
        }
        throw;
    }
    return result;
}

void TReader::ReadData(TComponent* Instance) { ReadDataInner(Instance); }

void TReader::ReadDataInner(TComponent* Instance) {
    while (!EndOfList()) ReadProperty(Instance);
    ReadListEnd();
    TComponent* oldParent = parent_;
    TComponent* oldOwner = owner_;
    parent_ = Instance->GetChildParent();
    owner_ = Instance->GetChildOwner();
    if (owner_ == nullptr) owner_ = root_;
    try {
        while (!EndOfList()) ReadComponent(nullptr);
        ReadListEnd();
    } catch (...) {
        parent_ = oldParent;
        owner_ = oldOwner;
        throw;
    }
    parent_ = oldParent;
    owner_ = oldOwner;
}

void TReader::ReadProperty(TPersistent* Instance) {
    std::string path = ReadStr();
    TPersistent* target = Instance;
    std::string last = path;
    try {
        for (std::size_t dot = last.find('.'); dot != std::string::npos; dot = last.find('.')) {
            std::string seg = last.substr(0, dot);
            last = last.substr(dot + 1);
            const TPropInfo* p = GetPropInfo(target, seg);
            TObject* obj = (p && p->Kind() == tkClass && p->GetObject) ? p->GetObject(target) : nullptr;
            // Only owned persistents are entered: a path through a component
            // reference would write into another component.
            target = dynamic_cast<TComponent*>(obj) ? nullptr : dynamic_cast<TPersistent*>(obj);
            if (target == nullptr) break;
        }
        const TPropInfo* prop = target ? GetPropInfo(target, last) : nullptr;
        if (prop != nullptr) {
            ReadPropValue(target, prop);
            return;
        }
        if (target != nullptr) {
            propName_ = last;
            propFound_ = false;
            target->DefineProperties(this);
            bool found = propFound_;
            propName_.clear();
            if (found) return;
        }
    } catch (const EReadError&) {
        throw;
    } catch (const Exception& e) {
        std::string where = Instance->GetNamePath();
        throw EReadError("Error reading " + where + (where.empty() ? "" : ".") + path + ": " + e.Message());
    }
    Error("Property " + path + " does not exist");
    SkipValue();
}

void TReader::DefineProperty(const std::string& Name, const TReaderProc& ReadData, const TWriterProc&, bool) {
    if (propFound_ || propName_.empty() || !SameName(Name, propName_) || !ReadData) return;
    propFound_ = true;
    ReadData(this);
}

void TReader::DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData, const TStreamProc&, bool) {
    if (propFound_ || propName_.empty() || !SameName(Name, propName_) || !ReadData) return;
    propFound_ = true;
    if (NextValue() != vaBinary) {
        Error(kInvalidValue);
        SkipValue();
        return;
    }
    ReadValue();
    std::string bytes = Bytes(LE32(Bytes(4).data()));
    TMemoryStream data;
    data.WriteBytes(bytes);
    data.SetPosition(0);
    ReadData(&data);
}

void TReader::ReadPropValue(TPersistent* Instance, const TPropInfo* Prop) {
    const TTypeInfo* type = Prop->PropType;
    TValueType next = NextValue();
    auto invalid = [&] {
        Error(kInvalidValue);
        SkipValue();
    };
    // A value of the right kind for a property without a setter.
    auto readOnly = [&] {
        Error("Property is read-only");
        SkipValue();
    };
    switch (type->Kind) {
        case tkInteger:
        case tkChar:
        case tkWChar: {
            std::int64_t v = 0;
            if (IsIntType(next)) {
                if (!Prop->SetOrd) return readOnly();
                v = ReadInt64();
            } else if (type->Kind != tkInteger && IsStringType(next)) {
                if (!Prop->SetOrd) return readOnly();
                std::string s = ReadString();
                std::size_t at = 0;
                v = s.empty() ? 0 : static_cast<std::int64_t>(utf8::Next(s, at));
            } else if (type->Kind == tkInteger && next == vaIdent && type->IdentToInt) {
                if (!Prop->SetOrd) return readOnly();
                if (!type->IdentToInt(ReadIdent(), v)) return Error(kInvalidValue);
            } else {
                return invalid();
            }
            if (v < type->MinValue || v > type->MaxValue) return Error(kInvalidValue);
            Prop->SetOrd(Instance, v);
            return;
        }
        case tkEnumeration: {
            if (!Prop->SetOrd) return readOnly();
            std::int64_t v;
            if (IsIntType(next)) {
                v = ReadInt64();
            } else if (next == vaIdent || next == vaTrue || next == vaFalse) {
                v = GetEnumValue(type, ReadIdent());
            } else {
                return invalid();
            }
            if (v < type->MinValue || v > type->MaxValue) return Error(kInvalidValue);
            Prop->SetOrd(Instance, v);
            return;
        }
        case tkSet: {
            if (next != vaSet) return invalid();
            if (!Prop->SetOrd) return readOnly();
            ReadValue();
            std::uint64_t bits = 0;
            bool bad = false;
            for (std::string n = ReadStr(); !n.empty(); n = ReadStr()) {
                int e = GetEnumValue(type, n);
                if (e < 0 || e >= 64)
                    bad = true;
                else
                    bits |= std::uint64_t{1} << e;
            }
            if (bad) return Error(kInvalidValue);
            Prop->SetOrd(Instance, static_cast<std::int64_t>(bits));
            return;
        }
        case tkInt64: {
            if (!IsIntType(next)) return invalid();
            if (!Prop->SetInt64) return readOnly();
            Prop->SetInt64(Instance, ReadInt64());
            return;
        }
        case tkFloat: {
            if (!IsFloatType(next) && !IsIntType(next)) return invalid();
            if (type->FloatType == ftCurr) {
                if (!Prop->SetInt64) return readOnly();
                Prop->SetInt64(Instance, ReadCurrency());
            } else {
                if (!Prop->SetFloat) return readOnly();
                Prop->SetFloat(Instance, ReadFloat());
            }
            return;
        }
        case tkString:
        case tkLString:
        case tkWString:
        case tkUString: {
            if (!IsStringType(next)) return invalid();
            if (!Prop->SetStr) return readOnly();
            Prop->SetStr(Instance, ReadString());
            return;
        }
        case tkVariant: {
            if (!Prop->SetVariant) return readOnly();
            std::size_t start = pos_;
            Variant v;
            try {
                v = ReadVariant();
            } catch (const EReadError&) {
                // A value of no variant kind (an identifier, a set): the
                // error handler decides, and the value is stepped over.
                pos_ = start;
                return invalid();
            }
            Prop->SetVariant(Instance, v);
            return;
        }
        case tkMethod: {
            if (!Prop->SetMethod) return invalid();
            if (next == vaNil || next == vaNull) {
                ReadValue();
                Prop->SetMethod(Instance, nullptr, "");
                return;
            }
            if (next != vaIdent) return invalid();
            std::string name = ReadIdent();
            const std::any* handler = FindMethod(root_, name);
            if (handler == nullptr || !Prop->SetMethod(Instance, handler, name)) return Error(kInvalidValue);
            return;
        }
        case tkClass: {
            if (next == vaCollection) {
                TObject* obj = Prop->GetObject ? Prop->GetObject(Instance) : nullptr;
                if (auto* coll = dynamic_cast<TCollection*>(obj)) {
                    ReadValue();
                    ReadCollection(coll);
                    return;
                }
                if (auto* list = dynamic_cast<TStreamedItemList*>(obj)) {
                    ReadValue();
                    ReadItemList(list);
                    return;
                }
                return invalid();
            }
            bool isReference = type->ClassType != nullptr && type->ClassType->InheritsFrom(TComponent::StaticClassType());
            if (next == vaNil) {
                if (!isReference || !Prop->SetObject) return invalid();
                ReadValue();
                Prop->SetObject(Instance, nullptr);
                return;
            }
            if (next == vaIdent) {
                if (!isReference || !Prop->SetObject) return invalid();
                std::string name = ReadIdent();
                if (OnReferenceName) OnReferenceName(this, name);
                fixups_.push_back({Instance, Prop, name, root_});
                return;
            }
            return invalid();
        }
        default: return invalid();
    }
}

void TReader::ReadCollection(TCollection* Collection) {
    DepthGuard depth(depth_);
    // Reading the same collection twice would free items that pending
    // references still point into.
    ClearFixupsOf(Collection);
    Collection->BeginUpdate();
    struct EndUpdate {
        TCollection* c;
        ~EndUpdate() { c->EndUpdate(); }
    } end{Collection};
    Collection->Clear();
    std::size_t first = fixups_.size();
    while (!EndOfList()) {
        if (IsIntType(NextValue())) ReadInt64();  // an item's position, kept by order anyway
        ReadListBegin();
        TCollectionItem* item = Collection->Add();
        while (!EndOfList()) ReadProperty(item);
        ReadListEnd();
    }
    ReadListEnd();
    collectionFixups_[Collection] = {first, fixups_.size()};
}

void TReader::ReadItemList(TStreamedItemList* List) {
    DepthGuard depth(depth_);
    ClearFixupsOf(List);
    List->StreamClear();
    std::size_t first = fixups_.size();
    while (!EndOfList()) {
        if (IsIntType(NextValue())) ReadInt64();
        ReadListBegin();
        TPersistent* item = List->StreamAdd();
        while (!EndOfList()) ReadProperty(item);
        ReadListEnd();
    }
    ReadListEnd();
    collectionFixups_[List] = {first, fixups_.size()};
}

void TReader::ClearFixupsOf(const void* List) {
    auto it = collectionFixups_.find(List);
    if (it == collectionFixups_.end()) return;
    for (std::size_t i = it->second.first; i < it->second.second && i < fixups_.size(); ++i)
        fixups_[i].instance = nullptr;
    collectionFixups_.erase(it);
}

TComponent* TReader::FindReference(const std::string& Name, TComponent* Root) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t dot = Name.find('.');; dot = Name.find('.', start)) {
        parts.push_back(Name.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    TComponent* c = Root ? Root->FindComponent(parts[0]) : nullptr;
    if (c == nullptr && Root != nullptr && (SameName(parts[0], "Owner") || SameName(parts[0], Root->Name())))
        c = Root;
    if (c == nullptr) c = FindGlobalComponent(parts[0]);
    for (std::size_t i = 1; c != nullptr && i < parts.size(); ++i) c = c->FindComponent(parts[i]);
    return c;
}

void TReader::EndLoad() {
    FixupReferences();
    std::vector<TComponent*> loaded;
    loaded.swap(loaded_);
    for (TComponent* c : loaded) c->SetComponentStateFlag(csReading, false);
    for (TComponent* c : loaded) c->Loaded();
}

void TReader::FixupReferences() {
    std::vector<Fixup> fixups;
    fixups.swap(fixups_);
    collectionFixups_.clear();
    for (const Fixup& f : fixups) {
        if (f.instance == nullptr) continue;
        TComponent* target = FindReference(f.name, f.root);
        if (target == nullptr) {
            unresolved_.push_back(f.name);
            continue;
        }
        try {
            f.prop->SetObject(f.instance, target);
        } catch (const EInvalidCast&) {
            Error(kInvalidValue);
        }
    }
}

// ---------------------------------------------------------------------------
// TWriter

TWriter::TWriter(TStream* Stream) : TFiler(Stream) {}

TWriter::~TWriter() {
    try {
        FlushBuffer();
    } catch (...) {
    }
}

void TWriter::FlushBuffer() {
    if (buffer_.empty()) return;
    std::string data;
    data.swap(buffer_);
    stream_->WriteBytes(data);
}

void TWriter::WriteValue(TValueType Value) { buffer_.push_back(static_cast<char>(Value)); }
void TWriter::WriteListBegin() { WriteValue(vaList); }
void TWriter::WriteListEnd() { WriteValue(vaNull); }

void TWriter::WriteInteger(std::int64_t Value) {
    if (Value >= INT8_MIN && Value <= INT8_MAX) {
        WriteValue(vaInt8);
        PutLE(buffer_, static_cast<std::uint64_t>(Value), 1);
    } else if (Value >= INT16_MIN && Value <= INT16_MAX) {
        WriteValue(vaInt16);
        PutLE(buffer_, static_cast<std::uint64_t>(Value), 2);
    } else if (Value >= INT32_MIN && Value <= INT32_MAX) {
        WriteValue(vaInt32);
        PutLE(buffer_, static_cast<std::uint64_t>(Value), 4);
    } else {
        WriteValue(vaInt64);
        PutLE(buffer_, static_cast<std::uint64_t>(Value), 8);
    }
}

void TWriter::WriteFloat(long double Value) {
    WriteValue(vaExtended);
    buffer_ += filer::EncodeExtended(Value);
}

void TWriter::WriteSingle(float Value) {
    std::uint32_t bits;
    std::memcpy(&bits, &Value, 4);
    WriteValue(vaSingle);
    PutLE(buffer_, bits, 4);
}

void TWriter::WriteCurrency(std::int64_t Raw) {
    WriteValue(vaCurrency);
    PutLE(buffer_, static_cast<std::uint64_t>(Raw), 8);
}

void TWriter::WriteDate(double Value) {
    std::uint64_t bits;
    std::memcpy(&bits, &Value, 8);
    WriteValue(vaDate);
    PutLE(buffer_, bits, 8);
}

void TWriter::WriteBoolean(bool Value) { WriteValue(Value ? vaTrue : vaFalse); }

void TWriter::WriteString(const std::string& Value) {
    if (IsAscii(Value)) {
        if (Value.size() <= 255) {
            WriteValue(vaString);
            PutLE(buffer_, Value.size(), 1);
        } else {
            WriteValue(vaLString);
            PutLE(buffer_, Value.size(), 4);
        }
        buffer_ += Value;
        return;
    }
    std::string units = Utf8ToUtf16(Value);
    WriteValue(vaUString);
    PutLE(buffer_, units.size() / 2, 4);
    buffer_ += units;
}

void TWriter::WriteUTF8Str(const std::string& Value) {
    WriteValue(vaUTF8String);
    PutLE(buffer_, Value.size(), 4);
    buffer_ += Value;
}

void TWriter::WriteIdent(const std::string& Ident) {
    if (SameName(Ident, "False"))
        WriteValue(vaFalse);
    else if (SameName(Ident, "True"))
        WriteValue(vaTrue);
    else if (SameName(Ident, "nil"))
        WriteValue(vaNil);
    else {
        WriteValue(vaIdent);
        WriteStr(Ident);
    }
}

void TWriter::WriteStr(const std::string& Value) {
    if (Value.size() > 255) throw EWriteError("Name too long: " + Value.substr(0, 40) + "...");
    PutLE(buffer_, Value.size(), 1);
    buffer_ += Value;
}

void TWriter::WriteBinary(const std::string& Bytes) {
    WriteValue(vaBinary);
    PutLE(buffer_, Bytes.size(), 4);
    buffer_ += Bytes;
}

void TWriter::WriteVariant(const Variant& Value) {
    if (Value.IsArray()) {
        WriteListBegin();
        for (int i = Value.LowBound(); i <= Value.HighBound(); ++i) {
            const Variant item = Value.GetElement(i);
            // Null's value byte is the list's end: the array would end there.
            if (item.IsNull()) throw EWriteError("A variant array holding Null cannot be stored");
            WriteVariant(item);
        }
        WriteListEnd();
        return;
    }
    switch (Value.VarType()) {
        case varEmpty: WriteValue(vaNil); return;
        case varNull: WriteValue(vaNull); return;
        case varShortInt:
        case varByte:
        case varSmallint:
        case varWord:
        case varInteger:
        case varLongWord:
        case varInt64: WriteInteger(Value.AsInt64()); return;
        case varSingle: WriteSingle(static_cast<float>(Value.AsDouble())); return;
        case varDouble: WriteFloat(Value.AsDouble()); return;
        case varCurrency: WriteCurrency(Value.AsCurrency().Raw()); return;
        case varDate: WriteDate(Value.AsDateTime()); return;
        case varBoolean: WriteBoolean(Value.AsBoolean()); return;
        case varOleStr: {
            // A wide text stays wide, as the class library writes it.
            std::string units = Utf8ToUtf16(Value.AsString());
            WriteValue(vaWString);
            PutLE(buffer_, units.size() / 2, 4);
            buffer_ += units;
            return;
        }
        case varString:
        case varUString: WriteString(Value.AsString()); return;
        default: throw EWriteError("Invalid variant type: " + VarTypeAsText(Value.VarType()));
    }
}

void TWriter::WriteSignature() { buffer_ += "TPF0"; }

void TWriter::WritePrefix(TFilerFlags Flags, int ChildPos) {
    if (Flags.Empty()) return;
    buffer_.push_back(static_cast<char>(0xF0 | Flags.Bits()));
    if (Flags.Contains(ffChildPos)) WriteInteger(ChildPos);
}

void TWriter::WriteRootComponent(TComponent* Root) {
    SetRoot(Root);
    WriteSignature();
    WriteComponent(Root);
    FlushBuffer();
}

void TWriter::WriteComponent(TComponent* Component) {
    StateFlag writing(Component, csWriting);
    TFilerFlags flags;
    if (Component->ComponentState().Contains(csInline)) flags.Include(ffInline);
    if (Component != root_ && Component->ComponentState().Contains(csAncestor)) flags.Include(ffInherited);
    WritePrefix(flags, 0);
    WriteStr(Component->ClassName());
    WriteStr(Component->Name());
    Component->WriteState(this);
}

void TWriter::WriteData(TComponent* Instance) {
    WriteProperties(Instance);
    WriteListEnd();
    Instance->GetChildren([this](TComponent* child) { WriteComponent(child); }, root_);
    WriteListEnd();
}

void TWriter::WriteProperties(TPersistent* Instance) {
    TClass cls = Instance->ClassType();
    if (cls != nullptr)
        for (const TPropInfo* p : cls->PropList())
            if (IsStoredProp(Instance, p)) WriteProperty(Instance, p);
    Instance->DefineProperties(this);
}

void TWriter::WritePropName(const std::string& Name) { WriteStr(propPath_ + Name); }

std::string TWriter::ReferenceName(TComponent* Value) const {
    if (Value == lookupRoot_) return "Owner";
    std::string path;
    for (TComponent* c = Value; c != nullptr && c != lookupRoot_; c = c->Owner()) {
        if (c->Name().empty()) return {};
        path = path.empty() ? c->Name() : c->Name() + "." + path;
    }
    return path;
}

void TWriter::WriteProperty(TPersistent* Instance, const TPropInfo* Prop) {
    const TTypeInfo* type = Prop->PropType;
    switch (type->Kind) {
        case tkInteger:
        case tkChar:
        case tkWChar:
        case tkEnumeration:
        case tkSet: {
            if (!Prop->GetOrd) return;
            std::int64_t v = Prop->GetOrd(Instance);
            if (Prop->Default != NoDefault && v == Prop->Default) return;
            WritePropName(Prop->Name);
            std::string ident;
            if (type->Kind == tkInteger && type->IntToIdent && type->IntToIdent(v, ident)) {
                WriteIdent(ident);
            } else if (type->Kind == tkInteger) {
                WriteInteger(v);
            } else if (type->Kind == tkChar || type->Kind == tkWChar) {
                WriteString(utf8::Encode(static_cast<char32_t>(v)));
            } else if (type->Kind == tkEnumeration) {
                if (type == TypeInfoBoolean())
                    WriteBoolean(v != 0);
                else
                    WriteIdent(GetEnumName(type, v));
            } else {
                WriteValue(vaSet);
                for (std::size_t i = 0; i < type->EnumNames.size() && i < 64; ++i)
                    if (static_cast<std::uint64_t>(v) & (std::uint64_t{1} << i)) WriteStr(type->EnumNames[i]);
                WriteStr("");
            }
            return;
        }
        case tkInt64: {
            if (!Prop->GetInt64) return;
            std::int64_t v = Prop->GetInt64(Instance);
            if (Prop->Default != NoDefault && v == Prop->Default) return;
            WritePropName(Prop->Name);
            WriteInteger(v);
            return;
        }
        case tkFloat: {
            if (type->FloatType == ftCurr) {
                if (!Prop->GetInt64) return;
                std::int64_t raw = Prop->GetInt64(Instance);
                if (Prop->Default != NoDefault && raw == Prop->Default) return;
                WritePropName(Prop->Name);
                WriteFloat(static_cast<long double>(raw) / 10000.0L);
                return;
            }
            if (!Prop->GetFloat) return;
            long double v = Prop->GetFloat(Instance);
            if (v == 0) return;
            WritePropName(Prop->Name);
            WriteFloat(v);
            return;
        }
        case tkString:
        case tkLString:
        case tkWString:
        case tkUString: {
            if (!Prop->GetStr) return;
            std::string s = Prop->GetStr(Instance);
            if (s.empty()) return;
            WritePropName(Prop->Name);
            WriteString(s);
            return;
        }
        case tkVariant: {
            if (!Prop->GetVariant) return;
            Variant v = Prop->GetVariant(Instance);
            if (v.IsEmpty()) return;
            WritePropName(Prop->Name);
            WriteVariant(v);
            return;
        }
        case tkMethod: {
            if (!Prop->GetMethodName) return;
            std::string name = Prop->GetMethodName(Instance);
            if (name.empty()) return;
            WritePropName(Prop->Name);
            WriteIdent(name);
            return;
        }
        case tkClass: {
            if (!Prop->GetObject) return;
            TObject* obj = Prop->GetObject(Instance);
            if (obj == nullptr) return;
            if (auto* comp = dynamic_cast<TComponent*>(obj)) {
                std::string name = ReferenceName(comp);
                if (name.empty()) return;
                WritePropName(Prop->Name);
                WriteIdent(name);
            } else if (auto* coll = dynamic_cast<TCollection*>(obj)) {
                WritePropName(Prop->Name);
                WriteCollection(coll);
            } else if (auto* list = dynamic_cast<TStreamedItemList*>(obj)) {
                // An empty list is the default and is left out, as the
                // class library leaves out a collection with no items.
                if (list->StreamCount() == 0) return;
                WritePropName(Prop->Name);
                WriteItemList(list);
            } else if (auto* sub = dynamic_cast<TPersistent*>(obj)) {
                std::string old = propPath_;
                propPath_ += Prop->Name + ".";
                Finally restorePath([&] { propPath_ = old; });
                WriteProperties(sub);
            }
            return;
        }
        default: return;
    }
}

void TWriter::WriteCollection(TCollection* Value) {
    WriteValue(vaCollection);
    {
        std::string old = propPath_;
        propPath_.clear();
        Finally restorePath([&] { propPath_ = old; });
        if (Value != nullptr)
            for (int i = 0; i < Value->Count(); ++i) {
                WriteListBegin();
                WriteProperties(Value->Items(i));
                WriteListEnd();
            }
    }
    WriteListEnd();
}

void TWriter::WriteItemList(TStreamedItemList* Value) {
    WriteValue(vaCollection);
    {
        std::string old = propPath_;
        propPath_.clear();
        Finally restorePath([&] { propPath_ = old; });
        for (int i = 0; i < Value->StreamCount(); ++i) {
            WriteListBegin();
            WriteProperties(Value->StreamItem(i));
            WriteListEnd();
        }
    }
    WriteListEnd();
}

void TWriter::DefineProperty(const std::string& Name, const TReaderProc&, const TWriterProc& WriteData, bool HasData) {
    if (!HasData || !WriteData) return;
    WritePropName(Name);
    WriteData(this);
}

void TWriter::DefineBinaryProperty(const std::string& Name, const TStreamProc&, const TStreamProc& WriteData,
                                   bool HasData) {
    if (!HasData || !WriteData) return;
    TMemoryStream data;
    WriteData(&data);
    WritePropName(Name);
    WriteBinary(data.DataBytes());
}

// ---------------------------------------------------------------------------
// Stream helpers

TComponent* ReadComponent(TStream& Stream, TComponent* Instance) {
    TReader reader(&Stream);
    return reader.ReadRootComponent(Instance);
}

void WriteComponent(TStream& Stream, TComponent* Instance) {
    TWriter writer(&Stream);
    writer.WriteRootComponent(Instance);
}

TStreamOriginalFormat TestStreamFormat(TStream& Stream) {
    std::int64_t pos = Stream.Position();
    char head[16] = {};
    std::int64_t got = Stream.Read(head, sizeof head);
    Stream.SetPosition(pos);
    std::string s(head, static_cast<std::size_t>(got < 0 ? 0 : got));
    if (s.compare(0, 4, "TPF0") == 0) return sofBinary;
    TStreamOriginalFormat text = sofText;
    if (s.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        s.erase(0, 3);
        text = sofUTF8Text;
    }
    std::size_t i = s.find_first_not_of(" \t\r\n");
    if (i == std::string::npos) return sofUnknown;
    std::string word = Upper(s.substr(i));
    for (const char* kw : {"OBJECT", "INHERITED", "INLINE"})
        if (word.compare(0, std::strlen(kw), kw) == 0) return text;
    return sofUnknown;
}
