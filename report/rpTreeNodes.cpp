#include "report/rpTreeNodes.h"

#include "platform/rtl/Strings.h"

TClass TrpTreeNode::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpTreeNode>("TrpTreeNode", TrpRelative::StaticClassType()).Build();
    return &info;
}

TrpTreeNode::TrpTreeNode(TComponent* AOwner) : TrpRelative(AOwner) {}

namespace {

// A new, unowned node of the class Source was made as.
std::unique_ptr<TrpTreeNode> NewNodeLike(const TrpTreeNode& Source, TComponent* Owner) {
    TClass cls = Source.ClassType();
    TObject* made = (cls != nullptr && cls->Create) ? cls->Create(Owner) : nullptr;
    std::unique_ptr<TObject> holder(made);
    auto* node = dynamic_cast<TrpTreeNode*>(made);
    if (node == nullptr) throw EInvalidOperation(Source.ClassName() + " cannot be created by class");
    holder.release();
    return std::unique_ptr<TrpTreeNode>(node);
}

}  // namespace

TrpTreeNode* TrpTreeNode::Add() {
    std::unique_ptr<TrpTreeNode> node = NewNodeLike(*this, this);
    node->SetParent(this);
    return node.release();
}

void TrpTreeNode::Assign(TPersistent* Source) {
    if (dynamic_cast<TrpTreeNode*>(Source) != nullptr) return;
    TrpRelative::Assign(Source);
}

TrpTreeNode* TrpTreeNode::ChildNodes(int Index) const { return dynamic_cast<TrpTreeNode*>(Children(Index)); }

TrpTreeNode* TrpTreeNode::ParentNode() const { return dynamic_cast<TrpTreeNode*>(Parent()); }

int TrpTreeNode::Level() const {
    int level = 0;
    for (const TrpTreeNode* p = ParentNode(); p != nullptr; p = p->ParentNode()) ++level;
    return level;
}

int TrpTreeNode::AbsoluteChildNodeCount() const {
    int count = ChildNodeCount();
    for (int i = 0; i < ChildNodeCount(); ++i)
        if (const TrpTreeNode* c = ChildNodes(i)) count += c->AbsoluteChildNodeCount();
    return count;
}

TrpTreeNode* TrpTreeNode::GetFirstChild() const { return ChildNodeCount() > 0 ? ChildNodes(0) : nullptr; }

TrpTreeNode* TrpTreeNode::GetLastChild() const {
    return ChildNodeCount() > 0 ? ChildNodes(ChildNodeCount() - 1) : nullptr;
}

TrpTreeNode* TrpTreeNode::GetLastChildDescendent() const {
    TrpTreeNode* node = GetLastChild();
    while (node != nullptr && node->ChildNodeCount() > 0) node = node->GetLastChild();
    return node;
}

TrpTreeNode* TrpTreeNode::GetNextSibling() const {
    TrpTreeNode* parent = ParentNode();
    if (parent == nullptr) return nullptr;
    const int index = parent->IndexOfChild(this);
    return index + 1 < parent->ChildNodeCount() ? parent->ChildNodes(index + 1) : nullptr;
}

TrpTreeNode* TrpTreeNode::GetPreviousSibling() const {
    TrpTreeNode* parent = ParentNode();
    if (parent == nullptr) return nullptr;
    const int index = parent->IndexOfChild(this);
    return index > 0 ? parent->ChildNodes(index - 1) : nullptr;
}

TrpTreeNode* TrpTreeNode::GetNext() const {
    if (TrpTreeNode* first = GetFirstChild()) return first;
    for (const TrpTreeNode* node = this; node != nullptr; node = node->ParentNode())
        if (TrpTreeNode* next = node->GetNextSibling()) return next;
    return nullptr;
}

TrpTreeNode* TrpTreeNode::GetPrevious() const {
    if (TrpTreeNode* previous = GetPreviousSibling()) {
        TrpTreeNode* deepest = previous->GetLastChildDescendent();
        return deepest != nullptr ? deepest : previous;
    }
    return ParentNode();
}

std::unique_ptr<TrpTreeNode> TrpTreeNode::BuildClone(bool Recurse) const {
    std::unique_ptr<TrpTreeNode> clone = NewNodeLike(*this, nullptr);
    clone->Assign(const_cast<TrpTreeNode*>(this));
    if (Recurse)
        for (int i = 0; i < ChildNodeCount(); ++i)
            if (const TrpTreeNode* child = ChildNodes(i)) {
                std::unique_ptr<TrpTreeNode> copy = child->BuildClone(true);
                copy->SetParent(clone.get());
                copy.release();  // the clone's children go with it
            }
    return clone;
}

TrpTreeNode* TrpTreeNode::CloneNode(TrpTreeNode& NewParent, bool Recurse) {
    std::unique_ptr<TrpTreeNode> clone = BuildClone(Recurse);
    clone->SetParent(&NewParent);
    return clone.release();
}

std::unique_ptr<TrpTreeNode> TrpTreeNode::CloneNode(bool Recurse) { return BuildClone(Recurse); }

// ---------------------------------------------------------------------------
// Scripting

TClass TrsTrpTreeNodeRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTrpTreeNodeRTTI>("TrsTrpTreeNodeRTTI", TrsTrpRelativeRTTI::StaticClassType()).Build();
    return &info;
}

const TrsTrpTreeNodeRTTI* TrsTrpTreeNodeRTTI::Instance() {
    static const TrsTrpTreeNodeRTTI adapter;
    return &adapter;
}

namespace {

const char* const kCountMembers[] = {"AbsoluteChildNodeCount", "ChildNodeCount", "Level"};
const char* const kNodeFunctions[] = {"Add",           "GetFirstChild",      "GetLastChild",
                                      "GetLastChildDescendent", "GetNext", "GetNextSibling",
                                      "GetPrevious",   "GetPreviousSibling"};

bool IsOneOf(const std::string& Name, const char* const* Names, std::size_t Count) {
    for (std::size_t i = 0; i < Count; ++i)
        if (SameText(Name, Names[i])) return true;
    return false;
}

TrpTreeNode* CallNodeFunction(TrpTreeNode* Node, const std::string& Name) {
    if (SameText(Name, "Add")) return Node->Add();
    if (SameText(Name, "GetFirstChild")) return Node->GetFirstChild();
    if (SameText(Name, "GetLastChild")) return Node->GetLastChild();
    if (SameText(Name, "GetLastChildDescendent")) return Node->GetLastChildDescendent();
    if (SameText(Name, "GetNext")) return Node->GetNext();
    if (SameText(Name, "GetNextSibling")) return Node->GetNextSibling();
    if (SameText(Name, "GetPrevious")) return Node->GetPrevious();
    return Node->GetPreviousSibling();
}

// A node or nil from a scripting value; false for an object of another class.
bool NodeFrom(const TrsValue& Value, TrpTreeNode*& Node) {
    const TrsValue v = rsValueAs(rsClass, Value);
    if (!std::holds_alternative<TObject*>(v)) return false;
    TObject* o = std::get<TObject*>(v);
    Node = dynamic_cast<TrpTreeNode*>(o);
    return o == nullptr || Node != nullptr;
}

}  // namespace

void TrsTrpTreeNodeRTTI::GetPropList(TClass AClass, TStrings* Names) const {
    TrsTrpRelativeRTTI::GetPropList(AClass, Names);
    for (const char* name : kCountMembers) AddPropName(Names, name);
    AddPropName(Names, "ChildNodes");
    AddPropName(Names, "ParentNode");
    AddMethodName(Names, "Assign");
    AddMethodName(Names, "CloneNode");
    for (const char* name : kNodeFunctions) AddMethodName(Names, name);
}

TClass TrsTrpTreeNodeRTTI::DescribedClass() const { return TrpTreeNode::StaticClassType(); }

bool TrsTrpTreeNodeRTTI::GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const {
    if (IsOneOf(Name, kCountMembers, std::size(kCountMembers))) {
        FillPropRec(Name, rsInteger, true, Rec);
    } else if (SameText(Name, "ChildNodes")) {
        FillArrayPropRec("ChildNodes", Rec);
        Rec.ReadOnly = true;
    } else if (SameText(Name, "ParentNode")) {
        FillClassPropRec("ParentNode", TrpTreeNode::StaticClassType(), false, Rec);
    } else if (SameText(Name, "CloneNode") || IsOneOf(Name, kNodeFunctions, std::size(kNodeFunctions))) {
        FillMethodRec(Name, true, Rec);
        Rec.IsFunction = true;
    } else {
        return TrsTrpRelativeRTTI::GetPropRec(AClass, Name, Rec);
    }
    return true;
}

std::unique_ptr<TrsParamList> TrsTrpTreeNodeRTTI::GetParams(const std::string& Name) const {
    const TClass node = TrpTreeNode::StaticClassType();
    if (SameText(Name, "ChildNodes")) {
        auto list = std::make_unique<TrsParamList>();
        list->AddParam("Index", rsInteger, false, false);
        list->AddParam("Result", rsClass, false, false, "", node);
        return list;
    }
    if (SameText(Name, "CloneNode")) {
        auto list = std::make_unique<TrsParamList>();
        list->AddParam("aNewParent", rsClass, false, false, "", node);
        list->AddParam("aRecurse", rsBoolean, false, false);
        list->AddParam("Result", rsClass, false, false, "", node);
        return list;
    }
    if (IsOneOf(Name, kNodeFunctions, std::size(kNodeFunctions))) {
        auto list = std::make_unique<TrsParamList>();
        list->AddParam("Result", rsClass, false, false, "", node);
        return list;
    }
    return TrsTrpRelativeRTTI::GetParams(Name);
}

bool TrsTrpTreeNodeRTTI::CallMethod(TObject* AObject, const std::string& Name, bool Flag,
                                    TrsParamList* Params) const {
    auto* node = dynamic_cast<TrpTreeNode*>(AObject);
    if (node == nullptr || Params == nullptr) return TrsTrpRelativeRTTI::CallMethod(AObject, Name, Flag, Params);
    if (SameText(Name, "ChildNodes")) {
        // Indexed and read-only: a write asks for nothing this adapter does.
        if (!Flag) return false;
        TrsValue index;
        if (!Params->GetParamValue(0, index)) return false;
        const TrsValue i = rsValueAs(rsInteger, index);
        if (!std::holds_alternative<int32_t>(i)) return false;
        return Params->SetParamValue(1, static_cast<TObject*>(node->ChildNodes(std::get<int32_t>(i))));
    }
    if (SameText(Name, "CloneNode")) {
        TrsValue parentValue, recurseValue;
        if (!Params->GetParamValue(0, parentValue) || !Params->GetParamValue(1, recurseValue)) return false;
        TrpTreeNode* parent = nullptr;
        if (!NodeFrom(parentValue, parent)) return false;
        const TrsValue recurse = rsValueAs(rsBoolean, recurseValue);
        if (!std::holds_alternative<bool>(recurse)) return false;
        TrpTreeNode* clone = parent != nullptr ? node->CloneNode(*parent, std::get<bool>(recurse))
                                               : node->CloneNode(std::get<bool>(recurse)).release();
        if (!Params->SetParamValue(2, static_cast<TObject*>(clone))) {
            // Nobody would ever hear of a parentless clone: it goes now.
            if (parent == nullptr) delete clone;
            return false;
        }
        return true;
    }
    if (IsOneOf(Name, kNodeFunctions, std::size(kNodeFunctions)))
        return Params->SetParamValue(0, static_cast<TObject*>(CallNodeFunction(node, Name)));
    return TrsTrpRelativeRTTI::CallMethod(AObject, Name, Flag, Params);
}

bool TrsTrpTreeNodeRTTI::GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const {
    auto* node = dynamic_cast<TrpTreeNode*>(AObject);
    if (node == nullptr) return TrsTrpRelativeRTTI::GetPropValue(AObject, Name, Value);
    if (SameText(Name, "AbsoluteChildNodeCount"))
        Value = static_cast<int32_t>(node->AbsoluteChildNodeCount());
    else if (SameText(Name, "ChildNodeCount"))
        Value = static_cast<int32_t>(node->ChildNodeCount());
    else if (SameText(Name, "Level"))
        Value = static_cast<int32_t>(node->Level());
    else if (SameText(Name, "ParentNode"))
        Value = static_cast<TObject*>(node->ParentNode());
    else
        return TrsTrpRelativeRTTI::GetPropValue(AObject, Name, Value);
    return true;
}

bool TrsTrpTreeNodeRTTI::SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const {
    auto* node = dynamic_cast<TrpTreeNode*>(AObject);
    if (node == nullptr) return TrsTrpRelativeRTTI::SetPropValue(AObject, Name, Value);
    if (SameText(Name, "ParentNode")) {
        TrpTreeNode* parent = nullptr;
        if (!NodeFrom(Value, parent)) return false;
        node->SetParentNode(parent);
        return true;
    }
    if (IsOneOf(Name, kCountMembers, std::size(kCountMembers)) || SameText(Name, "ChildNodes")) return false;
    return TrsTrpRelativeRTTI::SetPropValue(AObject, Name, Value);
}

namespace report {

void RegisterTreeNodeClasses() {
    RegisterRelativeClasses();
    RegisterClass(TrpTreeNode::StaticClassType());
    RegisterRTTIClass(TrsTrpTreeNodeRTTI::Instance());
}

void UnregisterTreeNodeClasses() {
    UnregisterRTTIClass(TrsTrpTreeNodeRTTI::Instance());
    UnRegisterClass(TrpTreeNode::StaticClassType());
    UnregisterRelativeClasses();
}

}  // namespace report
