// The memory table's blob stream: bytes in and out unchanged, write-back on
// destruction, modes and their checks, the compression events.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>

#include "memtable/mtBlobStream.h"
#include "memtable/mtMemTable.h"

namespace {

std::unique_ptr<TmtMemTable> MakeTable() {
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->FieldDefs()->Add("Id", ftInteger);
    t->FieldDefs()->Add("Data", ftBlob);
    t->FieldDefs()->Add("Texto", ftMemo);
    t->Open();
    return t;
}

std::string AllBytes() {
    std::string s;
    for (int r = 0; r < 3; ++r)
        for (int b = 0; b < 256; ++b) s.push_back(static_cast<char>(b));
    return s;
}

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

void WriteBlob(TDataSet* t, const char* field, const std::string& bytes, TBlobStreamMode mode = bmWrite) {
    auto s = t->CreateBlobStream(t->FieldByName(field), mode);
    s->WriteBytes(bytes);
}

std::string ReadBlob(TDataSet* t, const char* field) {
    auto s = t->CreateBlobStream(t->FieldByName(field), bmRead);
    return s->ReadAllBytes();
}

void AppendRow(TDataSet* t, int id, const std::string& bytes) {
    t->Append();
    t->FieldByName("Id")->SetAsInteger(id);
    WriteBlob(t, "Data", bytes);
    t->Post();
}

TEST(BlobStream, EveryByteValuePassesUnchanged) {
    auto t = MakeTable();
    const std::string bytes = AllBytes();
    AppendRow(t.get(), 1, bytes);
    t->First();
    EXPECT_EQ(ReadBlob(t.get(), "Data"), bytes);
    EXPECT_EQ(t->FieldByName("Data")->AsString(), bytes);
    // Text with accents and an embedded zero through a memo field.
    const std::string text = std::string("ação\0fim\r\n", 11);
    t->Edit();
    WriteBlob(t.get(), "Texto", text);
    t->Post();
    EXPECT_EQ(ReadBlob(t.get(), "Texto"), text);
}

TEST(BlobStream, WrittenReadTruncatedAndRewrittenKeepsItsBytes) {
    auto t = MakeTable();
    const std::string first = RandomBytes(5000, 1);
    AppendRow(t.get(), 1, first);
    t->First();
    t->Edit();
    {
        auto s = t->CreateBlobStream(t->FieldByName("Data"), bmReadWrite);
        EXPECT_EQ(s->ReadAllBytes(), first);  // starts with the stored value
        s->SetSize(1000);                     // truncated ...
        s->Seek(0, soEnd);
        s->WriteBytes("tail");                // ... and rewritten at the end
    }
    t->Post();
    EXPECT_EQ(ReadBlob(t.get(), "Data"), first.substr(0, 1000) + "tail");
    // Truncation alone is a change too.
    t->Edit();
    {
        auto s = t->CreateBlobStream(t->FieldByName("Data"), bmReadWrite);
        s->SetSize(10);
    }
    t->Post();
    EXPECT_EQ(ReadBlob(t.get(), "Data"), first.substr(0, 10));
}

TEST(BlobStream, TenMebibyteBlobs) {
    auto t = MakeTable();
    const std::string big = RandomBytes(10u << 20, 2);
    AppendRow(t.get(), 1, big);
    AppendRow(t.get(), 2, "small");
    t->First();
    EXPECT_EQ(ReadBlob(t.get(), "Data"), big);
    t->Edit();
    {
        auto s = t->CreateBlobStream(t->FieldByName("Data"), bmReadWrite);
        s->SetSize(5u << 20);
        s->Seek(0, soEnd);
        s->WriteBytes(big.substr(0, 6u << 20));
    }
    t->Post();
    t->Last();
    EXPECT_EQ(ReadBlob(t.get(), "Data"), "small");
    t->First();
    EXPECT_EQ(ReadBlob(t.get(), "Data"), big.substr(0, 5u << 20) + big.substr(0, 6u << 20));
}

TEST(BlobStream, WriteModeFreedUnwrittenLeavesNull) {
    auto t = MakeTable();
    AppendRow(t.get(), 1, "value");
    t->First();
    t->Edit();
    { auto s = t->CreateBlobStream(t->FieldByName("Data"), bmWrite); }
    t->Post();
    EXPECT_TRUE(t->FieldByName("Data")->IsNull());
    EXPECT_EQ(ReadBlob(t.get(), "Data"), "");
}

TEST(BlobStream, UneditedRecordReadsTheStoresBlock) {
    auto t = MakeTable();
    AppendRow(t.get(), 1, "stored");
    t->First();
    auto s = t->CreateBlobStream(t->FieldByName("Data"), bmRead);
    auto* blob = dynamic_cast<TmtBlobStream*>(s.get());
    ASSERT_NE(blob, nullptr);
    EXPECT_NE(blob->StoreRecord(), nullptr);
    EXPECT_EQ(blob->Position(), 0);
    EXPECT_EQ(s->ReadAllBytes(), "stored");
}

TEST(BlobStream, ModesAndTheirChecks) {
    auto t = MakeTable();
    AppendRow(t.get(), 1, "x");
    t->First();
    // Reading in browse state is allowed; writing is not.
    EXPECT_NO_THROW(t->CreateBlobStream(t->FieldByName("Data"), bmRead));
    try {
        t->CreateBlobStream(t->FieldByName("Data"), bmReadWrite);
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Dataset is not in edit mode.");
    }
    t->FieldByName("Data")->SetReadOnly(true);
    t->Edit();
    try {
        t->CreateBlobStream(t->FieldByName("Data"), bmWrite);
        FAIL() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Field Data is read only");
    }
    t->SetIgnoreReadOnly(true);
    EXPECT_NO_THROW(WriteBlob(t.get(), "Data", "y"));
    t->Post();
    EXPECT_EQ(ReadBlob(t.get(), "Data"), "y");
    EXPECT_THROW(TmtBlobStream(t->FieldByName("Id"), bmRead), EDatabaseError);
}

TEST(BlobStream, ZeroByteWriteStillWritesBackAndNotifies) {
    auto t = MakeTable();
    AppendRow(t.get(), 1, "same");
    t->First();
    int changes = 0;
    t->FieldByName("Data")->OnChange = [&](TField*) { ++changes; };
    t->Edit();
    {
        auto s = t->CreateBlobStream(t->FieldByName("Data"), bmReadWrite);
        s->Write("", 0);
        EXPECT_TRUE(dynamic_cast<TmtBlobStream*>(s.get())->Modified());
    }
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(dynamic_cast<TBlobField*>(t->FieldByName("Data"))->Modified());
    t->Post();
    EXPECT_EQ(ReadBlob(t.get(), "Data"), "same");
    // A read-only stream never writes back.
    { auto s = t->CreateBlobStream(t->FieldByName("Data"), bmRead); }
    EXPECT_EQ(changes, 1);
}

TEST(BlobStream, StreamOutlivingItsEditDoesNotTouchTheRecord) {
    auto t = MakeTable();
    AppendRow(t.get(), 1, "kept");
    t->First();
    t->Edit();
    auto s = t->CreateBlobStream(t->FieldByName("Data"), bmReadWrite);
    s->WriteBytes("lost");
    t->Cancel();
    s.reset();
    EXPECT_EQ(ReadBlob(t.get(), "Data"), "kept");
}

TEST(BlobStream, CompressionEventsTransformOnTheWay) {
    auto t = MakeTable();
    const auto flip = [](TDataSet*, TStream* From, TStream* To) {
        From->Seek(0, soBeginning);
        std::string bytes = From->ReadAllBytes();
        for (char& c : bytes) c = static_cast<char>(c ^ 0x5A);
        To->WriteBytes(bytes);
    };
    t->OnCompressBlobStream = flip;
    t->OnDecompressBlobStream = flip;
    const std::string bytes = AllBytes();
    AppendRow(t.get(), 1, bytes);
    t->First();
    EXPECT_EQ(ReadBlob(t.get(), "Data"), bytes);
    // Stored transformed.
    t->OnDecompressBlobStream = nullptr;
    std::string stored = ReadBlob(t.get(), "Data");
    ASSERT_EQ(stored.size(), bytes.size());
    for (char& c : stored) c = static_cast<char>(c ^ 0x5A);
    EXPECT_EQ(stored, bytes);
}

// The field handlers of the smallest layout compress texts kept in blocks;
// blob values live in blocks too but pass through the blob stream handlers
// only. A decompressor that checks its input refuses anything it did not
// compress, so a blob value handed to it shows at once. Each case: with or
// without blob stream handlers, values written in insert and in edit state,
// read unedited (through the store) and while being edited.
TEST(BlobStream, FieldCompressionHandlersNeverSeeBlobValues) {
    struct Case {
        bool streamHandlers;
        std::string memo, blob;  // empty: left null
    };
    const Case cases[] = {
        {false, "observação do pedido", ""},
        {false, "", std::string("\0\x01Z\xFF", 4)},
        {true, "Zé", AllBytes()},
        {true, std::string(3000, 'x'), "Zcomeça como um valor comprimido"},
    };
    for (const Case& c : cases) {
        auto t = std::make_unique<TmtMemTable>(nullptr);
        t->FieldDefs()->Add("Id", ftInteger);
        t->FieldDefs()->Add("Nome", ftString, 30);  // a block of its own, compressed
        t->FieldDefs()->Add("M", ftMemo);
        t->FieldDefs()->Add("D", ftBlob);
        t->SetPerformance(mtpfSmall);
        std::map<std::string, int> unpacked;  // decompressions asked, by field
        t->OnCompressField = [](TDataSet*, TField*, const void* Buffer, int& Size, std::string& Out) {
            const auto* b = static_cast<const char*>(Buffer);
            Out = "Z" + std::string(b, b + Size);
            std::reverse(Out.begin() + 1, Out.end());
            Size = static_cast<int>(Out.size());
        };
        t->OnDecompressField = [&](TDataSet*, TField* Field, const void* Buffer, int& Size, std::string& Out) {
            ++unpacked[Field->FieldName()];
            const auto* b = static_cast<const char*>(Buffer);
            if (Size < 1 || b[0] != 'Z') throw EMemTableError("not compressed data in field " + Field->FieldName());
            Out.assign(b + 1, b + Size);
            std::reverse(Out.begin(), Out.end());
            Size = static_cast<int>(Out.size());
        };
        if (c.streamHandlers) {
            const auto flip = [](TDataSet*, TStream* From, TStream* To) {
                From->Seek(0, soBeginning);
                std::string bytes = From->ReadAllBytes();
                for (char& ch : bytes) ch = static_cast<char>(ch ^ 0x5A);
                To->WriteBytes(bytes);
            };
            t->OnCompressBlobStream = flip;
            t->OnDecompressBlobStream = flip;
        }
        t->Open();
        auto write = [&](const std::string& memo, const std::string& blob) {
            t->FieldByName("Nome")->SetAsString("Conceição");
            if (memo.empty())
                t->FieldByName("M")->Clear();
            else
                t->FieldByName("M")->SetAsString(memo);
            WriteBlob(t.get(), "D", blob);  // nothing written leaves it null
        };
        auto check = [&](const std::string& memo, const std::string& blob, const char* when) {
            EXPECT_EQ(t->FieldByName("M")->IsNull(), memo.empty()) << when;
            EXPECT_EQ(t->FieldByName("M")->AsString(), memo) << when;
            EXPECT_EQ(t->FieldByName("D")->IsNull(), blob.empty()) << when;
            EXPECT_EQ(ReadBlob(t.get(), "D"), blob) << when;
            EXPECT_EQ(t->FieldByName("Nome")->AsString(), "Conceição") << when;
        };
        t->Append();
        t->FieldByName("Id")->SetAsInteger(1);
        write(c.memo, c.blob);
        check(c.memo, c.blob, "inserting");
        t->Post();
        t->First();
        check(c.memo, c.blob, "stored");
        t->Edit();
        check(c.memo, c.blob, "editing");
        write(c.blob.empty() ? "" : c.memo + "!", c.memo);
        t->Post();
        check(c.blob.empty() ? "" : c.memo + "!", c.memo, "edited and stored");
        EXPECT_EQ(unpacked["M"] + unpacked["D"], 0) << c.memo;
        EXPECT_GT(unpacked["Nome"], 0) << "the texts go through the field handlers";
    }
}

}  // namespace
