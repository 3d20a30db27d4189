// Data pipelines over memory tables: ranges and their directions, counts,
// bookmarks, open and close with their events, the field list, master/detail
// links with their collations, skipping masters without details, the
// recorded detail ranges, the saved positions a failed run restores, and
// the faults a pipeline must not have (endless walks, refused settings).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Streams.h"
#include "report/rpExcept.h"
#include "tests/report/PipelineTestSupport.h"
#include "tests/report/ReportTestSupport.h"

using pipetest::EventLog;
using pipetest::Ids;
using pipetest::Row;
using pipetest::TablePipeline;
using pipetest::Walk;

namespace {

std::vector<int> Range(int From, int To) {
    std::vector<int> v;
    for (int i = From; From <= To ? i <= To : i >= To; i += From <= To ? 1 : -1) v.push_back(i);
    return v;
}

// A master over keys and a detail linked to it on Key.
struct MasterDetail {
    MasterDetail(const std::vector<Row>& Masters, const std::vector<Row>& Details)
        : master(Masters, "Master"), detail(Details, "Detail") {
        master.pipe->Open();
        detail.pipe->Open();
        link = detail.pipe->AddLink(master.pipe.get(), "Key", "Key");
    }
    void Prepare() {
        std::vector<TrpDataPipeline*> all{master.pipe.get(), detail.pipe.get()};
        detail.pipe->PrepareTraversal(all);
        master.pipe->PrepareTraversal(all);
    }
    // master id -> detail ids, in traversal order.
    std::vector<std::pair<int, std::vector<int>>> Join() {
        Prepare();
        std::vector<std::pair<int, std::vector<int>>> out;
        TrpDBPipeline& m = *master.pipe;
        m.First();
        while (!m.Eof() && out.size() < 1000) {
            out.push_back({master.Id(), Walk(*detail.pipe)});
            m.Next();
        }
        return out;
    }
    TablePipeline master;
    TablePipeline detail;
    TrpMasterFieldLink* link = nullptr;
};

TEST(PipelineRanges, DirectionFollowsTheRangeEnds) {
    TablePipeline t(Ids(10));
    t.pipe->Open();
    t.pipe->SetRangeBegin(rbLastRecord);
    t.pipe->SetRangeEnd(reFirstRecord);
    EXPECT_EQ(t.pipe->MoveBy(), -1);
    EXPECT_EQ(Walk(*t.pipe), Range(9, 0));
    t.pipe->SetRangeBegin(rbFirstRecord);
    t.pipe->SetRangeEnd(reLastRecord);
    EXPECT_EQ(t.pipe->MoveBy(), 1);
    EXPECT_EQ(Walk(*t.pipe), Range(0, 9));
}

TEST(PipelineRanges, CountStopsAfterItsRecordsAndZeroIsEmpty) {
    TablePipeline t(Ids(10));
    t.pipe->Open();
    t.pipe->SetRangeEnd(reCount);
    t.pipe->SetRangeEndCount(3);
    EXPECT_EQ(Walk(*t.pipe), (std::vector<int>{0, 1, 2}));
    t.pipe->SetRangeEndCount(0);
    t.pipe->First();
    EXPECT_TRUE(t.pipe->Eof());
    EXPECT_TRUE(Walk(*t.pipe).empty());
}

TEST(PipelineRanges, CurrentRecordRangesUseTheRangeBookmark) {
    TablePipeline t(Ids(6));
    t.pipe->Open();
    t.table->MoveBy(3);
    const int here = t.pipe->GetBookmark();
    t.pipe->SetRangeBookmark(here);
    t.pipe->SetRangeBegin(rbCurrentRecord);
    t.pipe->SetRangeEnd(reCurrentRecord);
    EXPECT_EQ(Walk(*t.pipe), (std::vector<int>{3}));
    t.pipe->SetRangeEnd(reLastRecord);
    EXPECT_EQ(Walk(*t.pipe), (std::vector<int>{3, 4, 5}));
    t.pipe->SetRangeEnd(reFirstRecord);
    EXPECT_EQ(Walk(*t.pipe), (std::vector<int>{3, 2, 1, 0}));
    t.pipe->SetRangeBegin(rbFirstRecord);
    t.pipe->SetRangeEnd(reCurrentRecord);
    EXPECT_EQ(Walk(*t.pipe), (std::vector<int>{0, 1, 2, 3}));
    t.pipe->SetRangeBegin(rbLastRecord);
    EXPECT_EQ(Walk(*t.pipe), (std::vector<int>{5, 4, 3}));
    t.pipe->FreeBookmark(here);
    EXPECT_EQ(t.pipe->BookmarkCount(), 0);
}

TEST(PipelineRanges, WalkingBackToARangeBookmarkOnTheFirstRecordEnds) {
    // The first record is the range's end: reaching the data's start must
    // end the walk, not repeat that record for ever.
    TablePipeline t(Ids(4));
    t.pipe->Open();
    const int first = t.pipe->GetBookmark();
    t.pipe->SetRangeBookmark(first);
    t.pipe->SetRangeBegin(rbLastRecord);
    t.pipe->SetRangeEnd(reCurrentRecord);
    EXPECT_EQ(Walk(*t.pipe, 20), (std::vector<int>{3, 2, 1, 0}));
}

TEST(PipelineRanges, LastWithACountBeyondTheDataStopsAtItsEnd) {
    TablePipeline t(Ids(5));
    t.pipe->Open();
    t.pipe->SetRangeEnd(reCount);
    t.pipe->SetRangeEndCount(1000000);
    EventLog log(t.pipe.get(), {rpevNext, rpevLast});
    t.pipe->Last();
    EXPECT_EQ(log.Count("Pipe:43"), 5);
    EXPECT_EQ(log.Count("Pipe:45"), 1);
    EXPECT_EQ(t.Id(), 4);
    EXPECT_NE(t.pipe->States() & rppsLastRecord, 0);
}

TEST(PipelineRanges, ASecondWalkAfterTheDataMovedFromOutsideWalksAgain) {
    // The first walk leaves its count behind; the application then moves
    // the dataset back to its first record (a grid, a refresh). That must
    // not read as "no records" on the next run.
    TablePipeline t(Ids(5));
    t.pipe->Open();
    t.pipe->SetRangeEnd(reCount);
    t.pipe->SetRangeEndCount(2);
    EXPECT_EQ(Walk(*t.pipe), (std::vector<int>{0, 1}));
    t.table->First();
    EXPECT_EQ(Walk(*t.pipe), (std::vector<int>{0, 1}));
}

TEST(PipelineRanges, NegativeCountsAndAZeroStepAreRefused) {
    TablePipeline t(Ids(3));
    t.pipe->SetRangeEndCount(4);
    t.pipe->SetRangeEndCount(-2);
    EXPECT_EQ(t.pipe->RangeEndCount(), 4);
    t.pipe->SetMoveBy(0);
    EXPECT_EQ(t.pipe->MoveBy(), 1);
    t.pipe->SetMoveBy(-1);
    t.pipe->SetMoveBy(0);
    EXPECT_EQ(t.pipe->MoveBy(), -1);
}

TEST(PipelineRanges, AStoredZeroStepReadsAsOne) {
    TablePipeline t(Ids(3));
    TStringStream text("object Pipe: TrpDBPipeline\n  MoveBy = 0\n  RangeEndCount = -5\nend\n");
    TMemoryStream binary;
    ObjectTextToBinary(text, binary);
    binary.SetPosition(0);
    ReadComponent(binary, t.pipe.get());
    EXPECT_EQ(t.pipe->MoveBy(), 1);
    EXPECT_EQ(t.pipe->RangeEndCount(), 0);
    t.pipe->Open();
    EXPECT_EQ(Walk(*t.pipe, 10), (std::vector<int>{0, 1, 2}));
}

TEST(PipelineStreams, AStoredMasterNameFindsItsPipelineAfterLoading) {
    TComponent form(nullptr);
    TStringStream text(
        "object Form1: TComponent\n"
        "  object plItem: TrpDBPipeline\n"
        "    MasterDataPipelineName = 'PLMESTRE'\n"
        "    OnOpen = ItemAberto\n"
        "  end\n"
        "  object plMestre: TrpDBPipeline\n"
        "    RangeEnd = reCount\n"
        "    RangeEndCount = 3\n"
        "  end\n"
        "end\n");
    int opened = 0;
    form.RegisterMethod("ItemAberto", std::any(TNotifyEvent([&](TObject*) { ++opened; })));
    TMemoryStream binary;
    ObjectTextToBinary(text, binary);
    binary.SetPosition(0);
    ReadComponent(binary, &form);
    auto* item = dynamic_cast<TrpDBPipeline*>(form.FindComponent("plItem"));
    auto* mestre = dynamic_cast<TrpDBPipeline*>(form.FindComponent("plMestre"));
    ASSERT_NE(item, nullptr);
    ASSERT_NE(mestre, nullptr);
    EXPECT_EQ(item->MasterDataPipeline(), mestre);
    EXPECT_EQ(mestre->RangeEnd(), reCount);
    EXPECT_EQ(mestre->RangeEndCount(), 3);
    // An older stream's open handler is the after-open handler.
    item->Open();
    EXPECT_EQ(opened, 1);
    TrpDataPipelineList list(item);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.FindPipeline("PLITEM"), item);
}

TEST(PipelineBookmarks, HandlesStandForTheDatasetsBookmarks) {
    TablePipeline t(Ids(5));
    t.pipe->Open();
    t.pipe->First();
    const int b0 = t.pipe->GetBookmark();
    t.pipe->Next();
    t.pipe->Next();
    const int b2 = t.pipe->GetBookmark();
    EXPECT_NE(b0, 0);
    EXPECT_NE(b0, b2);
    EXPECT_EQ(t.pipe->BookmarkCount(), 2);
    EXPECT_EQ(t.pipe->CompareBookmarks(b0, b2), -1);
    EXPECT_EQ(t.pipe->CompareBookmarks(b2, b0), 1);
    EXPECT_EQ(t.pipe->CompareBookmarks(b2, b2), 0);
    EventLog log(t.pipe.get(), {rpevGotoBookmark, rpevTraversal});
    t.pipe->GotoBookmark(b0);
    EXPECT_EQ(t.Id(), 0);
    EXPECT_EQ(log.events, (std::vector<std::string>{"Pipe:40", "Pipe:39"}));
    t.pipe->FreeBookmark(b0);
    EXPECT_FALSE(t.pipe->BookmarkValid(b0));
    EXPECT_TRUE(t.pipe->BookmarkValid(b2));
    t.pipe->FreeAllBookmarks();
    EXPECT_EQ(t.pipe->BookmarkCount(), 0);
}

TEST(PipelineBookmarks, ABookmarkListIsWalkedInsteadOfTheData) {
    TablePipeline t(Ids(6));
    t.pipe->Open();
    std::vector<int> marks;
    for (int target : {4, 1, 5}) {
        t.table->First();
        t.table->MoveBy(target);
        marks.push_back(t.pipe->GetBookmark());
    }
    t.pipe->BookmarkList() = marks;
    EXPECT_EQ(Walk(*t.pipe), (std::vector<int>{4, 1, 5}));
    t.pipe->Last();
    EXPECT_EQ(t.Id(), 5);
    t.pipe->Prior();
    EXPECT_EQ(t.Id(), 1);
}

TEST(PipelineOpenClose, EventsInOrderAndBeforeCloseOnce) {
    TablePipeline t(Ids(2));
    t.pipe->SetCloseDataSource(true);
    EventLog log(t.pipe.get(), {rpevBeforeOpen, rpevAfterOpen, rpevBeforeClose, rpevAfterClose});
    t.pipe->Open();
    EXPECT_TRUE(t.pipe->Active());
    t.pipe->Close();
    EXPECT_FALSE(t.table->Active());
    EXPECT_FALSE(t.pipe->Active());
    EXPECT_EQ(log.Count("Pipe:132"), 1);
    EXPECT_EQ(log.Count("Pipe:133"), 1);
    EXPECT_EQ(log.events.front(), "Pipe:130");
    EXPECT_EQ(log.events[1], "Pipe:131");
    EXPECT_EQ(t.pipe->RecordIndex(), -1);
    EXPECT_EQ(t.pipe->States(), 0);
}

TEST(PipelineOpenClose, ClosingTheDatasetFromOutsideClosesThePipeline) {
    TablePipeline t(Ids(3));
    t.pipe->Open();
    t.pipe->First();
    EventLog log(t.pipe.get(), {rpevBeforeClose, rpevAfterClose, rpevDataDefinitionChange});
    t.table->Close();
    EXPECT_FALSE(t.pipe->Active());
    EXPECT_EQ(log.Count("Pipe:132"), 1);
    EXPECT_EQ(log.Count("Pipe:133"), 1);
    EXPECT_EQ(log.Count("Pipe:36"), 1);
    EXPECT_TRUE(t.pipe->GetFieldValue("Id").IsNull());
}

TEST(PipelineOpenClose, WithoutOpenDataSourceAClosedDatasetStaysClosed) {
    TablePipeline t(Ids(3));
    t.table->Close();
    t.pipe->SetOpenDataSource(false);
    t.pipe->Open();
    EXPECT_FALSE(t.pipe->Active());
    t.pipe->SetOpenDataSource(true);
    t.pipe->Open();
    EXPECT_TRUE(t.pipe->Active());
}

TEST(PipelineOpenClose, NoDatasetMeansNoRecordsAndNoErrors) {
    TDataSource empty(nullptr);
    TrpDBPipeline pipe(nullptr);
    pipe.SetDataSource(&empty);
    EXPECT_NO_THROW({
        pipe.Open();
        pipe.First();
        pipe.Next();
        pipe.Last();
        pipe.Prior();
    });
    EXPECT_TRUE(pipe.Bof());
    EXPECT_TRUE(pipe.Eof());
    EXPECT_FALSE(pipe.HasRecord());
    EXPECT_TRUE(pipe.GetFieldValue("Id").IsNull());
    EXPECT_EQ(pipe.GetBookmark(), 0);
    EXPECT_EQ(pipe.FieldCount(), 0);

    TablePipeline t({});
    t.pipe->Open();
    t.pipe->First();
    EXPECT_EQ(t.pipe->States(), rppsNoRecords);
}

TEST(PipelineOpenClose, FreeingTheDataSourceClosesAndForgetsIt) {
    TablePipeline t(Ids(3));
    t.pipe->Open();
    t.source.reset();
    EXPECT_EQ(t.pipe->DataSource(), nullptr);
    EXPECT_FALSE(t.pipe->Active());
    EXPECT_TRUE(Walk(*t.pipe).empty());
}

// A dataset freed while a pipeline still reads it, freed alone or by its
// owner, the pipeline open or not: the pipeline lets go of it, stands on no
// record, and reads the next dataset its source is given.
TEST(PipelineOpenClose, ADatasetFreedBeforeItsPipelineIsLetGoOf) {
    for (const bool owned : {false, true})
        for (const bool opened : {false, true}) {
            SCOPED_TRACE(std::string(owned ? "freed by its owner" : "freed alone") + (opened ? ", open" : ""));
            TablePipeline t(Ids(3));
            auto owner = std::make_unique<TComponent>(nullptr);
            if (owned) {
                auto* table = new TmtMemTable(owner.get());
                table->FieldDefs()->Add("Id", ftInteger);
                table->Open();
                table->AppendRecord({Variant(7)});
                t.source->SetDataSet(table);
            }
            if (opened) {
                t.pipe->Open();
                EXPECT_EQ(Walk(*t.pipe).size(), owned ? 1u : 3u);
            }
            if (owned)
                owner.reset();
            else
                t.table.reset();
            EXPECT_EQ(t.source->DataSet(), nullptr);
            EXPECT_FALSE(t.pipe->Active());
            EXPECT_TRUE(Walk(*t.pipe).empty());
            EXPECT_TRUE(t.pipe->GetFieldValue("Id").IsNull());
            TablePipeline next(Ids(2), "Next");
            t.source->SetDataSet(next.table.get());
            t.pipe->Open();
            EXPECT_EQ(Walk(*t.pipe), (std::vector<int>{0, 1}));
            t.pipe->Close();
            t.source->SetDataSet(nullptr);
        }
}

TEST(PipelineFields, TheFieldListFollowsTheDataset) {
    auto table = std::make_unique<TmtMemTable>(nullptr);
    table->FieldDefs()->Add("Codigo", ftInteger);
    table->FieldDefs()->Add("Nome", ftString, 30);
    table->FieldDefs()->Add("Valor", ftFloat);
    table->FieldDefs()->Add("Obs", ftMemo);
    table->FieldDefs()->Add("Ativo", ftBoolean);
    table->Open();
    table->AppendRecord({Variant(7), Variant("Ação"), Null(), Null(), Null()});
    TDataSource source(nullptr);
    source.SetDataSet(table.get());
    TComponent form(nullptr);
    TrpDBPipeline& pipe = *new TrpDBPipeline(&form);
    pipe.SetName("plItens");
    pipe.SetDataSource(&source);
    pipe.Open();
    ASSERT_EQ(pipe.FieldCount(), 5);
    TrpField* codigo = pipe.Fields(0);
    EXPECT_EQ(codigo->Name(), "plItensrpField1");
    EXPECT_EQ(codigo->FieldAlias(), "Codigo");
    EXPECT_EQ(codigo->DataType(), dtInteger);
    EXPECT_EQ(codigo->Alignment(), taRightJustify);
    EXPECT_EQ(pipe.Fields(1)->FieldLength(), 30);
    EXPECT_EQ(pipe.Fields(1)->Alignment(), taLeftJustify);
    EXPECT_EQ(pipe.Fields(2)->DataType(), dtDouble);
    EXPECT_EQ(pipe.Fields(3)->DataType(), dtMemo);
    EXPECT_FALSE(pipe.Fields(3)->Searchable());
    EXPECT_FALSE(pipe.Fields(3)->Sortable());
    EXPECT_TRUE(pipe.Fields(1)->Searchable());
    EXPECT_EQ(pipe.Fields(4)->FieldPosition(), 4);
    pipe.First();
    EXPECT_EQ(pipe.FieldValues("codigo").AsInteger(), 7);
    EXPECT_EQ(pipe.FieldValues("Nome").AsString(), "Ação");
    // Empty values come out as their type's default.
    EXPECT_EQ(pipe.FieldValues("Valor").VarType(), varInteger);
    EXPECT_EQ(pipe.FieldValues("Valor").AsInteger(), 0);
    EXPECT_EQ(pipe.FieldValues("Obs").AsString(), "");
    EXPECT_FALSE(pipe.FieldValues("Ativo").AsBoolean());
    EXPECT_TRUE(pipe.GetFieldValue("Valor").IsNull());
    EXPECT_EQ(codigo->AsString(), "7");
    EXPECT_DOUBLE_EQ(codigo->AsDouble(), 7);
    EXPECT_FALSE(codigo->IsNull());
    EXPECT_EQ(pipe.IndexOfFieldName("Valor"), 2);

    // A layout change drops cached lookups: the field objects may be new.
    table->Close();
    EXPECT_EQ(pipe.FieldCount(), 0);
    table->Open();
    table->AppendRecord({Variant(7), Variant("Ação"), Null(), Null(), Null()});
    pipe.Open();
    pipe.First();
    EXPECT_EQ(pipe.GetFieldValue("Codigo").AsInteger(), 7);
    EXPECT_EQ(pipe.FieldCount(), 5);
}

TEST(PipelineFields, MandatoryAndShowAllValuesExcludeEachOtherAndEqualityCoversAll) {
    TrpField a(nullptr), b(nullptr);
    a.SetMandatory(true);
    a.SetShowAllValues(true);
    EXPECT_FALSE(a.Mandatory());
    a.SetMandatory(true);
    EXPECT_FALSE(a.ShowAllValues());
    a.SetFieldAlias("Cliente");
    a.SetSortType(soDescending);
    a.SetTableAlias("c");
    EXPECT_FALSE(a.IsEqual(b));
    b.Assign(&a);
    EXPECT_TRUE(a.IsEqual(b));
    b.SetSearchOrder(3);
    EXPECT_FALSE(a.IsEqual(b));
    // Without a pipeline a field has no value.
    EXPECT_TRUE(a.IsNull());
    EXPECT_EQ(a.AsString(), "");
    EXPECT_DOUBLE_EQ(a.AsDouble(), 0);
}

class NoBlobPipeline : public TrpCustomDataPipeline {
public:
    explicit NoBlobPipeline(TComponent* Owner) : TrpCustomDataPipeline(Owner) {}
    bool IsSupportedDataType(TrpDataType T) const override { return T != dtBLOB; }
};

TEST(PipelineFields, UnsupportedTypesAreRefused) {
    NoBlobPipeline pipe(nullptr);
    TrpField* f = pipe.CreateField("Nome", dtString, 12);
    EXPECT_EQ(f->DisplayWidth(), 12);
    EXPECT_EQ(f->FieldLength(), 12);
    try {
        pipe.CreateField("Foto", dtBLOB, 0);
        FAIL() << "a blob field was made";
    } catch (const EInvalidPropertyError& e) {
        EXPECT_EQ(e.Message(), "DataType not supported by TrpCustomDataPipeline");
    }
    EXPECT_EQ(pipe.FieldCount(), 1);
    EXPECT_THROW(f->SetDataType(dtBLOB), EInvalidPropertyError);
    EXPECT_EQ(f->DataType(), dtString);
}

TEST(PipelineFields, LocateCutsTextToTheFieldSize) {
    auto table = std::make_unique<TmtMemTable>(nullptr);
    table->FieldDefs()->Add("Sigla", ftString, 3);
    table->Open();
    for (const char* s : {"ABC", "XYZ"}) table->AppendRecord({Variant(s)});
    TDataSource source(nullptr);
    source.SetDataSet(table.get());
    TrpDBPipeline pipe(nullptr);
    pipe.SetDataSource(&source);
    EXPECT_TRUE(pipe.Locate("Sigla", Variant("XYZW"), 0));
    EXPECT_EQ(table->FieldByName("Sigla")->AsString(), "XYZ");
    EXPECT_TRUE(pipe.Locate("Sigla", Variant("abcd"), 1));
    EXPECT_EQ(table->FieldByName("Sigla")->AsString(), "ABC");
    EXPECT_FALSE(pipe.Locate("Sigla", Variant("QQQ"), 0));
}

TEST(PipelineLinks, AddLinkNeedsAMasterAndCyclesAreRefused) {
    TablePipeline a(Ids(1), "A"), b(Ids(1), "B");
    try {
        a.pipe->AddLink(nullptr, "Key", "Key");
        FAIL();
    } catch (const EDataError& e) {
        EXPECT_EQ(e.Message(), "TrpCustomDataPipeline.AddLink: Unable to create link, MasterDataPipeline is nil");
    }
    b.pipe->SetMasterDataPipeline(a.pipe.get());
    a.pipe->SetMasterDataPipeline(b.pipe.get());
    EXPECT_EQ(a.pipe->MasterDataPipeline(), nullptr);
    a.pipe->SetMasterDataPipeline(a.pipe.get());
    EXPECT_EQ(a.pipe->MasterDataPipeline(), nullptr);
    EXPECT_THROW(a.pipe->AddLink(b.pipe.get(), "Key", "Key"), EDataError);
    EXPECT_EQ(a.pipe->LinkCount(), 0);
    // A new master drops the old master's links.
    TablePipeline c(Ids(1), "C");
    b.pipe->AddLink(a.pipe.get(), "Key", "Key");
    EXPECT_TRUE(b.pipe->IsLinked());
    b.pipe->SetMasterDataPipeline(c.pipe.get());
    EXPECT_EQ(b.pipe->LinkCount(), 0);
    EXPECT_FALSE(b.pipe->IsLinked());
}

TEST(PipelineLinks, AFreedMasterLeavesTheDetailUnlinked) {
    auto master = std::make_unique<TablePipeline>(Ids(2), "M");
    TablePipeline detail(Ids(2), "D");
    detail.pipe->AddLink(master->pipe.get(), "Key", "Key");
    master.reset();
    EXPECT_EQ(detail.pipe->MasterDataPipeline(), nullptr);
    EXPECT_EQ(detail.pipe->LinkCount(), 0);
    detail.pipe->Open();
    EXPECT_EQ(Walk(*detail.pipe), (std::vector<int>{0, 1}));
}

TEST(PipelineLinks, NullsComeFirstAndMatchEachOther) {
    TrpMasterFieldLink link(nullptr);
    EXPECT_LT(rpCompareLinkValues(Null(), Variant("A"), link, dtString), 0);
    EXPECT_EQ(rpCompareLinkValues(Null(), Null(), link, dtString), 0);
    EXPECT_GT(rpCompareLinkValues(Variant("A"), Null(), link, dtString), 0);
    EXPECT_LT(rpCompareLinkValues(Null(), Variant(0), link, dtInteger), 0);

    MasterDetail md({{1, std::nullopt}, {2, "b"}}, {{10, std::nullopt}, {11, std::nullopt}, {12, "B"}});
    EXPECT_EQ(md.Join(), (std::vector<std::pair<int, std::vector<int>>>{{1, {10, 11}}, {2, {12}}}));
}

TEST(PipelineLinks, CollationsAndCaseFollowTheLink) {
    TrpMasterFieldLink link(nullptr);
    // pt-BR, case-insensitive, accents significant: "a" < "á" < "b".
    EXPECT_EQ(rpCompareLinkValues(Variant("AÇÃO"), Variant("ação"), link, dtString), 0);
    EXPECT_LT(rpCompareLinkValues(Variant("acao"), Variant("ação"), link, dtString), 0);
    EXPECT_LT(rpCompareLinkValues(Variant("á"), Variant("b"), link, dtString), 0);
    link.SetIsCaseSensitive(true);
    EXPECT_NE(rpCompareLinkValues(Variant("Ab"), Variant("ab"), link, dtString), 0);
    link.SetCollationType(ctASCII);
    // Code point order: every capital before every small letter.
    EXPECT_LT(rpCompareLinkValues(Variant("Z"), Variant("a"), link, dtString), 0);
    EXPECT_GT(rpCompareLinkValues(Variant("á"), Variant("b"), link, dtString), 0);
    link.SetIsCaseSensitive(false);
    EXPECT_EQ(rpCompareLinkValues(Variant("abc"), Variant("ABC"), link, dtString), 0);
    link.SetDetailSortOrder(soDescending);
    EXPECT_GT(rpCompareLinkValues(Variant("a"), Variant("b"), link, dtString), 0);
    // Numbers compare by value, not by text.
    link.SetDetailSortOrder(soAscending);
    EXPECT_LT(rpCompareLinkValues(Variant(9), Variant(10), link, dtInteger), 0);
}

TEST(PipelineLinks, GuidTextsAndTheirCollations) {
    const TrpGuidBytes g = rpTextToGuid("{00112233-4455-6677-8899-AABBCCDDEEFF}");
    const TrpGuidBytes expected = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                   0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_EQ(g, expected);
    EXPECT_EQ(rpTextToGuid("00112233-4455-6677-8899-aabbccddeeff"), expected);
    EXPECT_EQ(rpTextToGuid("not a guid"), TrpGuidBytes{});
    TrpMasterFieldLink link(nullptr);
    const Variant a("{10000000-0000-0000-0000-000000000002}");
    const Variant b("{20000000-0000-0000-0000-000000000001}");
    // The server order looks at the last six bytes first.
    link.SetGuidCollationType(gcMSSQLServer);
    EXPECT_GT(rpCompareLinkValues(a, b, link, dtGUID), 0);
    link.SetGuidCollationType(gcGuid);
    EXPECT_LT(rpCompareLinkValues(a, b, link, dtGUID), 0);
    // As texts otherwise.
    link.SetGuidCollationType(gcString);
    EXPECT_LT(rpCompareLinkValues(a, b, link, dtGUID), 0);
}

TEST(PipelineLinks, MastersWithoutDetailsAreSkippedUnlessADetailSaysNot) {
    MasterDetail md({{1, "A"}, {2, "B"}, {3, "C"}}, {{10, "A"}, {11, "A"}, {30, "C"}});
    EXPECT_EQ(md.Join(), (std::vector<std::pair<int, std::vector<int>>>{{1, {10, 11}}, {3, {30}}}));
    md.detail.pipe->SetSkipWhenNoRecords(false);
    EXPECT_EQ(md.Join(), (std::vector<std::pair<int, std::vector<int>>>{{1, {10, 11}}, {2, {}}, {3, {30}}}));
}

TEST(PipelineLinks, ADescendingLinkFindsItsRowsInDescendingData) {
    MasterDetail md({{1, "a"}, {2, "c"}, {3, "e"}}, {{50, "e"}, {51, "E"}, {40, "d"}, {10, "a"}});
    md.link->SetDetailSortOrder(soDescending);
    EXPECT_EQ(md.Join(), (std::vector<std::pair<int, std::vector<int>>>{{1, {10}}, {3, {50, 51}}}));
}

TEST(PipelineLinks, ADetailWalkedFromItsLastRecordGivesItsRowsReversed) {
    MasterDetail md({{1, "A"}, {2, "B"}, {3, "C"}},
                    {{10, "A"}, {11, "A"}, {20, "B"}, {21, "B"}, {22, "B"}, {30, "C"}});
    md.detail.pipe->SetRangeBegin(rbLastRecord);
    md.detail.pipe->SetRangeEnd(reFirstRecord);
    EXPECT_EQ(md.Join(), (std::vector<std::pair<int, std::vector<int>>>{{1, {11, 10}}, {2, {22, 21, 20}}, {3, {30}}}));
    // Last of a forward detail stands on the master's last detail row.
    md.detail.pipe->SetRangeBegin(rbFirstRecord);
    md.detail.pipe->SetRangeEnd(reLastRecord);
    md.Prepare();
    md.master.pipe->First();
    md.master.pipe->Next();
    md.detail.pipe->Last();
    EXPECT_EQ(md.detail.Id(), 22);
    EXPECT_NE(md.detail.pipe->States() & rppsLastRecord, 0);
}

TEST(PipelineLinks, SteppingBackUsesTheRecordedDetailRange) {
    std::vector<Row> details;
    for (int i = 0; i < 6; ++i) details.push_back({10 + i, "A"});
    details.push_back({20, "B"});
    MasterDetail md({{1, "A"}, {2, "B"}}, details);
    md.Prepare();
    TrpDBPipeline& m = *md.master.pipe;
    m.First();
    EXPECT_EQ(Walk(*md.detail.pipe).size(), 6u);
    m.Next();
    EXPECT_EQ(Walk(*md.detail.pipe), (std::vector<int>{20}));
    ASSERT_NE(md.detail.pipe->LinkRangeIndex(), nullptr);
    EXPECT_EQ(md.detail.pipe->LinkRangeIndex()->FirstIndex(m.RecordIndex() - 1), 0);
    EXPECT_EQ(md.detail.pipe->LinkRangeIndex()->LastIndex(m.RecordIndex() - 1), 5);
    int scrolls = 0;
    md.detail.table->AfterScroll = [&](TDataSet*) { ++scrolls; };
    m.Prior();
    // One jump to the first "A" row, not a search row by row.
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(md.detail.Id(), 10);
    EXPECT_EQ(Walk(*md.detail.pipe).size(), 6u);
}

TEST(PipelineLinks, DetailsFollowTheirMastersOwnDatasetLink) {
    TablePipeline master({{1, "A"}, {2, "B"}}, "Master");
    auto detailTable = std::make_unique<TmtMemTable>(nullptr);
    detailTable->FieldDefs()->Add("Id", ftInteger);
    detailTable->FieldDefs()->Add("Key", ftString, 10);
    detailTable->Open();
    detailTable->AppendRecord({Variant(10), Variant("A")});
    detailTable->AppendRecord({Variant(20), Variant("B")});
    detailTable->AppendRecord({Variant(21), Variant("B")});
    detailTable->SetDetailFields("Key");
    detailTable->SetMasterFields("Key");
    detailTable->SetMasterSource(master.source.get());
    TDataSource detailSource(nullptr);
    detailSource.SetDataSet(detailTable.get());
    TrpDBPipeline detail(nullptr);
    detail.SetName("Detail");
    detail.SetDataSource(&detailSource);
    master.pipe->Open();
    detail.Open();
    std::vector<TrpDataPipeline*> all{master.pipe.get(), &detail};
    master.pipe->PrepareTraversal(all);
    EXPECT_EQ(detail.MasterDataPipeline(), master.pipe.get());
    EXPECT_FALSE(detail.IsLinked());
    EXPECT_EQ(master.pipe->DetailPipelines().size(), 1u);
    std::vector<std::vector<int>> seen;
    master.pipe->First();
    while (!master.pipe->Eof()) {
        seen.push_back(Walk(detail));
        master.pipe->Next();
    }
    EXPECT_EQ(seen, (std::vector<std::vector<int>>{{10}, {20, 21}}));
    detail.SetDataSource(nullptr);
}

#ifndef NDEBUG
TEST(PipelineLinks, DetailRowsOutOfTheLinksOrderAreReported) {
    std::vector<std::string> reports;
    TrpLinkOrderReporter previous =
        rpSetLinkOrderReporter([&](TrpDataPipeline*, const std::string& m) { reports.push_back(m); });
    // "B" after "C": the walk for master B never gets there.
    MasterDetail md({{1, "A"}, {2, "B"}, {3, "C"}}, {{10, "A"}, {30, "C"}, {20, "B"}});
    md.Join();
    rpSetLinkOrderReporter(previous);
    ASSERT_FALSE(reports.empty());
    EXPECT_NE(reports.front().find("Detail"), std::string::npos);

    reports.clear();
    previous = rpSetLinkOrderReporter([&](TrpDataPipeline*, const std::string& m) { reports.push_back(m); });
    MasterDetail sorted({{1, "A"}, {2, "B"}, {3, "C"}}, {{10, "A"}, {20, "b"}, {21, "B"}, {30, "C"}});
    sorted.Join();
    rpSetLinkOrderReporter(previous);
    EXPECT_TRUE(reports.empty());
}
#endif

TEST(PipelinePositions, AFailedRunPutsThePipelinesBackAndFreesItsBookmarks) {
    MasterDetail md({{1, "A"}, {2, "B"}, {3, "C"}}, {{10, "A"}, {20, "B"}, {21, "B"}, {30, "C"}});
    md.Prepare();
    TrpDBPipeline& m = *md.master.pipe;
    TrpDBPipeline& d = *md.detail.pipe;
    m.First();
    m.Next();
    d.First();
    d.Next();
    ASSERT_EQ(md.master.Id(), 2);
    ASSERT_EQ(md.detail.Id(), 21);
    const int masterCount = m.TraversalCount();
    const int detailIndex = d.RecordIndex();
    try {
        TrpPipelinePositions saved({&d, &m});
        EXPECT_EQ(m.BookmarkCount(), 1);
        EXPECT_EQ(d.BookmarkCount(), 1);
        try {
            m.Next();
            d.First();
            throw EPrintError("failed");
        } catch (...) {
            saved.Restore();
            throw;
        }
    } catch (const EPrintError&) {
    }
    EXPECT_EQ(md.master.Id(), 2);
    EXPECT_EQ(md.detail.Id(), 21);
    EXPECT_EQ(m.TraversalCount(), masterCount);
    EXPECT_EQ(d.RecordIndex(), detailIndex);
    EXPECT_EQ(m.BookmarkCount(), 0);
    EXPECT_EQ(d.BookmarkCount(), 0);
    // The walk goes on from there.
    d.Next();
    EXPECT_TRUE(d.Eof());
    m.Next();
    EXPECT_EQ(md.master.Id(), 3);
    EXPECT_EQ(Walk(d), (std::vector<int>{30}));
}

TEST(PipelineEvents, TraversalSendsItsEventsAndDetailsHearTheirMaster) {
    MasterDetail md({{1, "A"}, {2, "B"}}, {{10, "A"}, {20, "B"}});
    md.Prepare();
    EventLog masterLog(md.master.pipe.get(), {rpevFirst, rpevNext, rpevRecordPositionChange});
    EventLog detailLog(md.detail.pipe.get(), {rpevMasterRecordPositionChange, rpevFirst});
    md.master.pipe->First();
    md.master.pipe->Next();
    EXPECT_EQ(masterLog.Count("Master:42"), 1);
    EXPECT_EQ(masterLog.Count("Master:43"), 1);
    EXPECT_GE(masterLog.Count("Master:37"), 2);
    EXPECT_EQ(detailLog.Count("Detail:38"), masterLog.Count("Master:37"));
    EXPECT_EQ(detailLog.Count("Detail:42"), detailLog.Count("Detail:38"));
    EXPECT_EQ(md.detail.Id(), 20);
}

}  // namespace
