#pragma once
// The report outline: a tree of nodes (captions with the page each one
// starts on) made while pages are generated. The report makes its outline
// on first use through the maker the preview layer installs
// (rpSetReportOutlineFactory), re-initialises it for every page request,
// and frees it with its print state. A node creator decides which nodes a
// page adds; each new node passes the node-created hook, which may refuse
// it.
//
// Page nodes (TrpOutlineReportSettings.CreatePageNodes) stand at the top
// of the tree; each instance of a group whose OutlineSettings.CreateNode is
// set becomes a node, captioned with its break value, under the node of the
// page where its header first printed. A viewer attaches through
// OnTreeChange, which runs after every change of the tree.
//
// TrpOutlineDrawCommand marks the page that carries the outline in a page
// list (an archive keeps it on the last page only). It draws nothing; the
// page finds it by its registered class name.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "report/rpComm.h"
#include "report/rpMainReport.h"
#include "report/rpPage.h"
#include "report/rpTreeNodes.h"
#include "report/rpTypes.h"

class TrpProducer;
class TrpOutline;

class TrpOutlineNode : public TrpTreeNode {
public:
    explicit TrpOutlineNode(TComponent* AOwner);
    FAT_CLASS(TrpOutlineNode)

    void Assign(TPersistent* Source) override;

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& Value) { caption_ = Value; }
    // Identifies the node among its siblings across regenerations.
    const std::string& Key() const { return key_; }
    void SetKey(const std::string& Value) { key_ = Value; }
    TrpOutlineNodeType NodeType() const { return nodeType_; }
    void SetNodeType(TrpOutlineNodeType Value) { nodeType_ = Value; }
    // The absolute page the node leads to; 0 when none.
    int PageNo() const { return pageNo_; }
    void SetPageNo(int Value) { pageNo_ = Value; }
    // The highest page any node of this subtree leads to.
    int LastPageNo() const;
    // The child with Key; nullptr when none.
    TrpOutlineNode* FindChild(const std::string& Key) const;

private:
    std::string caption_;
    std::string key_;
    TrpOutlineNodeType nodeType_ = ntCustom;
    int pageNo_ = 0;
};

using TrpOutlineNodeCreateEvent = std::function<void(TObject* NodeCreator, TrpOutlineNode* Node, bool& Accept)>;

// Makes the nodes of one kind as pages are finished.
class TrpOutlineNodeCreator : public TObject {
public:
    FAT_CLASS_NAME(TrpOutlineNodeCreator)
    explicit TrpOutlineNodeCreator(TrpOutline& Outline) : outline_(Outline) {}
    virtual ~TrpOutlineNodeCreator() = default;
    virtual void PageFinished(TrpPage* Page) = 0;

protected:
    TrpOutline& outline_;
};

// One node per page, captioned "Página n", at the top of the tree.
class TrpOutlinePageNodeCreator : public TrpOutlineNodeCreator {
public:
    FAT_CLASS_NAME(TrpOutlinePageNodeCreator)
    using TrpOutlineNodeCreator::TrpOutlineNodeCreator;
    void PageFinished(TrpPage* Page) override;
};

class TrpGroup;

// One node per group instance, under the node of the page it starts on
// (at the top when the report makes no page nodes), or, for a group that
// prints inside an enclosing group's instance (its header is in that
// group's outline list), under the node of that instance. A start is heard
// when the group's header begins; it belongs to the first page finished
// after it on which the group's header has printed.
class TrpOutlineGroupNodeCreator : public TrpOutlineNodeCreator {
public:
    FAT_CLASS_NAME(TrpOutlineGroupNodeCreator)
    TrpOutlineGroupNodeCreator(TrpOutline& Outline, TrpGroup* Group) : TrpOutlineNodeCreator(Outline), group_(Group) {}
    TrpGroup* Group() const { return group_; }
    void GroupStarted();
    void PageFinished(TrpPage* Page) override;

private:
    struct Start {
        int instance;
        std::string caption;
        std::string enclosingKey;  // the node of the enclosing instance; empty at the top
    };
    TrpGroup* group_;
    std::vector<Start> pending_;
};

class TrpOutline : public TrpCommunicator, public TrpReportOutline {
public:
    explicit TrpOutline(TComponent* AOwner);
    ~TrpOutline() override;
    FAT_CLASS(TrpOutline)

    TrpProducer* Report() const { return report_; }
    // Moves the event link from the previous report to this one.
    void SetReport(TrpProducer* Value);
    // Rebuilds the node creators from the report's outline settings;
    // EOutlineError without a report.
    void Initialize() override;
    // Empties the tree.
    void Clear();

    TrpOutlineNode* RootNode() const { return root_.get(); }
    // The key of the node of the group instance that Group prints inside
    // (the group whose outline list holds Group's header); empty when none.
    std::string EnclosingKey(TrpGroup* Group) const;
    // The node of that key anywhere in the tree; nullptr when none.
    TrpOutlineNode* FindNode(const std::string& Key) const;
    int NodeCreatorCount() const { return static_cast<int>(creators_.size()); }
    // Adds Node under Parent when the hook accepts it (the outline then
    // owns it); otherwise frees it. The added node, or nullptr.
    TrpOutlineNode* AddNode(TObject* Creator, TrpOutlineNode* Parent, std::unique_ptr<TrpOutlineNode> Node);

    TrpOutlineNodeCreateEvent OnNodeCreate;
    // The tree changed (a node was added or it was cleared).
    TNotifyEvent OnTreeChange;

    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override;
    void Notify(TrpCommunicator* Communicator, int Operation) override;

private:
    void Attach(TrpProducer* Value);
    void Detach();
    void ListenToGroups(bool On);
    std::vector<TrpGroup*> groups_;
    TrpProducer* report_ = nullptr;
    TrpCommunicator* engine_ = nullptr;
    std::unique_ptr<TrpOutlineNode> root_;
    std::vector<std::unique_ptr<TrpOutlineNodeCreator>> creators_;
};

class TrpOutlineDrawCommand : public TrpDrawCommand {
public:
    explicit TrpOutlineDrawCommand(TComponent* AOwner) : TrpDrawCommand(AOwner) {}
    FAT_CLASS(TrpOutlineDrawCommand)

    // No device draws an outline.
    bool Draw(TrpDevice* Device) override;
    bool IsOutline() const final { return true; }
};

namespace preview {
// Registers the outline classes by name and installs the report's outline
// maker; the maker's node hook broadcasts event 88 through the report.
void RegisterOutlineClasses();
void UnregisterOutlineClasses();
}  // namespace preview
