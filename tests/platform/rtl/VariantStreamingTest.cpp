// Variant-valued published properties in the component stream, checked
// against streams the Free Pascal class library wrote
// (tests/data/rtl/streams/variantstreams.pas) and by round trips for what it
// cannot write.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Filer.h"
#include "tests/platform/rtl/StreamHelpers.h"
#include "tests/support/TestSupport.h"

namespace {

using streamtest::Ref;
using streamtest::Save;
using streamtest::ToBinary;
using streamtest::ToText;

class TVarSample : public TComponent {
public:
    explicit TVarSample(TComponent* AOwner) : TComponent(AOwner) {}
    FAT_CLASS(TVarSample)
    Variant VEmpty, VInt8, VInt16, VInt32, VInt64, VDouble, VBool, VStr, VWide, VArray;
};

TClass TVarSample::StaticClassType() {
    using S = TVarSample;
    static const TClassInfo info = TClassBuilder<S>("TVarSample", TComponent::StaticClassType())
                                       .VariantProp("VEmpty", &S::VEmpty, &S::VEmpty)
                                       .VariantProp("VInt8", &S::VInt8, &S::VInt8)
                                       .VariantProp("VInt16", &S::VInt16, &S::VInt16)
                                       .VariantProp("VInt32", &S::VInt32, &S::VInt32)
                                       .VariantProp("VInt64", &S::VInt64, &S::VInt64)
                                       .VariantProp("VDouble", &S::VDouble, &S::VDouble)
                                       .VariantProp("VBool", &S::VBool, &S::VBool)
                                       .VariantProp("VStr", &S::VStr, &S::VStr)
                                       .VariantProp("VWide", &S::VWide, &S::VWide)
                                       .VariantProp("VArray", &S::VArray, &S::VArray)
                                       .Build();
    return &info;
}

class TTypedSample : public TComponent {
public:
    explicit TTypedSample(TComponent* AOwner) : TComponent(AOwner) {}
    FAT_CLASS(TTypedSample)
    Variant VNull, VSingle, VCurr, VDate;
    Variant fixed;  // unassigned, so never written
    const Variant& Fixed() const { return fixed; }
};

TClass TTypedSample::StaticClassType() {
    using S = TTypedSample;
    static const TClassInfo info = TClassBuilder<S>("TTypedSample", TComponent::StaticClassType())
                                       .VariantProp("VNull", &S::VNull, &S::VNull)
                                       .VariantProp("VSingle", &S::VSingle, &S::VSingle)
                                       .VariantProp("VCurr", &S::VCurr, &S::VCurr)
                                       .VariantProp("VDate", &S::VDate, &S::VDate)
                                       .VariantProp("Fixed", &S::Fixed, nullptr)
                                       .Build();
    return &info;
}

// Bytes as hex, so that a difference shows where it is.
std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
        out += ' ';
    }
    return out;
}

template <class T>
std::unique_ptr<T> Load(const std::string& bytes) {
    RegisterClasses({TVarSample::StaticClassType(), TTypedSample::StaticClassType()});
    TStringStream s(bytes);
    return std::unique_ptr<T>(dynamic_cast<T*>(ReadComponent(s, nullptr)));
}

TEST(VariantStreaming, EveryValueKindOfTheOtherImplementationLoadsWithItsOwnType) {
    auto s = Load<TVarSample>(Ref("variants.bin"));
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->VEmpty.IsEmpty());
    struct Row {
        const Variant& value;
        TVarType type;
        Variant expected;
    };
    const Row rows[] = {
        {s->VInt8, varShortInt, Variant(-5)},
        {s->VInt16, varSmallint, Variant(300)},
        {s->VInt32, varInteger, Variant(70000)},
        {s->VInt64, varInt64, Variant(50000000000LL)},
        {s->VDouble, varDouble, Variant(2.5)},
        {s->VBool, varBoolean, Variant(true)},
        {s->VStr, varOleStr, Variant("abc")},
        {s->VWide, varOleStr, Variant("a\u00e7\u00e3o")},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.value.VarType(), r.type) << VarToStr(r.expected);
        EXPECT_TRUE(VarSameValue(r.value, r.expected)) << VarToStr(r.value) << " / " << VarToStr(r.expected);
    }

    auto t = Load<TTypedSample>(Ref("typedvariants.bin"));
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->VNull.IsNull());
    EXPECT_EQ(t->VSingle.VarType(), varDouble);  // it stores a single as extended
    EXPECT_EQ(t->VSingle.AsDouble(), 1.5);
    EXPECT_EQ(t->VCurr.VarType(), varCurrency);
    EXPECT_EQ(t->VCurr.AsCurrency().Raw(), 123400);
    EXPECT_EQ(t->VDate.VarType(), varDate);
    EXPECT_EQ(t->VDate.AsDouble(), 45366.5);
}

TEST(VariantStreaming, WriterReproducesTheOtherImplementationsStreamsByteForByte) {
    for (const char* file : {"variants.bin", "typedvariants.bin"}) {
        const std::string reference = Ref(file);
        auto c = Load<TComponent>(reference);
        ASSERT_NE(c, nullptr) << file;
        EXPECT_EQ(Hex(Save(c.get())), Hex(reference)) << file;
    }
}

TEST(VariantStreaming, TextFormsAgreeWithTheOtherImplementationAndKeepNull) {
    // Its text form, read by our converter, gives the same values.
    auto fromText = Load<TVarSample>(ToBinary(Ref("variants.txt")));
    auto fromBinary = Load<TVarSample>(Ref("variants.bin"));
    for (const char* name : {"VInt8", "VInt16", "VInt32", "VInt64", "VDouble", "VBool", "VStr", "VWide"}) {
        const Variant a = GetVariantProp(fromText.get(), name);
        const Variant b = GetVariantProp(fromBinary.get(), name);
        EXPECT_TRUE(VarSameValue(a, b)) << name << ": " << VarToStr(a) << " / " << VarToStr(b);
    }
    // Our text form of what it cannot convert: Null comes back as the
    // identifier its text converter makes of the word, and still loads as
    // Null; the other values come back as they were.
    const std::string typed = Ref("typedvariants.bin");
    const std::string text = ToText(typed);
    EXPECT_NE(text.find("VNull = Null\n"), std::string::npos) << text;
    EXPECT_NE(text.find("VCurr = 12.34c\n"), std::string::npos) << text;
    auto back = Load<TTypedSample>(ToBinary(text));
    EXPECT_TRUE(back->VNull.IsNull());
    EXPECT_EQ(Hex(Save(back.get())), Hex(typed));
}

TEST(VariantStreaming, ArraysNullAndUnassignedSurviveBothForms) {
    RegisterClasses({TVarSample::StaticClassType()});
    TVarSample s(nullptr);
    s.SetName("S");
    // Null's value byte ends a list: an array holding Null is refused, not
    // written as a shorter array.
    s.VArray = VarArrayOf({Variant(1), Null(), Variant(2)});
    EXPECT_THROW(Save(&s), EWriteError);
    s.VArray = VarArrayOf({Variant(1), Variant("x"), Variant(), VarArrayOf({Variant(true)})});
    s.VStr = Null();
    const std::string bin = Save(&s);
    EXPECT_EQ(bin.find("VEmpty"), std::string::npos);  // an unassigned value is not stored

    for (const std::string& bytes : {bin, ToBinary(ToText(bin))}) {
        auto back = Load<TVarSample>(bytes);
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(back->VEmpty.IsEmpty());
        EXPECT_TRUE(back->VStr.IsNull());
        ASSERT_TRUE(back->VArray.IsArray());
        ASSERT_EQ(back->VArray.HighBound() - back->VArray.LowBound(), 3);
        const int low = back->VArray.LowBound();
        EXPECT_EQ(back->VArray[low].AsInteger(), 1);
        EXPECT_EQ(back->VArray[low + 1].AsString(), "x");
        EXPECT_TRUE(back->VArray[low + 2].IsEmpty());
        ASSERT_TRUE(back->VArray[low + 3].IsArray());
        EXPECT_TRUE(back->VArray[low + 3][back->VArray[low + 3].LowBound()].AsBoolean());
    }
}

TEST(VariantStreaming, ValuesNoVariantHoldsAreErrorsTheHookCanSkip) {
    RegisterClasses({TTypedSample::StaticClassType()});
    const struct {
        const char* text;
        const char* message;
    } rows[] = {
        {"object X: TTypedSample\n  VNull = clRed\nend\n", "Invalid property value"},
        {"object X: TTypedSample\n  VNull = [a, b]\nend\n", "Invalid property value"},
        {"object X: TTypedSample\n  VNull = {00FF}\nend\n", "Invalid property value"},
        {"object X: TTypedSample\n  VNull = (1 clRed)\nend\n", "Invalid property value"},
        {"object X: TTypedSample\n  Fixed = 1\nend\n", "Property is read-only"},
    };
    for (const auto& r : rows) {
        try {
            Load<TTypedSample>(ToBinary(r.text));
            ADD_FAILURE() << "loaded: " << r.text;
        } catch (const EReadError& e) {
            EXPECT_EQ(e.Message(), r.message) << r.text;
        }
    }

    const std::string bin = ToBinary("object X: TTypedSample\n  VNull = (1 clRed)\n  VCurr = 2.5c\nend\n");
    TStringStream s(bin);
    TReader reader(&s);
    int errors = 0;
    reader.OnError = [&](TReader*, const std::string&, bool& handled) {
        ++errors;
        handled = true;
    };
    std::unique_ptr<TComponent> root(reader.ReadRootComponent(nullptr));
    auto* t = static_cast<TTypedSample*>(root.get());
    EXPECT_EQ(errors, 1);
    EXPECT_TRUE(t->VNull.IsEmpty());
    EXPECT_EQ(t->VCurr.AsCurrency().Raw(), 25000);
}

TEST(VariantStreaming, EveryTruncationOfAVariantStreamIsAReadError) {
    RegisterClasses({TVarSample::StaticClassType()});
    TVarSample s(nullptr);
    s.VArray = VarArrayOf({Variant(1), Variant("texto"), Variant(2.5)});
    s.VWide = Variant::FromString("a\u00e7\u00e3o", varOleStr);
    const std::string bin = Save(&s);
    for (std::size_t n = 0; n < bin.size(); ++n) {
        TStringStream in(bin.substr(0, n));
        EXPECT_THROW(std::unique_ptr<TComponent>(ReadComponent(in, nullptr)), EReadError) << n;
    }
}

}  // namespace
