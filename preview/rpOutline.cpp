#include "preview/rpOutline.h"

#include <algorithm>

#include "platform/rtl/Strings.h"
#include "report/rpDevice.h"
#include "report/rpBands.h"
#include "report/rpEngine.h"
#include "report/rpExcept.h"
#include "report/rpGeneration.h"
#include "report/rpGroup.h"
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

namespace {

std::string GroupNodeKey(TrpGroup* Group) { return Group->Name() + ":" + IntToStr(Group->GroupInstance()); }

}  // namespace

void TrpOutlineGroupNodeCreator::GroupStarted() {
    pending_.push_back({group_->GroupInstance(), group_->OutlineCaption(), outline_.EnclosingKey(group_)});
}

void TrpOutlineGroupNodeCreator::PageFinished(TrpPage* Page) {
    const int pageNo = Page->AbsolutePageNo();
    // A header that found no room on the page where the break was heard
    // starts the group on a later page.
    if (pending_.empty() || group_->FirstPage() > pageNo) return;
    TrpOutlineNode* pageNode = outline_.RootNode()->FindChild(IntToStr(pageNo));
    if (pageNode == nullptr) pageNode = outline_.RootNode();
    for (const Start& start : pending_) {
        TrpOutlineNode* parent = start.enclosingKey.empty() ? nullptr : outline_.FindNode(start.enclosingKey);
        if (parent == nullptr) parent = pageNode;
        const std::string key = group_->Name() + ":" + IntToStr(start.instance);
        // A page generated again keeps the node it made the first time.
        if (parent->FindChild(key) != nullptr) continue;
        auto node = std::make_unique<TrpOutlineNode>(nullptr);
        node->SetKey(key);
        node->SetCaption(start.caption);
        node->SetNodeType(ntGroup);
        node->SetPageNo(pageNo);
        outline_.AddNode(this, parent, std::move(node));
    }
    pending_.clear();
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
    EventSet().set(rpevBeforeGroupBreak);
}

TrpOutline::~TrpOutline() {
    ListenToGroups(false);
    Detach();
}

void TrpOutline::ListenToGroups(bool On) {
    if (!On) {
        for (TrpGroup* g : groups_) {
            g->RemoveEventNotify(this);
            RemoveNotify(g);
        }
        groups_.clear();
        return;
    }
    for (auto& creator : creators_)
        if (auto* groupCreator = dynamic_cast<TrpOutlineGroupNodeCreator*>(creator.get())) {
            TrpGroup* g = groupCreator->Group();
            groups_.push_back(g);
            g->AddEventNotify(this);
            AddNotify(g);
        }
}

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
    if (auto it = std::find(groups_.begin(), groups_.end(), Communicator); it != groups_.end()) {
        groups_.erase(it);
        // Its creator goes with it: nothing is left to make its nodes.
        std::erase_if(creators_, [Communicator](const std::unique_ptr<TrpOutlineNodeCreator>& c) {
            auto* g = dynamic_cast<TrpOutlineGroupNodeCreator*>(c.get());
            return g != nullptr && g->Group() == Communicator;
        });
    }
    if (Communicator == engine_) engine_ = nullptr;
    if (Communicator == report_) {
        if (engine_ != nullptr) engine_->RemoveEventNotify(this);
        engine_ = nullptr;
        report_ = nullptr;
    }
}

void TrpOutline::Initialize() {
    if (report_ == nullptr) throw EOutlineError("TrpOutline.Initialize: Report is nil.");
    ListenToGroups(false);
    creators_.clear();
    auto* report = dynamic_cast<TrpReport*>(report_);
    if (report == nullptr) return;
    TrpOutlineReportSettings* settings = report->OutlineSettings();
    if (!settings->Enabled()) return;
    // Page nodes first: a group's node goes under the node of its page.
    if (settings->CreatePageNodes()) creators_.push_back(std::make_unique<TrpOutlinePageNodeCreator>(*this));
    for (int i = 0; i < report->GroupCount(); ++i) {
        TrpGroup* g = report->Groups(i);
        if (g->OutlineSettings()->CreateNode())
            creators_.push_back(std::make_unique<TrpOutlineGroupNodeCreator>(*this, g));
    }
    ListenToGroups(true);
}

std::string TrpOutline::EnclosingKey(TrpGroup* Group) const {
    if (Group->HeaderBand() == nullptr) return {};
    for (const auto& creator : creators_) {
        auto* c = dynamic_cast<TrpOutlineGroupNodeCreator*>(creator.get());
        if (c == nullptr || c->Group() == Group) continue;
        const std::vector<TrpCommunicator*>& list = c->Group()->OutlineList();
        if (std::find(list.begin(), list.end(), Group->HeaderBand()) != list.end()) return GroupNodeKey(c->Group());
    }
    return {};
}

namespace {

TrpOutlineNode* FindUnder(TrpOutlineNode* Node, const std::string& Key) {
    for (int i = 0; i < Node->ChildNodeCount(); ++i) {
        auto* child = static_cast<TrpOutlineNode*>(Node->ChildNodes(i));
        if (child->Key() == Key) return child;
        if (TrpOutlineNode* found = FindUnder(child, Key)) return found;
    }
    return nullptr;
}

}  // namespace

TrpOutlineNode* TrpOutline::FindNode(const std::string& Key) const { return FindUnder(root_.get(), Key); }

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
    if (EventNumber == rpevBeforeGroupBreak) {
        for (auto& creator : creators_)
            if (auto* g = dynamic_cast<TrpOutlineGroupNodeCreator*>(creator.get()); g != nullptr && g->Group() == Sender)
                g->GroupStarted();
        return;
    }
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
        outline->OnNodeCreate = [Report](TObject* Creator, TrpOutlineNode* Node, bool& Accept) {
            if (Report->OnOutlineNodeCreate) Report->OnOutlineNodeCreate(Report, Creator, Node, Accept);
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
