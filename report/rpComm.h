#pragma once
// TrpCommunicator: the base of every report object that takes part in
// messaging (reports, producers, bands, groups, components, pipelines, the
// engine, devices, the publisher, the outline). Beside the component's
// owner, name and state it keeps:
//
// - notify links: a symmetric list of communicators told when the other
//   side is freed (operation 0) and of a few other changes;
// - event notifies: a directed list of listeners; a broadcast of event n
//   (0..255) reaches each listener whose own event set holds n, in the
//   order of their sort keys;
// - design notifications: a hook for a design environment, which this
//   program never installs, so they do nothing at run time;
// - a user name (UserName) kept unique among the communicators of one
//   owner, for the scripting layer;
// - a 16-bit state set with a change hook.
//
// Invariants: a link always stands on both sides or on neither; freeing
// either side removes it from the other's lists, which are dropped once
// empty. A broadcast reaches every listener present when it starts, once,
// unless it was removed meanwhile; listeners added meanwhile wait for the
// next broadcast, and a broadcast that, through a listener, sends the same
// event again from the same object while it runs is not repeated (so it
// cannot loop). No destructor lets a listener's exception escape.
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/rtl/Component.h"
#include "platform/rtl/TypInfo.h"

class TrsParamList;
class TrpCommunicator;

// Event numbers 0..255; bit n = event n.
using TrpEventSet = std::bitset<256>;

// Notify operation codes (second argument of Notify).
enum : int {
    rpopFreeing = 0,
    rpopUserNameChanged = 3,
};

// Event numbers sent by every communicator.
enum : int {
    rpevNameChanged = 111,
};

// State flags of the report model.
enum : std::uint16_t {
    rpstDesigning = 1,
    rpstJoined = 8,
    rpstRenameWhileLoading = 32,
    rpstUpdating = 512,
};

using TrpNotifyEvent = std::function<void(TObject* Sender, TrpCommunicator* Communicator, int Operation)>;
using TrpEventNotifyEvent =
    std::function<void(TObject* Sender, TObject* EventSender, int EventNumber, TrsParamList* Params)>;

class TrpCommunicator : public TComponent {
public:
    explicit TrpCommunicator(TComponent* AOwner);
    ~TrpCommunicator() override;
    FAT_CLASS(TrpCommunicator)

    // --- Notify links (symmetric) ---
    void AddNotify(TrpCommunicator* Other);
    void RemoveNotify(TrpCommunicator* Other);
    int NotifyCount() const;
    TrpCommunicator* Notifies(int Index) const;
    bool HasNotifyList() const { return notifies_ != nullptr; }
    // Notify(Sender, Operation) on every linked communicator.
    void SendNotify(TrpCommunicator* Sender, int Operation);
    // Operation 0: forget Communicator (design listener, both lists, no
    // unlinking back); then OnNotify. Descendants drop their own references
    // to a freed object after calling this.
    virtual void Notify(TrpCommunicator* Communicator, int Operation);
    // Whether any linked communicator's event set holds Event.
    bool LinkedListensTo(int Event) const;

    // --- Event notifies (directed) ---
    void AddEventNotify(TrpCommunicator* Listener);
    void RemoveEventNotify(TrpCommunicator* Listener);
    int EventNotifyCount() const;
    TrpCommunicator* EventNotifies(int Index) const;
    bool HasEventNotifyList() const { return eventNotifies_ != nullptr; }
    // Whether any listener's event set holds Event (0..255).
    bool EventListenersHear(int Event) const;
    void SendEventNotify(TObject* Sender, int EventNumber, TrsParamList* Params);
    // Fires OnEventNotify; descendants react before or after.
    virtual void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params);
    // Empty here: listeners without a key are told first, in the order of adding.
    virtual std::string GetEventNotifySortKey() const { return {}; }
    // Expires when the object is freed: a caller whose callee may free it
    // (a report released from its own event) tests it before going on.
    std::weak_ptr<char> LifeToken() const;
    // The numbers this object wants to hear as a listener.
    TrpEventSet& EventSet() { return eventSet_; }
    const TrpEventSet& EventSet() const { return eventSet_; }

    // --- State ---
    std::uint16_t State() const { return state_; }
    virtual void IncludeState(std::uint16_t Flags);
    virtual void ExcludeState(std::uint16_t Flags);
    virtual void StateChange(std::uint16_t) {}

    // --- Design notifications and property changes ---
    // No design environment runs in this program: these are hooks only.
    virtual void SendDesignNotify(int /*Code*/, TObject* /*Object*/) {}
    virtual void BeforePropertyChange(const std::string& /*PropertyName*/) {}
    virtual void PropertyChange();
    virtual void SendChangeToListener() {}
    virtual TObject* GetForm() const { return form_; }
    virtual void SetForm(TObject* Value) { form_ = Value; }

    // --- User names ---
    virtual std::string GetUserName() const { return userName_; }
    const std::string UserName() const { return GetUserName(); }
    // Ignored unless Value is an identifier; a taken name ending in 1..9 is
    // dropped, another taken name gets the lowest free number appended.
    virtual void SetUserName(const std::string& Value);
    virtual bool ValidUserName(const std::string& Name) const;
    virtual TrpCommunicator* FindUserName(const std::string& Name) const;
    virtual std::string GetDefaultUserName();
    virtual std::string GetUniqueUserName(TComponent* Component);
    virtual std::string GetUniqueName(TComponent* Component);
    // Moves the object to NewOwner, giving it a fresh user name when one of
    // NewOwner's communicators already carries its own.
    virtual void ChangeOwner(TComponent* NewOwner);

    // The parent component when it is a communicator.
    TrpCommunicator* ParentCommunicator() const;
    TrpCommunicator* TopCommunicator() const;

    void SetName(const std::string& NewName) override;
    void Loaded() override;

    TrpNotifyEvent OnNotify;
    TrpEventNotifyEvent OnEventNotify;

protected:
    // Stores a user name without any check or notice.
    void StoreUserName(const std::string& Value) { userName_ = Value; }

private:
    using List = std::vector<TrpCommunicator*>;
    static bool Contains(const List* list, const TrpCommunicator* c);
    void SortEventNotifies(TrpCommunicator* Newcomer);
    std::string UniqueUserNameAmong(TComponent* Owner, TComponent* Component) const;

    TObject* form_ = nullptr;
    std::uint16_t state_ = 0;
    // Set once the object is being freed: its life token stays expired.
    bool lifeEnded_ = false;
    std::unique_ptr<List> notifies_;
    std::unique_ptr<List> eventNotifies_;
    std::uint64_t listChanges_ = 0;  // every change of notifies_ or eventNotifies_
    TrpEventSet eventSet_;
    TObject* designListener_ = nullptr;
    std::string userName_;
    // Broadcasts running on this object, to refuse one that would repeat
    // itself: (kind, number).
    std::vector<std::pair<int, int>> sending_;
    // Tells a broadcast whether this object still lives after a listener ran.
    // Made when first asked for: most communicators (a page's thousand draw
    // commands) never are.
    mutable std::shared_ptr<char> life_;
    // Tells a listener apart from a later object at the same address.
    std::uint64_t serial_;

    void Forget(TrpCommunicator* Other);
};

// Base followed by the lowest number n >= 1 such that no component owned by
// Owner other than Component is named Base + n (any class, any letter case):
// never a taken name. Base itself when there is no owner.
std::string rpUniqueComponentName(const std::string& Base, TComponent* Owner, TComponent* Component);

namespace report {
// The number at the end of Name after Base ("Label12" after "Label" is 12);
// 0 when Name does not start with Base or the rest is no whole number above 0.
int NameNumber(const std::string& Base, const std::string& Name);
// Base followed by the lowest number n >= 1 for which Taken(Base + n) is false.
std::string LowestFreeName(const std::string& Base, const std::function<bool(const std::string&)>& Taken);

// The lowest free Base + n among names seen one by one: each taken name is
// looked at once, so naming the k-th of many alike costs k looks, not k
// times k (a template with thousands of clashing names reads in time
// proportional to its size).
class FreeNumberedName {
public:
    explicit FreeNumberedName(std::string Base) : base_(std::move(Base)) {}
    // Notes the number Name takes (Base + n in any letter case).
    void Take(const std::string& Name);
    std::string Lowest() const;

private:
    std::string base_;
    std::vector<int> taken_;
    std::size_t seen_ = 0;
};

// Names for many components given in a row under one owner (a template
// whose stream repeats names): each base's taken numbers are read once, and
// every name after that costs a look-up by name, so that naming n
// components costs time in proportion to n, not n squared. Gives, in
// order, the numbers that were free when the base was first asked for,
// passing over those taken since; a number freed meanwhile is not reused.
class NameSeries {
public:
    explicit NameSeries(TComponent* Owner) : owner_(Owner) {}
    // Base + n, a name no other component of the owner has (Base itself
    // without an owner).
    std::string Next(const std::string& Base, TComponent* Component);

private:
    struct Free {
        std::vector<int> numbers;  // free at the first look, ascending
        std::size_t at = 0;
        int beyond = 1;  // every number from here on was free then
    };
    TComponent* owner_;
    std::map<std::string, Free> bases_;  // by the base in upper case
};

// While a template is read into Root, the user names of the communicators
// Root owns are found through one index instead of a walk over all of them
// for every name, and a taken name's next free number is looked for from
// where the last search of that base stopped: a stream of n components
// reads in time proportional to n. Within the scope the index answers
// every user-name search of a communicator owned by Root (the report's
// own search included); it learns of each user name given meanwhile. One
// scope per thread at a time; it ends with the read.
class UserNameScope {
public:
    explicit UserNameScope(TComponent* Root);
    ~UserNameScope();
    UserNameScope(const UserNameScope&) = delete;
    UserNameScope& operator=(const UserNameScope&) = delete;

    // The scope that answers for Communicator's searches, or nullptr.
    static UserNameScope* For(const TComponent* Communicator);
    TrpCommunicator* Find(const std::string& Name);
    // Communicator now carries its user name.
    void Note(TrpCommunicator* Communicator);
    // Base + the lowest number no other communicator carries, from where
    // the last search of Base stopped.
    std::string NextFree(const std::string& Base, const TrpCommunicator* Self);

private:
    void Build();
    TComponent* root_;
    UserNameScope* previous_;
    bool built_ = false;
    std::unordered_map<std::string, TrpCommunicator*> names_;  // by the name in upper case
    std::unordered_map<std::string, long long> next_;
};

// How many names the unique-name searches have looked at in this process;
// the template tests and the benchmark read it to see how naming grows.
long long& NamesLookedAt();
}  // namespace report
