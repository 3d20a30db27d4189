#include "report/rpComm.h"

#include <algorithm>
#include <atomic>
#include <climits>

#include "platform/rtl/Strings.h"

namespace {

std::atomic<std::uint64_t> nextSerialBlock{1};

// Serials only need to be unique: each thread takes them a block at a time,
// since a locked add for every draw command a page makes costs more than
// the rest of building the command.
std::uint64_t NewSerial() {
    constexpr std::uint64_t kBlock = 4096;
    thread_local std::uint64_t next = 0, end = 0;
    if (next == end) {
        next = nextSerialBlock.fetch_add(kBlock, std::memory_order_relaxed);
        end = next + kBlock;
    }
    return next++;
}

// Who was listening when a broadcast started, with their serials. An
// engine tells each record to every text it prints, and a pipeline each
// move to every control on it: the copy lives on the stack unless they are
// very many.
class SmallSnapshot {
public:
    using Entry = std::pair<TrpCommunicator*, std::uint64_t>;
    template <class List, class SerialOf>
    SmallSnapshot(const List& Of, SerialOf Serial) : count_(Of.size()) {
        if (count_ > kOnStack) {
            onHeap_.resize(count_);
            entries_ = onHeap_.data();
        }
        for (std::size_t i = 0; i < count_; ++i) entries_[i] = {Of[i], Serial(Of[i])};
    }
    std::size_t Count() const { return count_; }
    const Entry& operator[](std::size_t I) const { return entries_[I]; }

private:
    static constexpr std::size_t kOnStack = 32;
    std::size_t count_;
    Entry onStack_[kOnStack];
    std::vector<Entry> onHeap_;
    Entry* entries_ = onStack_;
};

// Marks a broadcast as running on an object for as long as it runs (and
// the object lives: a listener may free the sender).
class SendingGuard {
public:
    SendingGuard(std::vector<std::pair<int, int>>& running, std::pair<int, int> key, std::weak_ptr<char> alive)
        : running_(running), key_(key), alive_(std::move(alive)) {
        already_ = std::find(running.begin(), running.end(), key) != running.end();
        if (!already_) running.push_back(key);
    }
    ~SendingGuard() {
        if (already_ || alive_.expired()) return;
        auto it = std::find(running_.begin(), running_.end(), key_);
        if (it != running_.end()) running_.erase(it);
    }
    SendingGuard(const SendingGuard&) = delete;
    SendingGuard& operator=(const SendingGuard&) = delete;
    bool Repeated() const { return already_; }
    bool Alive() const { return !alive_.expired(); }

private:
    std::vector<std::pair<int, int>>& running_;
    std::pair<int, int> key_;
    std::weak_ptr<char> alive_;
    bool already_ = false;
};

}  // namespace

TClass TrpCommunicator::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCommunicator>("TrpCommunicator", TComponent::StaticClassType()).Build();
    return &info;
}

TrpCommunicator::TrpCommunicator(TComponent* AOwner) : TComponent(AOwner), serial_(NewSerial()) {}

TrpCommunicator::~TrpCommunicator() {
    lifeEnded_ = true;
    life_.reset();
    if (notifies_) {
        const List linked = *notifies_;
        for (auto it = linked.rbegin(); it != linked.rend(); ++it) {
            TrpCommunicator* other = *it;
            if (!Contains(notifies_.get(), other)) continue;
            try {
                other->Notify(this, rpopFreeing);
            } catch (...) {
                // A listener's failure must not stop the others from
                // forgetting this object, nor escape a destructor.
            }
            // Whatever a descendant's Notify did, no reference to this object stays.
            other->Forget(this);
        }
    }
    notifies_.reset();
    eventNotifies_.reset();
}

std::weak_ptr<char> TrpCommunicator::LifeToken() const {
    if (!life_ && !lifeEnded_) life_ = std::make_shared<char>();
    return life_;
}

bool TrpCommunicator::Contains(const List* list, const TrpCommunicator* c) {
    return list != nullptr && std::find(list->begin(), list->end(), c) != list->end();
}

void TrpCommunicator::Forget(TrpCommunicator* Other) {
    if (designListener_ == Other) designListener_ = nullptr;
    ++listChanges_;
    for (std::unique_ptr<List>* list : {&notifies_, &eventNotifies_}) {
        if (!*list) continue;
        (*list)->erase(std::remove((*list)->begin(), (*list)->end(), Other), (*list)->end());
        if ((*list)->empty()) list->reset();
    }
}

// ---------------------------------------------------------------------------
// Links

void TrpCommunicator::AddNotify(TrpCommunicator* Other) {
    if (Other == nullptr || Other == this) return;
    if (!notifies_) notifies_ = std::make_unique<List>();
    if (Contains(notifies_.get(), Other)) return;
    ++listChanges_;
    notifies_->push_back(Other);
    Other->AddNotify(this);
}

void TrpCommunicator::RemoveNotify(TrpCommunicator* Other) {
    if (!Contains(notifies_.get(), Other)) return;
    // An event listener without a link would outlive its sender's notice.
    Forget(Other);
    Other->RemoveNotify(this);
}

int TrpCommunicator::NotifyCount() const { return notifies_ ? static_cast<int>(notifies_->size()) : 0; }

TrpCommunicator* TrpCommunicator::Notifies(int Index) const {
    if (!notifies_ || Index < 0 || Index >= NotifyCount()) return nullptr;
    return (*notifies_)[static_cast<std::size_t>(Index)];
}

void TrpCommunicator::SendNotify(TrpCommunicator* Sender, int Operation) {
    if (!notifies_) return;
    SendingGuard guard(sending_, {0, Operation}, LifeToken());
    if (guard.Repeated()) return;
    SmallSnapshot snapshot(*notifies_, [](const TrpCommunicator* c) { return c->serial_; });
    const std::uint64_t changes = listChanges_;
    for (std::size_t i = snapshot.Count(); i-- > 0;) {
        const auto [linked, serial] = snapshot[i];
        if (!guard.Alive()) return;
        if (listChanges_ != changes && (!Contains(notifies_.get(), linked) || linked->serial_ != serial)) continue;
        linked->Notify(Sender, Operation);
    }
}

void TrpCommunicator::Notify(TrpCommunicator* Communicator, int Operation) {
    if (Operation == rpopFreeing) Forget(Communicator);
    if (OnNotify) OnNotify(this, Communicator, Operation);
}

bool TrpCommunicator::LinkedListensTo(int Event) const {
    if (!notifies_ || Event < 0 || Event > 255) return false;
    for (const TrpCommunicator* c : *notifies_)
        if (c->eventSet_[static_cast<std::size_t>(Event)]) return true;
    return false;
}

// ---------------------------------------------------------------------------
// Events

void TrpCommunicator::AddEventNotify(TrpCommunicator* Listener) {
    if (Listener == nullptr || Listener == this) return;
    if (!eventNotifies_) eventNotifies_ = std::make_unique<List>();
    ++listChanges_;
    if (!Contains(eventNotifies_.get(), Listener)) {
        if (Listener->GetEventNotifySortKey().empty())
            eventNotifies_->push_back(Listener);
        else
            SortEventNotifies(Listener);
    }
    AddNotify(Listener);
}

void TrpCommunicator::SortEventNotifies(TrpCommunicator* Newcomer) {
    std::vector<std::pair<std::string, TrpCommunicator*>> keyed;
    for (TrpCommunicator* c : *eventNotifies_) keyed.emplace_back(c->GetEventNotifySortKey(), c);
    keyed.emplace_back(Newcomer->GetEventNotifySortKey(), Newcomer);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return AnsiCompareText(a.first, b.first) < 0; });
    eventNotifies_->clear();
    for (const auto& k : keyed) eventNotifies_->push_back(k.second);
}

void TrpCommunicator::RemoveEventNotify(TrpCommunicator* Listener) {
    if (!Contains(eventNotifies_.get(), Listener)) return;
    ++listChanges_;
    eventNotifies_->erase(std::remove(eventNotifies_->begin(), eventNotifies_->end(), Listener),
                          eventNotifies_->end());
    if (eventNotifies_->empty()) eventNotifies_.reset();
    RemoveNotify(Listener);
}

int TrpCommunicator::EventNotifyCount() const {
    return eventNotifies_ ? static_cast<int>(eventNotifies_->size()) : 0;
}

TrpCommunicator* TrpCommunicator::EventNotifies(int Index) const {
    if (!eventNotifies_ || Index < 0 || Index >= EventNotifyCount()) return nullptr;
    return (*eventNotifies_)[static_cast<std::size_t>(Index)];
}

bool TrpCommunicator::EventListenersHear(int Event) const {
    if (!eventNotifies_ || Event < 0 || Event > 255) return false;
    const auto bit = static_cast<std::size_t>(Event);
    for (const TrpCommunicator* c : *eventNotifies_)
        if (c->eventSet_[bit]) return true;
    return false;
}

void TrpCommunicator::SendEventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) {
    if (!eventNotifies_ || EventNumber < 0 || EventNumber > 255) return;
    // Most events reach no one (a printable tells every command it makes):
    // leave before the snapshot when no listener takes this one.
    const bool heard = std::any_of(eventNotifies_->begin(), eventNotifies_->end(), [EventNumber](TrpCommunicator* c) {
        return c->eventSet_[static_cast<std::size_t>(EventNumber)];
    });
    if (!heard) return;
    SendingGuard guard(sending_, {1, EventNumber}, LifeToken());
    if (guard.Repeated()) return;
    SmallSnapshot snapshot(*eventNotifies_, [](const TrpCommunicator* c) { return c->serial_; });
    const std::size_t count = snapshot.Count();
    const auto bit = static_cast<std::size_t>(EventNumber);
    // While the list stays as it was, every listener in the snapshot is
    // still there and alive (one that goes is forgotten, which changes it).
    const std::uint64_t changes = listChanges_;
    for (std::size_t i = 0; i < count; ++i) {
        const auto [listener, serial] = snapshot[i];
        if (!guard.Alive()) return;
        if (listChanges_ != changes &&
            (!Contains(eventNotifies_.get(), listener) || listener->serial_ != serial))
            continue;
        if (listener->eventSet_[bit]) listener->EventNotify(Sender, EventNumber, Params);
    }
}

void TrpCommunicator::EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) {
    if (OnEventNotify) OnEventNotify(this, Sender, EventNumber, Params);
}

// ---------------------------------------------------------------------------
// State and changes

void TrpCommunicator::IncludeState(std::uint16_t Flags) {
    if ((state_ | Flags) == state_) return;
    state_ = static_cast<std::uint16_t>(state_ | Flags);
    StateChange(Flags);
}

void TrpCommunicator::ExcludeState(std::uint16_t Flags) {
    if ((state_ & Flags) == 0) return;
    state_ = static_cast<std::uint16_t>(state_ & ~Flags);
    StateChange(Flags);
}

void TrpCommunicator::PropertyChange() { SendChangeToListener(); }

// ---------------------------------------------------------------------------
// Parents

TrpCommunicator* TrpCommunicator::ParentCommunicator() const {
    if (!HasParent()) return nullptr;
    return dynamic_cast<TrpCommunicator*>(GetParentComponent());
}

TrpCommunicator* TrpCommunicator::TopCommunicator() const {
    const TrpCommunicator* top = this;
    // Parents never form a ring; the bound only keeps a broken tree from hanging.
    for (int depth = 0; depth < 100000; ++depth) {
        TrpCommunicator* parent = top->ParentCommunicator();
        if (parent == nullptr || parent == this) break;
        top = parent;
    }
    return const_cast<TrpCommunicator*>(top);
}

// ---------------------------------------------------------------------------
// User names

namespace report {

int NameNumber(const std::string& Base, const std::string& Name) {
    if (Name.size() <= Base.size() || Name.compare(0, Base.size(), Base) != 0) return 0;
    long long n = 0;
    for (std::size_t i = Base.size(); i < Name.size(); ++i) {
        const char c = Name[i];
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
        if (n > INT_MAX) return 0;
    }
    return static_cast<int>(n);
}

std::string LowestFreeName(const std::string& Base, const std::function<bool(const std::string&)>& Taken) {
    for (long long n = 1; n <= INT_MAX; ++n) {
        std::string candidate = Base + std::to_string(n);
        if (!Taken(candidate)) return candidate;
    }
    return Base;
}

long long& NamesLookedAt() {
    static long long count = 0;
    return count;
}

namespace {

// The number Name takes after Base (in any letter case): Base + digits with
// no leading zero, "Base01" being no number; 0 when none.
int TakenNumber(const std::string& Base, const std::string& Name) {
    if (Name.size() <= Base.size() || Name[Base.size()] == '0') return 0;
    if (!SameText(std::string_view(Name).substr(0, Base.size()), Base)) return 0;
    return NameNumber(Name.substr(0, Base.size()), Name);
}

}  // namespace

void FreeNumberedName::Take(const std::string& Name) {
    ++NamesLookedAt();
    ++seen_;
    if (const int n = TakenNumber(base_, Name); n > 0) taken_.push_back(n);
}

std::string NameSeries::Next(const std::string& Base, TComponent* Component) {
    if (owner_ == nullptr) return Base;
    auto [it, fresh] = bases_.try_emplace(UpperCase(Base));
    Free& series = it->second;
    if (fresh) {
        const auto count = static_cast<std::size_t>(owner_->ComponentCount());
        std::vector<char> used(count + 2, 0);
        for (std::size_t i = 0; i < count; ++i) {
            TComponent* c = owner_->Components(static_cast<int>(i));
            if (c == Component) continue;
            ++NamesLookedAt();
            const int n = TakenNumber(Base, c->Name());
            if (n > 0 && static_cast<std::size_t>(n) < used.size()) used[static_cast<std::size_t>(n)] = 1;
        }
        for (std::size_t n = 1; n < used.size(); ++n)
            if (!used[n]) series.numbers.push_back(static_cast<int>(n));
        series.beyond = static_cast<int>(used.size());
    }
    for (;;) {
        const int n = series.at < series.numbers.size() ? series.numbers[series.at++] : series.beyond++;
        std::string name = Base + std::to_string(n);
        ++NamesLookedAt();
        TComponent* holder = owner_->FindComponent(name);
        if (holder == nullptr || holder == Component) return name;
    }
}

namespace {
thread_local UserNameScope* activeUserNames = nullptr;
}  // namespace

UserNameScope::UserNameScope(TComponent* Root) : root_(Root), previous_(activeUserNames) { activeUserNames = this; }

UserNameScope::~UserNameScope() { activeUserNames = previous_; }

UserNameScope* UserNameScope::For(const TComponent* Communicator) {
    UserNameScope* scope = activeUserNames;
    if (scope == nullptr || Communicator == nullptr || scope->root_ == nullptr) return nullptr;
    return Communicator->Owner() == scope->root_ ? scope : nullptr;
}

void UserNameScope::Build() {
    built_ = true;
    for (int i = 0; i < root_->ComponentCount(); ++i)
        if (auto* c = dynamic_cast<TrpCommunicator*>(root_->Components(i))) {
            ++NamesLookedAt();
            const std::string name = c->GetUserName();
            if (!name.empty()) names_.try_emplace(UpperCase(name), c);
        }
}

TrpCommunicator* UserNameScope::Find(const std::string& Name) {
    if (!built_) Build();
    ++NamesLookedAt();
    auto it = names_.find(UpperCase(Name));
    if (it == names_.end()) return nullptr;
    // A communicator renamed since keeps no claim on its former name.
    if (!SameText(it->second->GetUserName(), Name)) {
        names_.erase(it);
        return nullptr;
    }
    return it->second;
}

void UserNameScope::Note(TrpCommunicator* Communicator) {
    if (!built_) return;  // the first search reads it with the others
    const std::string name = Communicator->GetUserName();
    if (!name.empty()) names_[UpperCase(name)] = Communicator;
}

std::string UserNameScope::NextFree(const std::string& Base, const TrpCommunicator* Self) {
    long long& n = next_.try_emplace(UpperCase(Base), 1).first->second;
    for (; n <= INT_MAX; ++n) {
        std::string candidate = Base + std::to_string(n);
        TrpCommunicator* holder = Find(candidate);
        if (holder == nullptr || holder == Self) return candidate;
    }
    return Base;
}

std::string FreeNumberedName::Lowest() const {
    // Among `seen_` names the lowest free number is at most seen_ + 1.
    std::vector<char> used(seen_ + 2, 0);
    for (int n : taken_)
        if (static_cast<std::size_t>(n) < used.size()) used[static_cast<std::size_t>(n)] = 1;
    for (std::size_t n = 1; n < used.size(); ++n)
        if (!used[n]) return base_ + std::to_string(n);
    return base_ + std::to_string(seen_ + 1);
}

}  // namespace report

std::string rpUniqueComponentName(const std::string& Base, TComponent* Owner, TComponent* Component) {
    if (Owner == nullptr) return Base;
    report::FreeNumberedName free(Base);
    for (int i = 0; i < Owner->ComponentCount(); ++i) {
        TComponent* c = Owner->Components(i);
        if (c != Component) free.Take(c->Name());
    }
    return free.Lowest();
}

std::string TrpCommunicator::UniqueUserNameAmong(TComponent* AOwner, TComponent* Component) const {
    const std::string cls = Component ? Component->ClassName() : ClassName();
    const std::string base = cls.size() > 3 ? cls.substr(3) : cls;
    if (AOwner == nullptr) return base;
    // While a template is read, the scope's index answers: a stream of
    // unnamed components would otherwise walk every user name for each one.
    if (report::UserNameScope* scope = report::UserNameScope::For(Component))
        if (Component->Owner() == AOwner) return scope->NextFree(base, dynamic_cast<TrpCommunicator*>(Component));
    report::FreeNumberedName free(base);
    for (int i = 0; i < AOwner->ComponentCount(); ++i) {
        auto* c = dynamic_cast<TrpCommunicator*>(AOwner->Components(i));
        if (c != nullptr && c != Component) free.Take(c->GetUserName());
    }
    return free.Lowest();
}

void TrpCommunicator::SetUserName(const std::string& Value) {
    if (!IsValidIdent(Value)) return;
    std::string chosen = Value;
    if (!ValidUserName(Value)) {
        const char last = Value.back();
        if (last >= '1' && last <= '9') return;
        if (report::UserNameScope* scope = report::UserNameScope::For(this))
            chosen = scope->NextFree(Value, this);
        else
            chosen = report::LowestFreeName(Value, [this](const std::string& candidate) {
                TrpCommunicator* found = FindUserName(candidate);
                return found != nullptr && found != this;
            });
    }
    userName_ = chosen;
    if (report::UserNameScope* scope = report::UserNameScope::For(this)) scope->Note(this);
    SendNotify(this, rpopUserNameChanged);
}

bool TrpCommunicator::ValidUserName(const std::string& Name) const {
    if (!IsValidIdent(Name)) return false;
    TrpCommunicator* found = FindUserName(Name);
    return found == nullptr || found == this;
}

TrpCommunicator* TrpCommunicator::FindUserName(const std::string& Name) const {
    if (report::UserNameScope* scope = report::UserNameScope::For(this)) return scope->Find(Name);
    if (TrpCommunicator* parent = ParentCommunicator()) return parent->FindUserName(Name);
    TComponent* owner = Owner();
    if (owner == nullptr) return nullptr;
    for (int i = 0; i < owner->ComponentCount(); ++i) {
        auto* c = dynamic_cast<TrpCommunicator*>(owner->Components(i));
        if (c != nullptr && SameText(c->GetUserName(), Name)) return c;
    }
    return nullptr;
}

std::string TrpCommunicator::GetDefaultUserName() {
    std::string name = Name();
    const std::string cls = ClassName();
    if (name.size() >= 2 && cls.size() >= 3 && name.compare(0, 2, cls, 1, 2) == 0) name.erase(0, 2);
    if (!ValidUserName(name)) name = GetUniqueUserName(this);
    return name;
}

std::string TrpCommunicator::GetUniqueUserName(TComponent* Component) {
    if (TrpCommunicator* parent = ParentCommunicator()) return parent->GetUniqueUserName(Component);
    return UniqueUserNameAmong(Owner(), Component);
}

std::string TrpCommunicator::GetUniqueName(TComponent* Component) {
    const std::string cls = Component ? Component->ClassName() : ClassName();
    const std::string base = cls.size() > 1 ? cls.substr(1) : cls;
    return rpUniqueComponentName(base, Owner() ? Owner() : this, Component);
}

void TrpCommunicator::ChangeOwner(TComponent* NewOwner) {
    TComponent* old = Owner();
    if (NewOwner == old) return;
    if (old != nullptr) old->RemoveComponent(this);
    if (NewOwner == nullptr) return;
    bool clash = false;
    for (int i = 0; i < NewOwner->ComponentCount() && !userName_.empty(); ++i) {
        auto* c = dynamic_cast<TrpCommunicator*>(NewOwner->Components(i));
        if (c != nullptr && c != this && SameText(c->GetUserName(), userName_)) clash = true;
    }
    const std::string previous = userName_;
    if (clash) userName_ = UniqueUserNameAmong(NewOwner, this);
    try {
        NewOwner->InsertComponent(this);
        if (report::UserNameScope* scope = report::UserNameScope::For(this)) scope->Note(this);
    } catch (...) {
        userName_ = previous;
        if (old != nullptr) old->InsertComponent(this);
        throw;
    }
}

void TrpCommunicator::SetName(const std::string& NewName) {
    const std::string old = Name();
    const bool derived =
        userName_.empty() || userName_ == old || (old.size() >= 2 && userName_ == old.substr(2));
    TComponent::SetName(NewName);
    const TComponentState st = ComponentState();
    if ((st.Contains(csLoading) || st.Contains(csReading)) && (state_ & rpstRenameWhileLoading) == 0) return;
    if (derived) SetUserName(GetDefaultUserName());
    SendEventNotify(this, rpevNameChanged, nullptr);
}

void TrpCommunicator::Loaded() {
    TComponent::Loaded();
    if (ClassType()->FindProp("UserName") != nullptr && userName_.empty()) SetUserName(GetDefaultUserName());
}
