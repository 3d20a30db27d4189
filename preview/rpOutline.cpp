#include "preview/rpOutline.h"

#include "platform/rtl/Strings.h"
#include "report/rpDevice.h"
#include "report/rpEngine.h"
#include "report/rpExcept.h"
#include "report/rpGeneration.h"
#include "report/rpLanguage.h"
#include "report/rpReport.h"

namespace {

constexpr int kOutlineNodeCreated = 88;
constexpr int kPageText = 18;

}  // namespace

// ---------------------------------------------------------------------------

TClass TrpOutlineNode::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpOutlineNode>("TrpOutlineNode", TrpTreeNode::StaticClassType()).Build();
    return &info;
}

TrpOutlineNode::TrpOutlineNode(TComponent* AOwner) : TrpTreeNode(AOwner) {}

void TrpOutlineNode::Assign(TPersistent* Source) {
    if (auto* other = dynamic_cast<TrpOutlineNode*>(Source)) {
        caption_ = other->caption_;
        key_ = other->key_;
        nodeType_ = other->nodeType_;
        pageNo_ = other->pageNo_;
        return;
    }
    TrpTreeNode::Assign(Source);
}

int TrpOutlineNode::LastPageNo() const {
    int last = pageNo_;
    for (int i = 0; i < ChildNodeCount(); ++i)
        if (auto* child = dynamic_cast<TrpOutlineNode*>(ChildNodes(i)))
            last = TrpMath::Max(last, child->LastPageNo());
    return last;
}

TrpOutlineNode* TrpOutlineNode::FindChild(const std::string& Key) const {
    for (int i = 0; i < ChildNodeCount(); ++i)
        if (auto* child = dynamic_cast<TrpOutlineNode*>(ChildNodes(i)); child != nullptr && child->Key() == Key)
            return child;
    return nullptr;
}

// ---------------------------------------------------------------------------

void TrpOutlinePageNodeCreator::PageFinished(TrpPage* Page) {
    const int pageNo = Page->AbsolutePageNo();
    const std::string key = IntToStr(pageNo);
    // Pages generated again (a second pass, a page asked for anew) keep
    // their node.
    if (outline_.RootNode()->FindChild(key) != nullptr) return;
    auto node = std::make_unique<TrpOutlineNode>(nullptr);
    node->SetKey(key);
    node->SetCaption(rpLanguageText(kPageText) + " " + key);
    node->SetNodeType(ntPage);
    node->SetPageNo(pageNo);
    outline_.AddNode(nullptr, outline_.RootNode(), std::move(node));
}

// ---------------------------------------------------------------------------

TClass TrpOutline::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpOutline>("TrpOutline", TrpCommunicator::StaticClassType()).Build();
    return &info;
}

TrpOutline::TrpOutline(TComponent* AOwner)
    : TrpCommunicator(AOwner), root_(std::make_unique<TrpOutlineNode>(nullptr)) {
    EventSet().set(rpevPageFinished);
}

TrpOutline::~TrpOutline() { Detach(); }

void TrpOutline::SetReport(TrpProducer* Value) {
    if (Value == report_) return;
    Detach();
    Attach(Value);
}

void TrpOutline::Attach(TrpProducer* Value) {
    report_ = Value;
    if (report_ == nullptr) return;
    AddNotify(report_);
    if (auto* report = dynamic_cast<TrpCustomReport*>(report_); report != nullptr && report->Engine() != nullptr) {
        engine_ = report->Engine();
        engine_->AddEventNotify(this);
        AddNotify(engine_);
    }
}

void TrpOutline::Detach() {
    if (engine_ != nullptr) {
        engine_->RemoveEventNotify(this);
        RemoveNotify(engine_);
        engine_ = nullptr;
    }
    if (report_ != nullptr) {
        RemoveNotify(report_);
        report_ = nullptr;
    }
}

void TrpOutline::Notify(TrpCommunicator* Communicator, int Operation) {
    TrpCommunicator::Notify(Communicator, Operation);
    if (Operation != rpopFreeing) return;
    if (Communicator == engine_) engine_ = nullptr;
    if (Communicator == report_) {
        if (engine_ != nullptr) engine_->RemoveEventNotify(this);
        engine_ = nullptr;
        report_ = nullptr;
    }
}

void TrpOutline::Initialize() {
    if (report_ == nullptr) throw EOutlineError("TrpOutline.Initialize: Report is nil.");
    creators_.clear();
    auto* report = dynamic_cast<TrpReport*>(report_);
    if (report == nullptr) return;
    TrpOutlineReportSettings* settings = report->OutlineSettings();
    if (settings->Enabled() && settings->CreatePageNodes())
        creators_.push_back(std::make_unique<TrpOutlinePageNodeCreator>(*this));
}

void TrpOutline::Clear() {
    root_->FreeChildren();
    if (OnTreeChange) OnTreeChange(this);
}

TrpOutlineNode* TrpOutline::AddNode(TObject* Creator, TrpOutlineNode* Parent, std::unique_ptr<TrpOutlineNode> Node) {
    bool accept = true;
    if (OnNodeCreate) OnNodeCreate(Creator, Node.get(), accept);
    if (!accept) return nullptr;
    TrpOutlineNode* node = Node.release();
    node->SetParent(Parent != nullptr ? Parent : root_.get());
    if (OnTreeChange) OnTreeChange(this);
    return node;
}

void TrpOutline::EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) {
    TrpCommunicator::EventNotify(Sender, EventNumber, Params);
    if (EventNumber != rpevPageFinished || engine_ == nullptr || Sender != engine_) return;
    TrpPage* page = static_cast<TrpCustomEngine*>(engine_)->Page();
    if (page == nullptr) return;
    for (auto& creator : creators_) creator->PageFinished(page);
}

// ---------------------------------------------------------------------------

TClass TrpOutlineDrawCommand::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpOutlineDrawCommand>("TrpOutlineDrawCommand", TrpDrawCommand::StaticClassType()).Build();
    return &info;
}

bool TrpOutlineDrawCommand::Draw(TrpDevice*) { return false; }

// ---------------------------------------------------------------------------

namespace preview {

namespace {
TrpReportOutlineFactory previousFactory;
}

void RegisterOutlineClasses() {
    RegisterClasses({TrpOutlineDrawCommand::StaticClassType(), TrpOutlineNode::StaticClassType()});
    previousFactory = rpSetReportOutlineFactory([](TrpReport* Report) -> std::unique_ptr<TrpReportOutline> {
        auto outline = std::make_unique<TrpOutline>(nullptr);
        outline->SetReport(Report);
        outline->OnNodeCreate = [Report](TObject*, TrpOutlineNode*, bool&) {
            Report->SendEventNotify(Report, kOutlineNodeCreated, nullptr);
        };
        return outline;
    });
}

void UnregisterOutlineClasses() {
    rpSetReportOutlineFactory(std::move(previousFactory));
    previousFactory = nullptr;
    UnRegisterClass(TrpOutlineNode::StaticClassType());
    UnRegisterClass(TrpOutlineDrawCommand::StaticClassType());
}

}  // namespace preview
