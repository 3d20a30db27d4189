#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <map>
#include <memory>
#include <string>

#include "StreamingSample.h"
#include "tests/platform/rtl/StreamHelpers.h"
#include "tests/support/TestSupport.h"

using namespace streamtest;

namespace {

void RegisterSamples() { RegisterClasses({TSample::StaticClassType()}); }

std::unique_ptr<TSample> Load(const std::string& bytes) {
    RegisterSamples();
    TStringStream s(bytes);
    return std::unique_ptr<TSample>(static_cast<TSample*>(ReadComponent(s, nullptr)));
}

TSample* Child(TComponent* owner, const std::string& name) {
    return dynamic_cast<TSample*>(owner->FindComponent(name));
}

TEST(StreamingReference, LoadsEveryKindOfPropertyWrittenByTheOtherImplementation) {
    auto root = Load(Ref("full.bin"));
    EXPECT_EQ(root->Name(), "Form1");
    EXPECT_EQ(root->Tag(), 7);
    EXPECT_EQ(root->Count, -5);
    EXPECT_EQ(root->Big, 1234567890123);
    EXPECT_EQ(root->Ratio, 2.675);
    EXPECT_EQ(root->Small, 1.5f);
    EXPECT_EQ(root->Wide, -0.1L);  // extended precision kept
    EXPECT_EQ(root->Price.Raw(), 12345678);
    EXPECT_DOUBLE_EQ(root->When, 45366.573263888888);
    EXPECT_EQ(root->Title, "It's a test");
    EXPECT_FALSE(root->Enabled);
    EXPECT_TRUE(root->Visible);
    EXPECT_EQ(root->Kind, skHuge);
    EXPECT_EQ(root->Options, (TSampleOptions{soItalic, soStrike}));
    EXPECT_EQ(root->Font.Name, "Arial");
    EXPECT_EQ(root->Font.Size, 12);
    EXPECT_EQ(root->Font.Style, (TSampleOptions{soBold, soUnderline}));
    ASSERT_EQ(root->Items.Count(), 2);
    auto* first = static_cast<TSampleItem*>(root->Items.Items(0));
    auto* second = static_cast<TSampleItem*>(root->Items.Items(1));
    EXPECT_EQ(first->Caption, "First");
    EXPECT_EQ(first->Width, 100);
    EXPECT_EQ(first->Kind, skLarge);
    EXPECT_EQ(second->Caption, "Second");
    EXPECT_EQ(second->Width, 0);
    EXPECT_EQ(root->Note, "defined property");
    ASSERT_EQ(root->Lines.Count(), 3);  // a string list streamed in place
    EXPECT_EQ(root->Lines.Get(0), "first line");
    EXPECT_EQ(root->Lines.Get(1), "");
    EXPECT_EQ(root->Lines.Get(2), "it's the third");
    ASSERT_EQ(root->Data.size(), 40u);
    EXPECT_EQ(static_cast<unsigned char>(root->Data[39]), (39 * 7) & 0xFF);

    TSample* child1 = Child(root.get(), "Child1");
    TSample* child2 = Child(root.get(), "Child2");
    ASSERT_NE(child1, nullptr);
    ASSERT_NE(child2, nullptr);
    TSample* grand = Child(child1, "Grand");
    ASSERT_NE(grand, nullptr);
    EXPECT_EQ(child1->Title, std::string(300, 'x'));
    EXPECT_EQ(child1->Buddy(), root.get());  // "Owner"
    EXPECT_EQ(child2->Buddy(), grand);       // "Child1.Grand"
    EXPECT_EQ(root->Buddy(), child2);        // a reference forward in the stream
    EXPECT_EQ(child2->Title, "line1\r\nline2\ttab");
    EXPECT_EQ(grand->Count, 70000);
    EXPECT_EQ(grand->Ratio, 1e300);
    EXPECT_EQ(grand->Small, -3.25f);
    EXPECT_EQ(grand->Price.Raw(), -1);
    EXPECT_EQ(grand->When, -1.25);
    EXPECT_EQ(child2->Count, -40000);

    // Handlers found on the root by name, and they still know their name.
    ASSERT_TRUE(root->OnClick);
    root->OnClick(root.get());
    ASSERT_TRUE(child1->OnChange);
    child1->OnChange(child1);
    EXPECT_EQ(root->Clicks, 2);
    EXPECT_EQ(GetMethodProp(child1, "OnChange"), "SampleChange");

    // Loaded once each, after every reference was fixed.
    EXPECT_EQ(root->LoadedCalls, 1);
    EXPECT_EQ(grand->LoadedCalls, 1);
    EXPECT_FALSE(grand->ComponentState().Contains(csLoading));
    EXPECT_FALSE(root->ComponentState().Contains(csReading));
}

TEST(StreamingReference, WriterReproducesTheReferenceStreamsByteForByte) {
    for (const char* name : {"full.bin", "defaults.bin"}) {
        std::string ref = Ref(name);
        ASSERT_FALSE(ref.empty()) << name;
        auto root = Load(ref);
        EXPECT_EQ(Save(root.get()), ref) << name;
    }
}

TEST(StreamingReference, TextBeyondAsciiIsWrittenAsUtf16) {
    std::string ref = Ref("unicode.bin");
    auto root = Load(ref);
    EXPECT_EQ(root->Caption, "Nota fiscal nº 1 — emissão às 10h, R$ 2,50 ção");
    EXPECT_EQ(Save(root.get()), ref);
    EXPECT_EQ(ToText(ref), Ref("unicode.txt"));
    // Both implementations turn the named characters of the text form into
    // the older UTF-16 value type, so only the loaded text is compared.
    EXPECT_EQ(Load(ToBinary(Ref("unicode.txt")))->Caption, root->Caption);
}

TEST(StreamingReference, BinaryToTextMatchesTheOtherImplementation) {
    EXPECT_EQ(ToText(Ref("full.bin")), Ref("full.txt"));
    EXPECT_EQ(ToText(Ref("defaults.bin")), Ref("defaults.txt"));
    EXPECT_EQ(ToText(Ref("flags.frombin")), Ref("flags.txt"));
    EXPECT_EQ(ToText(Ref("values.frombin")), Ref("values.txt"));
}

TEST(StreamingReference, TextToBinaryMatchesTheOtherImplementation) {
    EXPECT_EQ(ToBinary(Ref("full.txt")), Ref("full.bin"));
    EXPECT_EQ(ToBinary(Ref("defaults.txt")), Ref("defaults.bin"));
    EXPECT_EQ(ToBinary(Ref("flags.src.txt")), Ref("flags.frombin"));
    EXPECT_EQ(ToBinary(Ref("values.src.txt")), Ref("values.frombin"));
    // Its own text output parses back to the same binary.
    EXPECT_EQ(ToBinary(Ref("values.txt")), Ref("values.frombin"));
    EXPECT_EQ(ToBinary(Ref("flags.txt")), Ref("flags.frombin"));
}

TEST(StreamingReference, TypedFloatsOfTheOriginalFormatLoadAndSurviveTheTextForm) {
    // typed.bin holds single, currency and date values and a UTF-16 string;
    // the other implementation has no text form for them, so they go through
    // ours both ways.
    std::string bin = Ref("typed.bin");
    std::string text = ToText(bin);
    EXPECT_NE(text.find("Small = -3.25s"), std::string::npos) << text;
    EXPECT_NE(text.find("Price = 1234.5678c"), std::string::npos) << text;
    EXPECT_NE(text.find("When = 45366.5d"), std::string::npos) << text;
    for (const std::string& form : {bin, ToBinary(text)}) {
        auto root = Load(form);
        EXPECT_EQ(root->Small, -3.25f);
        EXPECT_EQ(root->Price.Raw(), 12345678);
        EXPECT_EQ(root->When, 45366.5);
        EXPECT_EQ(root->Count, -200);
        EXPECT_EQ(root->Big, -5000000000);
        EXPECT_EQ(root->Title, "Ação €");
    }
}

TEST(StreamingRoundTrip, TextFormOfOurOwnStreamLoadsTheSame) {
    TSample root(nullptr);
    root.SetName("Nota");
    root.Title = "Ação nº 1 — R$ 2,50";
    root.Ratio = 0.1;
    root.Price = Currency::FromRaw(-123456789);
    auto* item = static_cast<TSampleItem*>(root.Items.Add());
    item->Caption = "Olá";
    std::string bin = Save(&root);
    auto back = Load(ToBinary(ToText(bin)));
    EXPECT_EQ(back->Title, root.Title);
    EXPECT_EQ(back->Ratio, 0.1);
    EXPECT_EQ(back->Price.Raw(), -123456789);
    ASSERT_EQ(back->Items.Count(), 1);
    EXPECT_EQ(static_cast<TSampleItem*>(back->Items.Items(0))->Caption, "Olá");
    EXPECT_EQ(Save(back.get()), bin);
}

TEST(StreamingRoundTrip, OriginalCodePageStringsAreRead) {
    // A string value holding code page 1252 bytes, as the original program wrote.
    std::string text = "object X: TSample\n  Title = 'a\xE7\xE3o'\nend\n";
    auto root = Load(ToBinary(text));
    EXPECT_EQ(root->Title, "ação");
    // The text form names such characters, so a round trip keeps them.
    auto again = Load(ToBinary(ToText(ToBinary(text))));
    EXPECT_EQ(again->Title, "ação");
}

TEST(StreamingLocale, FloatsIgnoreTheDecimalSeparatorOfTheLocale) {
    testsupport::TempDir dir;
    std::string cmd = "localedef -i pt_BR -f UTF-8 " + dir.file("pt_BR.UTF-8") + " >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "cannot build a pt_BR locale";
    setenv("LOCPATH", dir.path().c_str(), 1);
    const char* set = std::setlocale(LC_ALL, "pt_BR.UTF-8");
    unsetenv("LOCPATH");
    if (set == nullptr) GTEST_SKIP() << "pt_BR locale unavailable";
    std::string text = ToText(Ref("full.bin"));
    std::string back = ToBinary(text);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(text, Ref("full.txt"));
    EXPECT_EQ(back, Ref("full.bin"));
}

TEST(StreamingErrors, ClassLibraryMessagesAndTheErrorHook) {
    RegisterSamples();
    auto expectError = [](const std::string& text, const std::string& message) {
        try {
            Load(ToBinary(text));
            ADD_FAILURE() << "loaded: " << text;
        } catch (const EReadError& e) {
            EXPECT_EQ(e.Message(), message);
        }
    };
    expectError("object X: TSample\n  Colour = 1\nend\n", "Property Colour does not exist");
    expectError("object X: TSample\n  Count = 'abc'\nend\n", "Invalid property value");
    expectError("object X: TSample\n  Kind = skTiny\nend\n", "Invalid property value");
    expectError("object X: TSample\n  Count = 5000000000\nend\n", "Invalid property value");
    expectError("object X: TNoSuchClass\nend\n", "Class TNoSuchClass not found");
    expectError("object X: TSample\n  object Y: TNoSuchClass\n  end\nend\n", "Class TNoSuchClass not found");
    expectError("object X: TSample\n  OnClick = NoSuchMethod\nend\n", "Invalid property value");
    // A setter's own failure names where it happened.
    expectError("object X: TSample\n  Name = '1st'\nend\n",
                "Error reading X.Name: ''1st'' is not a valid component name");
    expectError("object X: TSample\n  object Y: TSample\n  end\n  object y: TSample\n  end\nend\n",
                "A component named y already exists");

    // The hook skips what it handles and the load goes on.
    std::string bin = ToBinary(
        "object X: TSample\n  Colour = (1 2 <item end>)\n  Count = 'abc'\n  Font.Bogus = 3\n  Title = 'kept'\n"
        "  Options = [soBold, soNothing]\nend\n");
    TStringStream s(bin);
    TReader reader(&s);
    std::vector<std::string> messages;
    reader.OnError = [&](TReader*, const std::string& m, bool& handled) {
        messages.push_back(m);
        handled = true;
    };
    std::unique_ptr<TComponent> root(reader.ReadRootComponent(nullptr));
    auto* sample = static_cast<TSample*>(root.get());
    EXPECT_EQ(sample->Title, "kept");
    EXPECT_EQ(sample->Count, 0);
    EXPECT_EQ(messages, (std::vector<std::string>{"Property Colour does not exist", "Invalid property value",
                                                  "Property Font.Bogus does not exist", "Invalid property value"}));
}

TEST(StreamingErrors, ReadingIntoAnExistingRootKeepsItUsable) {
    RegisterSamples();
    TSample root(nullptr);
    std::string bin = ToBinary(
        "object Form: TSample\n  Count = 3\n  object A: TSample\n  end\n  object B: TSample\n    Count = 'x'\n  end\n"
        "end\n");
    TStringStream s(bin);
    EXPECT_THROW(ReadComponent(s, &root), EReadError);
    EXPECT_FALSE(root.ComponentState().Contains(csLoading));
    EXPECT_FALSE(Child(&root, "A")->ComponentState().Contains(csLoading));
    EXPECT_EQ(root.FindComponent("B"), nullptr);  // the failed child is freed
    EXPECT_EQ(root.Count, 3);
}

TEST(StreamingErrors, TextParserReportsTheLine) {
    try {
        ToBinary("object X: TSample\n  Count = 1\n  Title 'x'\nend\n");
        FAIL();
    } catch (const EParserError& e) {
        EXPECT_EQ(e.Message(), "''='' expected on line 3");
    }
    EXPECT_THROW(ToBinary("object X: TSample\n  Bytes = { 0A0 }\nend\n"), EParserError);
    EXPECT_THROW(ToBinary("object X: TSample\n  Title = 'open\nend\n"), EParserError);
    EXPECT_THROW(ToBinary(std::string(5000, '(')), EParserError);
}

TEST(StreamingErrors, EveryTruncationIsAReadError) {
    RegisterSamples();
    std::string full = Ref("full.bin");
    for (std::size_t n = 0; n < full.size(); ++n) {
        TStringStream s(full.substr(0, n));
        EXPECT_THROW(ReadComponent(s, nullptr), EReadError) << n;
        TStringStream t(full.substr(0, n));
        TMemoryStream out;
        EXPECT_THROW(ObjectBinaryToText(t, out), EReadError) << n;
    }
}

TEST(StreamingFormat, DetectsBinaryAndTextForms) {
    TStringStream bin(Ref("full.bin")), text("  object X: T\nend"), bom("\xEF\xBB\xBFinherited X: T\nend"),
        other("<xml/>");
    EXPECT_EQ(TestStreamFormat(bin), sofBinary);
    EXPECT_EQ(TestStreamFormat(text), sofText);
    EXPECT_EQ(TestStreamFormat(bom), sofUTF8Text);
    EXPECT_EQ(TestStreamFormat(other), sofUnknown);
    EXPECT_EQ(bin.Position(), 0);
    RegisterSamples();
    std::unique_ptr<TComponent> a(ReadComponentAnyForm(text.Position() == 0 ? bin : bin, nullptr));
    TStringStream textForm(Ref("full.txt"));
    std::unique_ptr<TComponent> b(ReadComponentAnyForm(textForm, nullptr));
    EXPECT_EQ(Save(a.get()), Save(b.get()));
}

TEST(StreamingPosition, ReaderLeavesTheStreamAfterTheComponent) {
    RegisterSamples();
    std::string two = Ref("defaults.bin") + Ref("full.bin");
    TStringStream s(two);
    std::unique_ptr<TComponent> a(ReadComponent(s, nullptr));
    EXPECT_EQ(s.Position(), static_cast<std::int64_t>(Ref("defaults.bin").size()));
    std::unique_ptr<TComponent> b(ReadComponent(s, nullptr));
    EXPECT_EQ(a->Name(), "Empty");
    EXPECT_EQ(b->Name(), "Form1");
}

TEST(StreamingReferences, UnresolvedAndGlobalReferences) {
    RegisterSamples();
    TSample other(nullptr);
    other.SetName("DataModule1");
    auto* table = new TSample(&other);
    table->SetName("Table1");
    std::string bin = ToBinary(
        "object X: TSample\n  object A: TSample\n    Buddy = DataModule1.Table1\n  end\n"
        "  object B: TSample\n    Buddy = Nowhere.Thing\n  end\nend\n");
    {
        TStringStream s(bin);
        TReader reader(&s);
        std::unique_ptr<TComponent> root(reader.ReadRootComponent(nullptr));
        EXPECT_EQ(Child(root.get(), "A")->Buddy(), nullptr);
        EXPECT_EQ(reader.UnresolvedReferences().size(), 2u);
    }
    RegisterFindGlobalComponentProc([&](const std::string& name) -> TComponent* {
        return name == "DataModule1" ? &other : nullptr;
    });
    TStringStream s(bin);
    std::unique_ptr<TComponent> root(ReadComponent(s, nullptr));
    ClearFindGlobalComponentProcs();
    EXPECT_EQ(Child(root.get(), "A")->Buddy(), table);
    EXPECT_EQ(Child(root.get(), "B")->Buddy(), nullptr);
    // The reference across roots is written back by its global path.
    EXPECT_NE(ToText(Save(root.get())).find("Buddy = DataModule1.Table1"), std::string::npos);
}

TEST(TypInfoAccess, PropertiesByNameIncludingInherited) {
    TSample s(nullptr);
    SetOrdProp(&s, "count", 12);
    EXPECT_EQ(s.Count, 12);
    SetOrdProp(&s, "Tag", 4);
    EXPECT_EQ(s.Tag(), 4);
    SetEnumProp(&s, "Kind", "SKLARGE");
    EXPECT_EQ(GetEnumProp(&s, "Kind"), "skLarge");
    SetFloatProp(&s, "Price", 12.34);
    EXPECT_EQ(s.Price.Raw(), 123400);
    EXPECT_EQ(GetStrProp(&s, "Title"), "");
    SetStrProp(&s, "Title", "t");
    EXPECT_EQ(s.Title, "t");
    EXPECT_EQ(GetObjectProp(&s, "Font"), &s.Font);
    EXPECT_THROW(SetObjectProp(&s, "Font", nullptr), EPropertyError);  // read-only
    EXPECT_THROW(GetOrdProp(&s, "Nothing"), EPropertyError);
    EXPECT_TRUE(s.InheritsFrom(TComponent::StaticClassType()));
    EXPECT_FALSE(s.Font.InheritsFrom(TComponent::StaticClassType()));
    EXPECT_EQ(GetPropInfo(&s, "OnClick")->PropType->Name, "TNotifyEvent");
    EXPECT_EQ(GetPropInfo(&s, "Enabled")->PropType->Name, "Boolean");
    EXPECT_EQ(SetToString(OptionsType(), (TSampleOptions{soBold, soStrike}).Bits()), "[soBold,soStrike]");
    EXPECT_EQ(StringToSet(OptionsType(), "[soItalic, soStrike]"), (TSampleOptions{soItalic, soStrike}).Bits());
    // A class found by name creates instances.
    RegisterSamples();
    EXPECT_EQ(GetClass("tsample"), TSample::StaticClassType());
    EXPECT_THROW(FindClass("TMissing"), EClassNotFound);
    std::unique_ptr<TObject> made(CreateInstance(FindClass("TSample"), nullptr));
    EXPECT_EQ(made->ClassName(), "TSample");
    // An event set in code has no name and is not written.
    s.OnClick = [](TObject*) {};
    EXPECT_EQ(GetMethodProp(&s, "OnClick"), "");
    EXPECT_EQ(ToText(Save(&s)).find("OnClick"), std::string::npos);
}

}  // namespace

namespace {

TEST(StreamingTemplates, ComponentsReadIntoAnOwnerWithRenamesAndReferences) {
    RegisterSamples();
    // A form that already holds a component named like one in the stream, and
    // a data source the stored component refers to by name.
    TSample form(nullptr);
    form.SetName("Form1");
    auto* existing = new TSample(&form);
    existing->SetName("Report1");
    auto* source = new TSample(&form);
    source->SetName("Source");

    // The stored form: signature, component, end of list; written against
    // the form so that the reference to Source is by its plain name.
    TSample scratch(nullptr);
    auto* report = new TSample(&scratch);
    report->SetName("Report1");
    auto* band = new TSample(report);
    band->SetName("Band1");
    band->SetBuddy(report);
    auto* src2 = new TSample(&scratch);
    src2->SetName("Source");
    report->SetBuddy(src2);
    TMemoryStream stream;
    {
        TWriter w(&stream);
        w.SetRoot(&scratch);
        w.WriteSignature();
        w.WriteComponent(report);
        w.WriteListEnd();
    }
    EXPECT_NE(ToText(stream.DataBytes().substr(0, stream.Size() - 1)).find("Buddy = Source"), std::string::npos);

    stream.SetPosition(0);
    TReader reader(&stream);
    std::map<std::string, std::string> renamed;
    reader.OnSetName = [&](TReader*, TComponent* c, std::string& name) {
        if (c->Owner() == &form && form.FindComponent(name) != nullptr) {
            std::string fresh = name + "_1";
            renamed[name] = fresh;
            name = fresh;
        }
    };
    reader.OnReferenceName = [&](TReader*, std::string& name) {
        auto it = renamed.find(name);
        if (it != renamed.end()) name = it->second;
    };
    std::vector<TComponent*> top;
    reader.ReadComponents(&form, nullptr, [&](TComponent* c) { top.push_back(c); });
    ASSERT_EQ(top.size(), 1u);
    auto* loaded = static_cast<TSample*>(top[0]);
    EXPECT_EQ(loaded->Name(), "Report1_1");
    EXPECT_EQ(loaded->Owner(), &form);
    EXPECT_EQ(loaded->Buddy(), source);
    TSample* loadedBand = Child(loaded, "Band1");
    ASSERT_NE(loadedBand, nullptr);
    EXPECT_EQ(loadedBand->Buddy(), loaded);  // "Report1" renamed on the way
    EXPECT_EQ(loaded->LoadedCalls, 1);
}

}  // namespace

namespace {

TEST(StreamingReference, InheritedAndInlineObjectsLoadIntoAnExistingForm) {
    RegisterSamples();
    TSample form(nullptr);
    auto* inherited = new TSample(&form);
    inherited->SetName("Child2");
    TStringStream s(Ref("flags.frombin"));
    ReadComponent(s, &form);
    EXPECT_EQ(form.Name(), "Form2");
    EXPECT_EQ(form.Count, 2147483647);
    EXPECT_EQ(form.Big, -9223372036854775807);
    EXPECT_EQ(form.Title, "abcdefAg");
    EXPECT_EQ(inherited->Ratio, 1.5e10);  // the existing component was read into
    TSample* inl = Child(&form, "Child1");
    ASSERT_NE(inl, nullptr);
    EXPECT_TRUE(inl->ComponentState().Contains(csInline));
    EXPECT_EQ(inl->Count, INT32_MIN);
    TSample* c3 = Child(&form, "Child3");
    ASSERT_NE(c3, nullptr);
    ASSERT_EQ(c3->Items.Count(), 1);
    // The inline flag survives our writer.
    EXPECT_NE(ToText(Save(&form)).find("inline Child1: TSample"), std::string::npos);

    TSample empty(nullptr);
    TStringStream again(Ref("flags.frombin"));
    try {
        ReadComponent(again, &empty);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Ancestor for 'Child2' not found");
    }
}

}  // namespace

namespace {

TEST(StreamingReference, RandomTextFormsConvertAsTheOtherImplementationDoes) {
    int checked = 0;
    for (int i = 1; i <= 40; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "random/%03d", i);
        std::string src = Ref(std::string(name) + ".src.txt");
        if (src.empty()) continue;
        std::string bin = Ref(std::string(name) + ".frombin");
        EXPECT_EQ(ToBinary(src), bin) << name;
        EXPECT_EQ(ToText(bin), Ref(std::string(name) + ".txt")) << name;
        EXPECT_EQ(ToBinary(ToText(bin)), bin) << name;
        ++checked;
    }
    EXPECT_EQ(checked, 40);
}

}  // namespace
