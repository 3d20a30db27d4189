#pragma once
// Persistent objects and components: assignment between persistents, the
// ownership tree of components (an owner frees what it owns), names unique
// among siblings and free notification between components that refer to one
// another.
#include <any>
#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/rtl/Object.h"
#include "platform/rtl/SysUtils.h"

class TFiler;
class TReader;
class TWriter;
class TComponent;

class TPersistent : public TObject {
public:
    FAT_CLASS_NAME(TPersistent)
    static TClass StaticClassType();
    TClass ClassType() const override { return StaticClassType(); }

    // Copies Source into this object. The default asks Source to assign itself
    // (AssignTo); when neither side knows the other, raises EConvertError
    // "Cannot assign a <source class> to a <this class>" ("nil" for no source).
    virtual void Assign(TPersistent* Source);
    // The dotted path of this object from its root ("Form1.Table1.Fields"),
    // as the class library builds it for messages and designers.
    virtual std::string GetNamePath() const;

    // Adds properties that are not published to the stream (DefineProperty,
    // DefineBinaryProperty of TFiler). Public so that filers of any kind can
    // ask for them.
    virtual void DefineProperties(TFiler* Filer);

protected:
    virtual void AssignTo(TPersistent* Dest);
    // The object that owns this one for GetNamePath (an owned font, a
    // collection's component...); none by default.
    virtual TPersistent* GetOwner() const { return nullptr; }
    [[noreturn]] void AssignError(TPersistent* Source);
};

enum TOperation { opInsert, opRemove };

enum TComponentStateItem {
    csLoading,
    csReading,
    csWriting,
    csDestroying,
    csDesigning,
    csAncestor,
    csUpdating,
    csFixups,
    csFreeNotification,
    csInline,
    csDesignInstance
};
using TComponentState = TSet<TComponentStateItem>;

class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;
    FAT_CLASS_NAME(TComponent)
    static TClass StaticClassType();
    TClass ClassType() const override { return StaticClassType(); }

    TComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    // Raises EListError "List index out of bounds (%d)" outside 0..ComponentCount-1.
    TComponent* Components(int Index) const;
    // Position in the owner's list; -1 without owner.
    int ComponentIndex() const;
    void SetComponentIndex(int Value);
    // The owned component with that name, compared case-insensitively; nullptr
    // when none (and for an empty name).
    TComponent* FindComponent(const std::string& AName) const;

    // Takes AComponent into this owner (removing it from its previous owner).
    // Raises EComponentError when its name clashes with a sibling's.
    void InsertComponent(TComponent* AComponent);
    // Lets AComponent go without freeing it; it keeps living ownerless.
    void RemoveComponent(TComponent* AComponent);
    // Frees every owned component, last first.
    void DestroyComponents();
    // Marks this component and everything it owns as being destroyed.
    void Destroying();

    const std::string& Name() const { return name_; }
    // A valid identifier (or empty), unique among the owner's components
    // regardless of letter case; EComponentError otherwise.
    virtual void SetName(const std::string& NewName);

    std::intptr_t Tag() const { return tag_; }
    void SetTag(std::intptr_t Value) { tag_ = Value; }

    TComponentState ComponentState() const { return state_; }
    // Design-time flag of this component and everything it owns.
    void SetDesigning(bool Value, bool SetChildren = true);
    void SetInline(bool Value);
    void SetAncestor(bool Value);

    // Asks to be told (Notification opRemove) when AComponent goes away and
    // lets AComponent know the same about this one.
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);
    // Components that asked to be told about this one's destruction.
    const std::vector<TComponent*>& FreeNotifies() const { return freeNotifies_; }

    std::string GetNamePath() const override;

    // Called after the component and its children were read from a stream,
    // once every reference was fixed up; clears csLoading.
    virtual void Loaded();
    // Told about components inserted into or removed from this owner's tree
    // and about components it asked free notification for. The default
    // drops the free-notification link and passes the news to the owned
    // components. During destruction AComponent may be partly destroyed:
    // compare the pointer, do not call into it.
    virtual void Notification(TComponent* AComponent, TOperation Operation);

    // Streaming hooks: the components written as this one's children (the
    // owned ones whose owner is Root by default) and the owner that a child
    // read from the stream gets.
    virtual void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root);
    virtual TComponent* GetChildOwner() { return nullptr; }
    virtual TComponent* GetChildParent() { return this; }
    virtual void SetChildOrder(TComponent*, int) {}
    virtual void SetParentComponent(TComponent*) {}
    virtual TComponent* GetParentComponent() const { return nullptr; }
    virtual bool HasParent() const { return false; }
    virtual void ReadState(TReader* Reader);
    virtual void WriteState(TWriter* Writer);

    // Event handlers reached by name when a stream names them: a root
    // registers its handlers (a std::function of the event's exact type in the
    // std::any) so that components loaded under it find them again.
    void RegisterMethod(const std::string& Name, std::any Handler);
    // nullptr when no handler of that name is registered (case-insensitive).
    const std::any* MethodAddress(const std::string& Name) const;

    // State flags, for the stream reader and writer.
    void SetComponentStateFlag(TComponentStateItem Item, bool Value);
    void UpdateFlags(TComponentStateItem Item, bool Value);  // this and owned, recursively

    // How many entries of owners' lists the ownership machinery has visited
    // (passing a notification on to the owned components, looking for one to
    // take out); tests and benchmarks read it to see how the work of reading
    // and freeing many components grows.
    static long long& ListVisits();

protected:
    // Declared by a class that does not override Notification: it learns of
    // other components going only through the links it made, never through
    // its owner passing on each sibling's insertion and removal. While it
    // owns nothing its owner passes it nothing, so that an owner of
    // thousands of such components (a report's bands and printables) takes
    // them in and frees them in time proportional to their number.
    void SetHearsSiblings(bool Value);

    virtual void ValidateRename(TComponent* AComponent, const std::string& CurName, const std::string& NewName);
    virtual void ValidateInsert(TComponent*) {}
    // Changes the name without validation (the reader sets names it checked).
    void ChangeName(const std::string& NewName);

private:
    void Insert(TComponent* AComponent);
    void Remove(TComponent* AComponent);
    // The owned components by name, so that finding one, and checking a
    // new name, does not look at every sibling: a stream of thousands of
    // components reads in time proportional to its size.
    void IndexName(TComponent* AComponent);
    void UnindexName(TComponent* AComponent);
    void NotifyFreeNotifies();
    static void Unlink(TComponent* A, TComponent* B);
    bool Hears() const { return hearsSiblings_ || !components_.empty(); }
    void RebuildHearers();

    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;
    // The owned components that Notification passes news on to, in the
    // order of components_: all but those that hear no siblings and own
    // nothing.
    std::vector<TComponent*> hearers_;
    bool hearsSiblings_ = true;
    // Key: the name in ASCII upper case. Names compared so are unique among
    // siblings, but ChangeName may break that: duplicates_ counts the names
    // the index could not take, and while there are any a removal looks for
    // another holder of the name it frees.
    std::unordered_map<std::string, TComponent*> names_;
    std::size_t duplicates_ = 0;
    std::vector<TComponent*> freeNotifies_;
    std::string name_;
    std::intptr_t tag_ = 0;
    TComponentState state_;
    std::unique_ptr<std::map<std::string, std::any>> methods_;
    friend class TReader;
};

// Takes Item out of List, looking from the end (owners free what they hold
// last first), counting the entries looked at in TComponent::ListVisits.
template <class T>
bool TakeOutFromEnd(std::vector<T*>& List, T* Item) {
    for (auto it = List.rbegin(); it != List.rend(); ++it) {
        ++TComponent::ListVisits();
        if (*it == Item) {
            List.erase(std::next(it).base());
            return true;
        }
    }
    return false;
}

// True when Ident is a valid Pascal identifier: a letter or "_" followed by
// letters, digits or "_" (ASCII only).
bool IsValidIdent(const std::string& Ident);
