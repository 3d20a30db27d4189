#pragma once
// The component stream format: TWriter writes a component, its published and
// defined properties and the children it owns in the binary form that starts
// with "TPF0"; TReader reads it back, creating classes by name and fixing up
// references between components once everything is loaded.
// ObjectBinaryToText/ObjectTextToBinary convert to and from the text form
// ("object Form1: TForm1 ... end").
#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/rtl/Collection.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/TypInfo.h"

// A malformed text form; also an EReadError, so that callers that load
// either form catch one kind of failure.
FAT_DECLARE_EXCEPTION(EParserError, EReadError)

enum TValueType {
    vaNull,
    vaList,
    vaInt8,
    vaInt16,
    vaInt32,
    vaExtended,
    vaString,
    vaIdent,
    vaFalse,
    vaTrue,
    vaBinary,
    vaSet,
    vaLString,
    vaNil,
    vaCollection,
    vaSingle,
    vaCurrency,
    vaDate,
    vaWString,
    vaInt64,
    vaUTF8String,
    vaUString,
    vaQWord
};

enum TFilerFlag { ffInherited, ffChildPos, ffInline };
using TFilerFlags = TSet<TFilerFlag>;

class TReader;
class TWriter;
using TReaderProc = std::function<void(TReader* Reader)>;
using TWriterProc = std::function<void(TWriter* Writer)>;
using TStreamProc = std::function<void(TStream* Stream)>;

class TFiler : public TObject {
public:
    FAT_CLASS_NAME(TFiler)
    explicit TFiler(TStream* Stream) : stream_(Stream) {}

    // A property of the object that is not published: written when HasData,
    // read by ReadData when the stream names it.
    virtual void DefineProperty(const std::string& Name, const TReaderProc& ReadData, const TWriterProc& WriteData,
                                bool HasData) = 0;
    // The same for raw bytes (stored as a binary value).
    virtual void DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData,
                                      const TStreamProc& WriteData, bool HasData) = 0;

    TComponent* Root() const { return root_; }
    // The component whose owned components references are named against.
    virtual void SetRoot(TComponent* Value) {
        root_ = Value;
        lookupRoot_ = Value;
    }
    TComponent* LookupRoot() const { return lookupRoot_; }
    TStream* Stream() const { return stream_; }

protected:
    TStream* stream_;
    TComponent* root_ = nullptr;
    TComponent* lookupRoot_ = nullptr;
};

// Raised inside OnError handlers' reach; Handled = true skips the offending
// value and goes on reading.
using TReaderError = std::function<void(TReader* Reader, const std::string& Message, bool& Handled)>;
using TFindMethodEvent =
    std::function<void(TReader* Reader, const std::string& MethodName, const std::any*& Address, bool& Error)>;
using TFindComponentClassEvent =
    std::function<void(TReader* Reader, const std::string& ClassName, TClass& ComponentClass)>;
using TSetNameEvent = std::function<void(TReader* Reader, TComponent* Component, std::string& Name)>;
using TReferenceNameEvent = std::function<void(TReader* Reader, std::string& Name)>;

class TReader : public TFiler {
public:
    FAT_CLASS_NAME(TReader)
    // Reads from the stream's current position; afterwards the stream stands
    // just after what was read.
    explicit TReader(TStream* Stream);
    ~TReader() override;

    // Reads a whole stream: signature, root and children. Root nullptr
    // creates the root from its class name (the caller owns it). Raises
    // EReadError for anything the stream does not allow; a root this reader
    // created is freed then.
    TComponent* ReadRootComponent(TComponent* Root);
    // Reads one component (with its children) under the current owner.
    TComponent* ReadComponent(TComponent* Component);
    // Reads a list of whole streams, each with its signature, ended by an
    // end-of-list byte: every component is created under AOwner (also the
    // root references are resolved against), Proc hears of each top-level
    // one; references are fixed and Loaded called once all are read. On
    // failure the components read so far stay with AOwner.
    void ReadComponents(TComponent* AOwner, TComponent* AParent,
                        const std::function<void(TComponent*)>& Proc);
    // Reads the properties and children of Instance (TComponent::ReadState).
    void ReadData(TComponent* Instance);

    void DefineProperty(const std::string& Name, const TReaderProc& ReadData, const TWriterProc& WriteData,
                        bool HasData) override;
    void DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData, const TStreamProc& WriteData,
                              bool HasData) override;

    // Primitive values, for DefineProperty readers. Each raises EReadError
    // "Invalid property value" when the stream holds another kind of value.
    TValueType NextValue();
    TValueType ReadValue();
    bool EndOfList();
    void ReadListBegin();
    void ReadListEnd();
    std::int32_t ReadInteger();
    std::int64_t ReadInt64();
    long double ReadFloat();
    float ReadSingle();
    std::int64_t ReadCurrency();  // raw value times 10,000
    double ReadDate();
    bool ReadBoolean();
    std::string ReadString();  // UTF-8
    std::string ReadIdent();
    std::string ReadStr();     // a short name (property and class names)
    // Any value a variant can hold: nil is Unassigned, Null (the value, or
    // the identifier the text form turns it into) is Null, a list is a
    // variant array; other identifiers, sets and binary data are refused.
    Variant ReadVariant();
    void ReadCollection(TCollection* Collection);
    // The items of a list that streams as a collection, after vaCollection.
    void ReadItemList(TStreamedItemList* List);
    void SkipValue();
    void ReadSignature();
    void ReadPrefix(TFilerFlags& Flags, int& ChildPos);
    // Where the reader stands, to come back after looking ahead; a position
    // past what was read is clamped to its end.
    std::size_t Position() const { return pos_; }
    void SetPosition(std::size_t Value) { pos_ = Value < buffer_.size() ? Value : buffer_.size(); }
    // Finds a handler on the root (or through OnFindMethod); nullptr when none.
    const std::any* FindMethod(TComponent* Root, const std::string& MethodName);

    TComponent* Owner() const { return owner_; }
    void SetOwner(TComponent* Value) { owner_ = Value; }
    TComponent* Parent() const { return parent_; }
    // References that named no component found after the load ("Form2.Table1").
    const std::vector<std::string>& UnresolvedReferences() const { return unresolved_; }
    // Reports through OnError; raises EReadError when no handler handles it.
    void Error(const std::string& Message);

    TReaderError OnError;
    TFindMethodEvent OnFindMethod;
    TFindComponentClassEvent OnFindComponentClass;
    TSetNameEvent OnSetName;
    TReferenceNameEvent OnReferenceName;

private:
    struct Fixup {
        TPersistent* instance;
        const TPropInfo* prop;
        std::string name;
        TComponent* root;
    };

    void ReadProperty(TPersistent* Instance);
    void ReadPropValue(TPersistent* Instance, const TPropInfo* Prop);
    void ReadDataInner(TComponent* Instance);
    [[noreturn]] void ReadError(const std::string& Message);
    [[noreturn]] void InvalidImage();
    void Need(std::size_t count);
    std::uint8_t Byte();
    std::string Bytes(std::size_t count);
    std::int64_t ReadIntValue(TValueType t);
    long double ReadFloatValue(TValueType t);
    void FixupReferences();
    // Resolves the references and ends the reading state of what was read.
    void EndLoad();
    TComponent* FindReference(const std::string& Name, TComponent* Root);
    void ClearFixupsOf(const void* List);

    std::string buffer_;
    std::size_t pos_ = 0;
    std::int64_t streamStart_ = 0;
    int depth_ = 0;
    TComponent* owner_ = nullptr;
    TComponent* parent_ = nullptr;
    std::string propName_;  // the defined property being looked for
    bool propFound_ = false;
    std::vector<Fixup> fixups_;
    std::vector<TComponent*> loaded_;
    std::vector<std::string> unresolved_;
    // Per collection read in this load, the range of fixups its items made.
    std::map<const void*, std::pair<std::size_t, std::size_t>> collectionFixups_;
};

class TWriter : public TFiler {
public:
    FAT_CLASS_NAME(TWriter)
    // Writes at the stream's current position; everything is in the stream
    // once the writer is destroyed or FlushBuffer is called.
    explicit TWriter(TStream* Stream);
    ~TWriter() override;

    // Signature, Root and its children. Properties equal to their declared
    // default are left out; there is no comparison against an ancestor form:
    // a component flagged csAncestor is written whole as "inherited".
    void WriteRootComponent(TComponent* Root);
    // One component and its children, references named against Root().
    void WriteComponent(TComponent* Component);
    // Published then defined properties of Instance.
    void WriteProperties(TPersistent* Instance);
    void WriteData(TComponent* Instance);

    void DefineProperty(const std::string& Name, const TReaderProc& ReadData, const TWriterProc& WriteData,
                        bool HasData) override;
    void DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData, const TStreamProc& WriteData,
                              bool HasData) override;

    // Primitive values, for DefineProperty writers.
    void WriteValue(TValueType Value);
    void WriteListBegin();
    void WriteListEnd();
    void WriteInteger(std::int64_t Value);  // the smallest integer type that holds it
    void WriteFloat(long double Value);     // extended
    void WriteSingle(float Value);
    void WriteCurrency(std::int64_t Raw);
    void WriteDate(double Value);
    void WriteBoolean(bool Value);
    // ASCII text as a string value, any other text as UTF-16.
    void WriteString(const std::string& Value);
    void WriteUTF8Str(const std::string& Value);
    void WriteIdent(const std::string& Ident);
    void WriteStr(const std::string& Value);  // a short name
    void WriteBinary(const std::string& Bytes);
    // The value in its own kind: Unassigned as nil, Null as Null, whole
    // numbers in the smallest integer, double as extended, single, currency
    // and date as themselves, texts as strings (a wide text as a wide
    // string), arrays as lists (without Null elements, whose value byte
    // would end the list). EWriteError
    // for a kind the format has no value for.
    void WriteVariant(const Variant& Value);
    void WriteCollection(TCollection* Value);
    void WriteItemList(TStreamedItemList* Value);
    void WriteSignature();
    void WritePrefix(TFilerFlags Flags, int ChildPos);
    void FlushBuffer();

private:
    void WriteProperty(TPersistent* Instance, const TPropInfo* Prop);
    void WritePropName(const std::string& Name);
    std::string ReferenceName(TComponent* Value) const;

    std::string buffer_;
    std::string propPath_;
};

// Stream-level helpers.
TComponent* ReadComponent(TStream& Stream, TComponent* Instance);
void WriteComponent(TStream& Stream, TComponent* Instance);
// Binary to text from Input's position; EReadError for a corrupt stream.
void ObjectBinaryToText(TStream& Input, TStream& Output);
// Text (UTF-8, or code page 1252 bytes inside strings) to binary; EParserError
// "<what> on line <n>" for malformed text.
void ObjectTextToBinary(TStream& Input, TStream& Output);
// Reads a component from either form.
TComponent* ReadComponentAnyForm(TStream& Stream, TComponent* Instance);

enum TStreamOriginalFormat { sofUnknown, sofBinary, sofText, sofUTF8Text };
// Looks at the stream's next bytes without moving it: "TPF0" binary, "object",
// "inherited" or "inline" text (after a UTF-8 byte order mark: sofUTF8Text).
TStreamOriginalFormat TestStreamFormat(TStream& Stream);

// References to components outside the root being read ("Form2.Table1")
// are looked up through these procs, newest first.
void RegisterFindGlobalComponentProc(std::function<TComponent*(const std::string& Name)> Proc);
void ClearFindGlobalComponentProcs();
TComponent* FindGlobalComponent(const std::string& Name);

namespace filer {
// The 10-byte extended format: little-endian 64-bit mantissa with explicit
// integer bit, then sign and 15-bit exponent.
std::string EncodeExtended(long double Value);
long double DecodeExtended(const unsigned char* Bytes);
// The text form of a float: " 1.50000000000000000000E+0000", independent of
// the process's locale.
std::string FloatToText(long double Value);
// Parses a decimal float with "." whatever the locale; false when malformed.
bool TextToFloat(const std::string& Text, long double& Value);
}  // namespace filer
