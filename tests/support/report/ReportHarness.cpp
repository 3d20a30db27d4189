#include "tests/support/report/ReportHarness.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "memtable/mtCommon.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"

namespace reporttest {

// ---------------------------------------------------------------------------
// Capture device

CaptureDevice::CaptureDevice(TComponent* AOwner) : TrpDevice(AOwner) {}

void CaptureDevice::ReceivePage(TrpPage* Page) {
    TrpDevice::ReceivePage(Page);
    if (Page == nullptr) return;
    CapturedPage captured;
    captured.Page = std::make_unique<TrpPage>(nullptr);
    captured.Page->Assign(Page);
    for (int i = 0; i < Page->DrawCommandCount(); ++i) {
        auto* component = dynamic_cast<TrpComponent*>(Page->DrawCommands(i)->ReportComponent);
        std::string band = "-";
        std::string name = "-";
        if (component != nullptr) {
            name = component->GetUserName().empty() ? component->Name() : component->GetUserName();
            if (component->Band() != nullptr) band = component->Band()->ClassName();
        }
        captured.Makers.emplace_back(band, name);
    }
    pages_.push_back(std::move(captured));
}

std::vector<const CapturedPage*> CaptureDevice::FinalPages() const {
    std::vector<const CapturedPage*> result;
    for (const CapturedPage& p : pages_)
        if (p.Page->Final() && !p.Page->Calculation()) result.push_back(&p);
    return result;
}

// ---------------------------------------------------------------------------
// Dump

namespace {

std::string ColorText(TColor Color) { return Format("#%.6X", {static_cast<int>(Color & 0xFFFFFF)}); }

std::string StyleText(TFontStyles Style) {
    std::string s;
    if (Style.Contains(fsBold)) s += "B";
    if (Style.Contains(fsItalic)) s += "I";
    if (Style.Contains(fsUnderline)) s += "U";
    if (Style.Contains(fsStrikeOut)) s += "S";
    return s.empty() ? "-" : s;
}

// A stable fingerprint of a picture's bytes.
std::string Fnv1a(const std::string& Bytes) {
    std::uint32_t h = 2166136261u;
    for (unsigned char b : Bytes) h = (h ^ b) * 16777619u;
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(h));
    return text;
}

}  // namespace

std::string DumpPage(const CapturedPage& Captured) {
    const TrpPage* page = Captured.Page.get();
    std::ostringstream out;
    out << "page " << page->AbsolutePageNo() << "/" << page->AbsolutePageCount() << " no " << page->PageNo() << "/"
        << page->PageCount() << " first=" << page->FirstPage() << " last=" << page->LastPage()
        << " final=" << page->Final() << " calculation=" << page->Calculation()
        << " pass=" << static_cast<int>(page->PassSetting()) << " language=" << page->LanguageIndex()
        << " printed=" << FormatDateTime("yyyy-mm-dd hh:nn:ss", page->PrintDateTime()) << " document=\""
        << page->DocumentName() << "\"\n";
    for (int i = 0; i < page->DrawCommandCount(); ++i) {
        TrpDrawCommand* c = page->DrawCommands(i);
        const auto& maker = i < static_cast<int>(Captured.Makers.size()) ? Captured.Makers[static_cast<std::size_t>(i)]
                                                                          : std::pair<std::string, std::string>("-", "-");
        out << "  " << c->ClassName() << " band=" << maker.first << " component=" << maker.second << " rect=" << c->Left()
            << "," << c->Top() << "," << c->Width() << "x" << c->Height();
        if (auto* t = dynamic_cast<TrpDrawText*>(c)) {
            out << " font=" << t->Font()->Name() << "/" << t->Font()->Size() << "/" << StyleText(t->Font()->Style())
                << "/" << ColorText(t->Font()->Color()) << " color=" << ColorText(t->Color())
                << (t->Transparent() ? "/transparent" : "") << " align=" << static_cast<int>(t->Alignment()) << "/"
                << static_cast<int>(t->TextAlignment());
            // A memo's whole text is long: its lines follow below.
            if (t->IsMemo())
                out << " memo=" << t->Text().size() << "B";
            else
                out << " text=\"" << t->Text() << "\"";
            // Wrapped text: the lines laid out on this page, one per line.
            if (t->WrappedText() != nullptr)
                for (int l = 0; l < t->WrappedText()->Count(); ++l) out << "\n    | " << t->WrappedText()->Strings(l);
        }
        if (auto* shape = dynamic_cast<TrpDrawShape*>(c))
            out << " shape=" << static_cast<int>(shape->ShapeType()) << " round=" << shape->XCornerRound() << ","
                << shape->YCornerRound() << " brush=" << static_cast<int>(shape->Brush()->Style()) << "/"
                << ColorText(shape->Brush()->Color()) << " pen=" << shape->Pen()->Width();
        if (auto* line = dynamic_cast<TrpDrawLine*>(c))
            out << " line=" << static_cast<int>(line->LinePosition()) << "/" << static_cast<int>(line->LineStyle())
                << " weight=" << line->Weight() << " pen=" << line->Pen()->Width() << "/"
                << ColorText(line->Pen()->Color()) << "/" << static_cast<int>(line->Pen()->Style());
        if (auto* image = dynamic_cast<TrpDrawImage*>(c)) {
            const TGraphic* graphic = image->Picture()->Graphic();
            out << " image=\"" << image->ImageName() << "\" stretch=" << image->Stretch()
                << " center=" << image->Center() << " aspect=" << image->MaintainAspectRatio()
                << " direct=" << image->DirectDraw() << " transparent=" << image->Transparent();
            if (graphic == nullptr)
                out << " picture=none";
            else
                out << " picture=" << graphic->ClassName() << "/" << graphic->Width() << "x" << graphic->Height() << "/"
                    << graphic->FileBytes().size() << "B/" << Fnv1a(graphic->FileBytes());
        }
        out << "\n";
    }
    return out.str();
}

std::string DumpPages(const std::vector<const CapturedPage*>& Pages) {
    std::string all;
    for (const CapturedPage* p : Pages) all += DumpPage(*p);
    return all;
}

void ExpectGolden(const std::string& Name, const std::string& Text) {
    const std::string path = std::string(FAT_TEST_DATA_DIR) + "/report/" + Name + ".txt";
    const char* update = std::getenv("UPDATE_GOLDENS");
    if (update != nullptr && std::string(update) == "1") {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << Text;
        ASSERT_TRUE(out.good()) << "cannot write " << path;
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in.good()) << "no golden file " << path << " (run with UPDATE_GOLDENS=1 and review it)";
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(expected.str(), Text) << "golden " << path;
}

// ---------------------------------------------------------------------------
// Event recorder

EventRecorder::~EventRecorder() {
    for (TrpCommunicator* s : senders_) s->RemoveEventNotify(this);
}

void EventRecorder::Listen(TrpCommunicator* Sender, std::initializer_list<int> Events) {
    for (int e : Events) EventSet().set(static_cast<std::size_t>(e));
    Sender->AddEventNotify(this);
    senders_.push_back(Sender);
}

void EventRecorder::EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) {
    TrpCommunicator::EventNotify(Sender, EventNumber, Params);
    std::string name = Sender != nullptr ? Sender->ClassName() : "-";
    if (auto* c = dynamic_cast<TComponent*>(Sender); c != nullptr && !c->Name().empty()) name = c->Name();
    entries_.push_back({engine_->AbsolutePageNo(), name, EventNumber});
}

void EventRecorder::Note(const std::string& Sender, int Event) {
    entries_.push_back({engine_->AbsolutePageNo(), Sender, Event});
}

std::string EventRecorder::Trace() const {
    std::string s;
    for (const Entry& e : entries_) s += std::to_string(e.Page) + ":" + e.Sender + ":" + std::to_string(e.Event) + "\n";
    return s;
}

// ---------------------------------------------------------------------------
// Text component

TestText::TestText(TComponent* AOwner) : TrpComponent(AOwner) {
    SetDrawCommandClass(TrpDrawText::StaticClassType());
}

std::string TestText::GetText() const {
    if (DataField().empty()) return Caption();
    TrpDataPipeline* pipeline = GetDataPipeline();
    if (pipeline == nullptr) return {};
    return pipeline->GetFieldAsString(DataField());
}

void TestText::PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) {
    TrpComponent::PropertiesToDrawCommand(DrawCommand);
    auto* text = dynamic_cast<TrpDrawText*>(DrawCommand);
    if (text == nullptr) return;
    const TRect r = PrintRect();
    text->SetLeft(r.Left);
    text->SetTop(r.Top);
    text->SetWidth(r.Right - r.Left);
    text->SetHeight(r.Bottom - r.Top);
    text->SetFont(Font());
    text->SetColor(Color());
    text->SetTransparent(Transparent());
    text->SetTextAlignment(TextAlignment());
    text->SetText(GetText());
}

// ---------------------------------------------------------------------------
// Rows table

RowsTable::RowsTable(std::vector<std::string> Fields, const std::vector<std::vector<Variant>>& Rows,
                     const std::string& Name, int TextSize)
    : table_(std::make_unique<TmtMemTable>(nullptr)),
      source_(std::make_unique<TDataSource>(nullptr)),
      pipeline_(std::make_unique<TrpDBPipeline>(nullptr)) {
    for (std::size_t f = 0; f < Fields.size(); ++f) {
        const bool integer = !Rows.empty() && f < Rows.front().size() && Rows.front()[f].VarType() == varInteger;
        // Text longer than a string field holds comes as a database gives it: a memo.
        const TFieldType text = TextSize > MT_MAX_STRING_SIZE ? ftMemo : ftString;
        table_->FieldDefs()->Add(Fields[f], integer ? ftInteger : text, integer || text == ftMemo ? 0 : TextSize);
    }
    table_->Open();
    for (const auto& row : Rows) table_->AppendRecord(row);
    table_->First();
    source_->SetDataSet(table_.get());
    pipeline_->SetName(Name);
    pipeline_->SetDataSource(source_.get());
}

RowsTable::~RowsTable() {
    pipeline_.reset();
    source_.reset();
    table_.reset();
}

// ---------------------------------------------------------------------------
// Rig

TDateTime RigMoment() { return EncodeDateTime(2026, 3, 14, 9, 30, 0, 0); }

ReportRig::ReportRig()
    : owner_(std::make_unique<TComponent>(nullptr)),
      report_(new TrpBandedReport(owner_.get())),
      device_(std::make_unique<CaptureDevice>()),
      previousClock_(rpSetClock([] { return RigMoment(); })),
      previousSettings_(FormatSettings) {
    FormatSettings = TFormatSettings();
    report_->SetName("Report");
    TrpPageDef* def = report_->PrinterSetup()->PageDef();
    def->SetmmWidth(210000);
    def->SetmmHeight(297000);
    def->SetmmMarginLeft(6350);
    def->SetmmMarginRight(6350);
    def->SetmmMarginTop(6350);
    def->SetmmMarginBottom(6350);
    device_->SetPublisher(report_->Publisher());
}

ReportRig::~ReportRig() {
    device_->SetPublisher(nullptr);
    device_.reset();
    owner_.reset();
    rpSetClock(previousClock_);
    FormatSettings = previousSettings_;
}

TestText* ReportRig::AddText(TrpBand* Band, const std::string& Name, int32_t Left, int32_t Top, int32_t Width,
                             int32_t Height, const std::string& Caption) {
    auto* text = new TestText(owner_.get());
    text->SetName(Name);
    text->SetBounds(Left, Top, Width, Height);
    text->SetBand(Band);
    if (!Caption.empty()) text->SetCaption(Caption);
    return text;
}

void ReportRig::Print() {
    TrpPageRequest request;
    request.SetPageSetting(psAll);
    device_->SetPageRequest(&request);
    device_->RequestPage();
}

void ReportRig::PrintPage(int PageNo) {
    TrpPageRequest request;
    request.SetPageSetting(psSinglePage);
    request.SetPageRequested(PageNo);
    device_->SetPageRequest(&request);
    device_->RequestPage();
}

}  // namespace reporttest
