// Pictures on generated pages: a logo stored in the report, the picture of
// each record read from a memory table's or an SQLite table's BLOB through
// the graphic class its GraphicType names, a broken BLOB that stops the run,
// file names in text fields, pictures supplied by a handler, the graphic
// class registry and both image controls through the stream.
#include <gtest/gtest.h>

#include "platform/db/SQLConnection.h"
#include "platform/db/SQLQuery.h"
#include "report/rpBands.h"
#include "report/rpDrawCommand.h"
#include "report/rpExcept.h"
#include "report/rpLanguage.h"
#include "report_output/rpGraphics.h"
#include "report_output/rpImages.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/report_output/OutputTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace reporttest;
using namespace outputtest;

namespace {

std::string Picture(const std::string& Name) { return testsupport::ReadAll(testsupport::DataPath("gfx/pictures/" + Name)); }

// The picture bytes an image command carries; empty without a picture.
std::string BytesOf(const TrpDrawCommand* Command) {
    auto* image = dynamic_cast<const TrpDrawImage*>(Command);
    if (image == nullptr || image->Picture()->Graphic() == nullptr) return {};
    return image->Picture()->Graphic()->FileBytes();
}

// Rows of a key and a picture BLOB in a memory table.
struct BlobTable {
    std::unique_ptr<TmtMemTable> Table = std::make_unique<TmtMemTable>(nullptr);
    std::unique_ptr<TDataSource> Source = std::make_unique<TDataSource>(nullptr);
    std::unique_ptr<TrpDBPipeline> Pipeline = std::make_unique<TrpDBPipeline>(nullptr);

    explicit BlobTable(const std::vector<std::string>& Pictures, TFieldType Kind = ftBlob) {
        Table->FieldDefs()->Add("Codigo", ftInteger, 0);
        Table->FieldDefs()->Add("Foto", Kind, Kind == ftString ? 200 : 0);
        Table->Open();
        for (std::size_t i = 0; i < Pictures.size(); ++i) {
            Table->Append();
            Table->FieldByName("Codigo")->SetAsInteger(static_cast<int>(i) + 1);
            if (!Pictures[i].empty()) Table->FieldByName("Foto")->SetAsString(Pictures[i]);
            Table->Post();
        }
        Table->First();
        Source->SetDataSet(Table.get());
        Pipeline->SetName("Produtos");
        Pipeline->SetDataSource(Source.get());
    }
    ~BlobTable() {
        Pipeline.reset();
        Source.reset();
        Table.reset();
    }
};

// A report over Pipeline whose detail band prints a database image of the
// field "Foto".
struct PhotoRig {
    ReportRig Rig;
    TrpDBImage* Photo = nullptr;

    PhotoRig(TrpDataPipeline* Pipeline, const std::string& GraphicType) {
        TrpBandedReport* r = Rig.Report();
        r->SetDataPipeline(Pipeline);
        r->CreateDefaultBands();
        r->DetailBand()->SetmmHeight(12000);
        Photo = Place<TrpDBImage>(Rig, r->DetailBand(), "Foto", 0, 0, 20000, 10000);
        Photo->SetDataPipeline(Pipeline);
        Photo->SetDataField("Foto");
        Photo->SetGraphicType(GraphicType);
    }

    std::vector<Placed> Print() {
        Rig.Print();
        return CommandsOf(Rig.Device()->FinalPages(), "Foto");
    }
};

// ---------------------------------------------------------------------------
// Registry

TEST(GraphicClassRegistryTest, HoldsTheAlwaysKnownKindsAndTheRegisteredFormatsByName) {
    EXPECT_EQ(rpGraphicClassNames(), (std::vector<std::string>{"Bitmap", "GIF", "Icon", "JPEG", "MetaFile"}));
    EXPECT_EQ(rpGraphicClassByName("jpeg"), TJPEGImage::StaticClassType());
    EXPECT_EQ(rpGraphicClassByName("Bitmap"), TBitmap::StaticClassType());
    EXPECT_EQ(rpGraphicClassByName("PNG"), nullptr);

    rpRegisterGraphicClass("PNG", TPngImage::StaticClassType());
    rpRegisterGraphicClass("Jpeg", TPngImage::StaticClassType());
    EXPECT_EQ(rpGraphicClassByName("PNG"), TPngImage::StaticClassType());
    EXPECT_EQ(rpGraphicClassByName("JPEG"), TPngImage::StaticClassType()) << "a name registered again takes the new class";
    EXPECT_EQ(rpGraphicClassNames().size(), 6u);
    rpFreeGraphicClassRegistry();
    EXPECT_EQ(rpGraphicClassByName("JPEG"), TJPEGImage::StaticClassType());
}

TEST(GraphicClassRegistryTest, JpegIsNoGraphicTypeWhileItsClassIsNotRegistered) {
    UnRegisterClass(TJPEGImage::StaticClassType());
    rpFreeGraphicClassRegistry();
    {
        TrpDBImage image(nullptr);
        image.SetGraphicType("JPEG");
        EXPECT_EQ(image.GraphicType(), "Bitmap");
    }
    RegisterClass(TJPEGImage::StaticClassType());
    rpFreeGraphicClassRegistry();
    TrpDBImage image(nullptr);
    image.SetGraphicType("JPEG");
    EXPECT_EQ(image.GraphicType(), "JPEG");
    EXPECT_FALSE(image.DirectDraw());
    image.SetGraphicType("Desenho");
    EXPECT_EQ(image.GraphicType(), "JPEG");
    image.SetGraphicType("MetaFile");
    EXPECT_TRUE(image.DirectDraw()) << "a metafile is drawn directly";
}

// ---------------------------------------------------------------------------
// A picture stored in the report

TEST(ImageTest, AJpegLogoPrintsOnEveryPageBesideItsRules) {
    ReportRig rig;
    RowsTable data({"Key"}, {{Variant("a")}, {Variant("b")}});
    TrpBandedReport* r = rig.Report();
    r->SetDataPipeline(data.Pipeline());
    r->CreateDefaultBands();
    r->HeaderBand()->SetmmHeight(25000);
    auto* logo = Place<TrpImage>(rig, r->HeaderBand(), "Logo", 0, 0, 40000, 20000);
    const std::string jpeg = Picture("jpeg_base.jpg");
    TPicture picture;
    picture.LoadFromFile(testsupport::DataPath("gfx/pictures/jpeg_base.jpg"));
    logo->SetPicture(&picture);
    logo->SetStretch(true);
    logo->SetMaintainAspectRatio(true);
    auto* rule = Place<TrpLine>(rig, r->HeaderBand(), "Rule", 0, 21000, 190000, 2000);
    rule->SetStyle(lsDouble);
    rule->SetPosition(lpBottom);
    auto* frame = Place<TrpShape>(rig, r->HeaderBand(), "Frame", 45000, 0, 100000, 20000);
    frame->SetShape(stRoundRect);
    frame->SetFillColor(clWhite, true);
    TestText* key = rig.AddText(r->DetailBand(), "Key", 0, 0, 20000, 5000);
    key->SetDataPipeline(data.Pipeline());
    key->SetDataField("Key");
    r->DetailBand()->SetmmHeight(6000);
    rig.Print();

    const auto pages = rig.Device()->FinalPages();
    auto logos = CommandsOf(pages, "Logo");
    ASSERT_EQ(logos.size(), 1u);
    EXPECT_EQ(BytesOf(logos[0].Command), jpeg) << "the file's bytes, as loaded";
    auto* c = dynamic_cast<TrpDrawImage*>(logos[0].Command);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->Stretch());
    EXPECT_TRUE(c->Center());
    EXPECT_TRUE(c->MaintainAspectRatio());
    EXPECT_EQ(c->Picture()->Width(), 16);
    EXPECT_EQ(c->Picture()->Height(), 8);
    ExpectGolden("output_letterhead", DumpPages(pages));
}

TEST(ImageTest, AutoSizeTakesThePicturesSizeInScreenPixels) {
    TrpImage image(nullptr);
    image.SetAutoSize(true);
    TPicture picture;
    picture.LoadFromFile(testsupport::DataPath("gfx/pictures/gif.gif"));
    image.SetPicture(&picture);
    EXPECT_EQ(image.spWidth(), 7);
    EXPECT_EQ(image.spHeight(), 5);
    TrpImage fixed(nullptr);
    fixed.SetPicture(&picture);
    EXPECT_EQ(fixed.spWidth(), 50);
    EXPECT_EQ(fixed.spHeight(), 50);
    EXPECT_TRUE(fixed.Center());
    EXPECT_FALSE(fixed.Transparent());
}

// ---------------------------------------------------------------------------
// Pictures from the data

TEST(DBImageTest, EachRecordOfAMemoryTablePrintsItsOwnJpegAndAnEmptyBlobNone) {
    const std::string first = Picture("jpeg_base.jpg");
    const std::string second = Picture("jpeg_gray.jpg");
    BlobTable data({first, second, ""});
    PhotoRig rig(data.Pipeline.get(), "JPEG");
    auto photos = rig.Print();
    ASSERT_EQ(photos.size(), 3u);
    EXPECT_EQ(BytesOf(photos[0].Command), first);
    EXPECT_EQ(BytesOf(photos[1].Command), second);
    EXPECT_EQ(BytesOf(photos[2].Command), "");
    // A device that kept one record's picture knows another record's is new.
    auto name = [](const Placed& p) { return dynamic_cast<TrpDrawImage*>(p.Command)->ImageName(); };
    EXPECT_NE(name(photos[0]), name(photos[1]));
    EXPECT_EQ(name(photos[0]).rfind("FotoProdutosFoto", 0), 0u) << name(photos[0]);
}

TEST(DBImageTest, APageMadeAgainAloneShowsThePicturesOfItsOwnRecords) {
    const std::string pictures[] = {Picture("jpeg_base.jpg"), Picture("jpeg_gray.jpg"), Picture("jpeg_prog.jpg")};
    std::vector<std::string> rows;
    for (int i = 0; i < 60; ++i) rows.push_back(pictures[(i * i) % 3]);
    BlobTable data(rows);
    PhotoRig rig(data.Pipeline.get(), "JPEG");
    rig.Rig.Report()->DetailBand()->SetmmHeight(30000);
    auto all = rig.Print();
    ASSERT_EQ(all.size(), 60u);
    std::vector<std::string> second;
    for (const Placed& p : all)
        if (p.Page == 2) second.push_back(BytesOf(p.Command));
    ASSERT_FALSE(second.empty());
    // Record k of the table printed k-th.
    for (std::size_t k = 0; k < all.size(); ++k) EXPECT_EQ(BytesOf(all[k].Command), rows[k]) << k;

    const std::size_t before = rig.Rig.Device()->Pages().size();
    rig.Rig.PrintPage(2);
    const auto& pages = rig.Rig.Device()->Pages();
    ASSERT_GT(pages.size(), before);
    const CapturedPage& again = pages.back();
    ASSERT_EQ(again.Page->AbsolutePageNo(), 2);
    std::vector<std::string> regenerated;
    for (int i = 0; i < again.Page->DrawCommandCount(); ++i)
        if (again.Makers[static_cast<std::size_t>(i)].second == "Foto")
            regenerated.push_back(BytesOf(again.Page->DrawCommands(i)));
    EXPECT_EQ(regenerated, second);
}

TEST(DBImageTest, AnSqliteBlobReadsThroughTheQuery) {
    testsupport::TempDir dir;
    TSQLConnection connection;
    connection.SetCreateIfMissing(true);
    connection.SetFileName(dir.file("fotos.db"));
    connection.Open();
    TSQLQuery ddl;
    ddl.SetConnection(&connection);
    ddl.SetSQL("create table Produto (Codigo integer, Foto longbinary)");
    ddl.ExecSQL();
    TSQLQuery insert;
    insert.SetConnection(&connection);
    insert.SetSQL("insert into Produto (Codigo, Foto) values (:Codigo, :Foto)");
    const std::string pictures[] = {Picture("jpeg_prog.jpg"), Picture("jpeg_base.jpg")};
    for (int i = 0; i < 2; ++i) {
        insert.ParamByName("Codigo")->SetValue(Variant(i + 1));
        insert.ParamByName("Foto")->SetValue(Variant::FromBytes(pictures[i]));
        insert.ExecSQL();
    }
    TSQLQuery query;
    query.SetConnection(&connection);
    query.SetSQL("select Codigo, Foto from Produto order by Codigo");
    query.Open();
    TDataSource source(nullptr);
    source.SetDataSet(&query);
    TrpDBPipeline pipeline(nullptr);
    pipeline.SetName("Produtos");
    pipeline.SetDataSource(&source);
    {
        PhotoRig rig(&pipeline, "JPEG");
        auto photos = rig.Print();
        ASSERT_EQ(photos.size(), 2u);
        EXPECT_EQ(BytesOf(photos[0].Command), pictures[0]);
        EXPECT_EQ(BytesOf(photos[1].Command), pictures[1]);
    }
    pipeline.SetDataSource(nullptr);
}

TEST(DBImageTest, ABrokenBlobStopsTheRunWithTheLanguageText) {
    BlobTable data({Picture("jpeg_base.jpg"), std::string("\xFF\xD8\xFF\xE0 quebrado", 13)});
    PhotoRig rig(data.Pipeline.get(), "JPEG");
    try {
        rig.Print();
        FAIL() << "the run went on";
    } catch (const EPrintError& e) {
        EXPECT_NE(std::string(e.what()).find(rpLanguageText(290)), std::string::npos) << e.what();
    }
}

TEST(DBImageTest, OutsideARunABrokenBlobLeavesTheImageEmpty) {
    BlobTable data({std::string("não é uma imagem")});
    TrpDBImage image(nullptr);
    image.SetGraphicType("JPEG");
    image.SetDataPipeline(data.Pipeline.get());
    data.Pipeline->Open();
    EXPECT_NO_THROW(image.SetDataField("Foto"));
    EXPECT_EQ(image.StoredPicture()->Graphic(), nullptr);
    // A good picture in the field loads the same way.
    data.Table->Edit();
    data.Table->FieldByName("Foto")->SetAsString(Picture("jpeg_base.jpg"));
    data.Table->Post();
    ASSERT_NE(image.Picture()->Graphic(), nullptr);
    EXPECT_EQ(image.StoredPicture()->Width(), 16);
    image.SetDataPipeline(nullptr);
}

TEST(DBImageTest, ATextFieldNamesThePictureFileAndAMissingFileIsNoError) {
    const std::string present = testsupport::DataPath("gfx/pictures/jpeg_base.jpg");
    BlobTable data({present, "/nao/existe/foto.jpg"}, ftString);
    PhotoRig rig(data.Pipeline.get(), "JPEG");
    std::vector<Placed> photos;
    ASSERT_NO_THROW(photos = rig.Print());
    ASSERT_EQ(photos.size(), 2u);
    EXPECT_EQ(BytesOf(photos[0].Command), Picture("jpeg_base.jpg"));
    EXPECT_EQ(BytesOf(photos[1].Command), "");
}

TEST(DBImageTest, WithoutAutoDisplayOnlyAHandlerSuppliesThePicture) {
    BlobTable data({Picture("jpeg_base.jpg")});
    {
        PhotoRig rig(data.Pipeline.get(), "JPEG");
        rig.Photo->SetAutoDisplay(false);
        auto photos = rig.Print();
        ASSERT_EQ(photos.size(), 1u);
        EXPECT_EQ(BytesOf(photos[0].Command), "") << "nothing read from the field";
    }
    {
        PhotoRig rig(data.Pipeline.get(), "JPEG");
        rig.Photo->SetAutoDisplay(false);
        int calls = 0;
        rig.Photo->OnGetPicture = [&](TObject* Sender, TPicture* aPicture) {
            EXPECT_EQ(Sender, rig.Photo);
            ++calls;
            aPicture->LoadFromFile(testsupport::DataPath("gfx/pictures/gif.gif"));
        };
        auto photos = rig.Print();
        ASSERT_EQ(photos.size(), 1u);
        EXPECT_EQ(BytesOf(photos[0].Command), Picture("gif.gif"));
        EXPECT_GE(calls, 1);
    }
}

// ---------------------------------------------------------------------------
// Streaming

TEST(ImageStreamTest, ImagesReadBackWithTheirPictureBytesAndSettings) {
    TOutputForm form(nullptr);
    auto* report = new TrpBandedReport(&form);
    report->SetName("Report1");
    report->CreateDefaultBands();
    auto* logo = new TrpImage(&form);
    logo->SetName("Logo");
    logo->SetBand(report->HeaderBand());
    TPicture picture;
    picture.LoadFromFile(testsupport::DataPath("gfx/pictures/jpeg_prog.jpg"));
    logo->SetPicture(&picture);
    logo->SetStretch(true);
    logo->SetCenter(false);
    logo->SetMaintainAspectRatio(true);
    auto* photo = new TrpDBImage(&form);
    photo->SetName("Foto");
    photo->SetBand(report->DetailBand());
    photo->SetDataField("Foto");
    photo->SetGraphicType("JPEG");
    photo->SetAutoDisplay(false);

    auto copy = StreamedCopy(&form);
    auto* l = FindIn<TrpImage>(copy.get(), "Logo");
    auto* p = FindIn<TrpDBImage>(copy.get(), "Foto");
    ASSERT_NE(l, nullptr);
    ASSERT_NE(p, nullptr);
    ASSERT_NE(l->StoredPicture()->Graphic(), nullptr);
    EXPECT_EQ(l->StoredPicture()->Graphic()->ClassName(), "TJPEGImage");
    EXPECT_EQ(l->StoredPicture()->Graphic()->FileBytes(), Picture("jpeg_prog.jpg"));
    EXPECT_TRUE(l->Stretch());
    EXPECT_FALSE(l->Center());
    EXPECT_TRUE(l->MaintainAspectRatio());
    EXPECT_EQ(p->DataField(), "Foto");
    EXPECT_EQ(p->GraphicType(), "JPEG");
    EXPECT_FALSE(p->AutoDisplay());
    EXPECT_TRUE(p->ParentDataPipeline());
    // What a designer or a script binds handlers to.
    for (const char* event : {"OnGetPicture", "OnDrawCommandClick", "OnDrawCommandCreate"})
        EXPECT_TRUE(IsPublishedProp(p, event)) << event;
    EXPECT_TRUE(IsPublishedProp(l, "OnDrawCommandCreate"));
    EXPECT_FALSE(IsPublishedProp(l, "OnGetPicture"));
}

TEST(ImageTest, DescriptionsNameTheFieldOrTheUser) {
    TrpDBImage photo(nullptr);
    photo.SetUserName("Foto");
    EXPECT_EQ(photo.GetDescription(), "Foto");
    photo.SetDataField("Imagem");
    EXPECT_EQ(photo.GetDescription(), "Foto: Imagem");
    EXPECT_EQ(photo.GetCaption(), "Imagem");
    TrpImage logo(nullptr);
    logo.SetUserName("Logo");
    EXPECT_EQ(logo.GetCaption(), "Logo");
}

}  // namespace
