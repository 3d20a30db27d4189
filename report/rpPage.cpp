#include "report/rpPage.h"

#include <algorithm>
#include <atomic>
#include <new>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include "report/rpDevice.h"
#include "report/rpDrawCommand.h"
#include "report/rpExcept.h"
#include "report/rpLanguage.h"
#include "report/rpPageRTTI.h"

// ---------------------------------------------------------------------------
// TrpPage

TClass TrpPage::StaticClassType() {
    using P = TrpPage;
    static const TClassInfo info =
        TClassBuilder<P>("TrpPage", TrpRelative::StaticClassType())
            .Integer("AbsolutePageNo", &P::AbsolutePageNo, &P::SetAbsolutePageNo, 0)
            .Integer("AbsolutePageCount", &P::AbsolutePageCount, &P::SetAbsolutePageCount, 0)
            .Boolean("Calculation", &P::Calculation, &P::SetCalculation, 0)
            // Always written: a reader must not fall back on another default.
            .Ordinal("Color", TypeInfoColor(), &P::Color, &P::SetColor)
            .Integer("ControlGroupBreakNo", &P::ControlGroupBreakNo, &P::SetControlGroupBreakNo, 0)
            .String("DocumentName", &P::DocumentName, &P::SetDocumentName)
            .Boolean("FirstPage", &P::FirstPage, &P::SetFirstPage, 0)
            .Boolean("Final", &P::Final, &P::SetFinal, 0)
            .Integer("LanguageIndex", &P::LanguageIndex, &P::SetLanguageIndex, 0)
            .Boolean("LastPage", &P::LastPage, &P::SetLastPage, 0)
            .Object("PageDef", TrpPageDef::StaticClassType(), &P::PageDef, nullptr)
            .Integer("PageNo", &P::PageNo, &P::SetPageNo, 0)
            .Integer("PageCount", &P::PageCount, &P::SetPageCount, 0)
            .Enum("PassSetting", rpTypeInfo<TrpPassSettingType>(), &P::PassSetting, &P::SetPassSetting, psOnePass)
            .DateTime("PrintDateTime", &P::PrintDateTime, &P::SetPrintDateTime)
            .Object("PrinterSetup", TrpPrinterSetup::StaticClassType(), &P::PrinterSetup, &P::SetPrinterSetup)
            .Build();
    return &info;
}

TrpPage::TrpPage(TComponent* AOwner)
    : TrpRelative(AOwner), printerSetup_(std::make_unique<TrpPrinterSetup>(this)) {}

TrpPage::~TrpPage() {
    destroying_ = true;
    FreeDrawCommands();
}

void TrpPage::SetPrinterSetup(TrpPrinterSetup* Value) {
    if (Value != nullptr) printerSetup_->Assign(Value);
}

void TrpPage::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TrpPage*>(Source);
    if (other == nullptr) {
        TrpRelative::Assign(Source);
        return;
    }
    if (other == this) return;
    AssignValues(other);
    FreeDrawCommands();
    for (int i = 0; i < other->DrawCommandCount(); ++i) {
        TrpDrawCommand* source = other->DrawCommands(i);
        TClass cls = source->ClassType();
        auto* copy = cls->Create ? dynamic_cast<TrpDrawCommand*>(cls->Create(this)) : nullptr;
        if (copy == nullptr) continue;
        copy->Assign(source);
        copy->SetPage(this);
    }
}

void TrpPage::AssignValues(TrpPage* Source) {
    TrpPage* other = Source;
    if (other == nullptr || other == this) return;
    absolutePageNo_ = other->absolutePageNo_;
    absolutePageCount_ = other->absolutePageCount_;
    calculation_ = other->calculation_;
    color_ = other->color_;
    controlGroupBreakNo_ = other->controlGroupBreakNo_;
    documentName_ = other->documentName_;
    firstPage_ = other->firstPage_;
    final_ = other->final_;
    languageIndex_ = other->languageIndex_;
    lastPage_ = other->lastPage_;
    pageNo_ = other->pageNo_;
    pageCount_ = other->pageCount_;
    passSetting_ = other->passSetting_;
    printDateTime_ = other->printDateTime_;
    printerSetup_->Assign(other->printerSetup_.get());
}

void TrpPage::Clear() {
    FreeDrawCommands();
    absolutePageNo_ = 0;
    absolutePageCount_ = 0;
    calculation_ = false;
    controlGroupBreakNo_ = 0;
    documentName_.clear();
    final_ = false;
    languageIndex_ = 0;
    lastPage_ = false;
    pageCount_ = 0;
    pageNo_ = 0;
}

namespace {

void ListAdd(std::unique_ptr<std::vector<TrpDrawCommand*>>& List, TrpDrawCommand* Command) {
    if (!List) List = std::make_unique<std::vector<TrpDrawCommand*>>();
    if (std::find(List->begin(), List->end(), Command) == List->end()) List->push_back(Command);
}

}  // namespace

void TrpPage::ListRemove(std::unique_ptr<std::vector<TrpDrawCommand*>>& List, TrpDrawCommand* Command) {
    if (!List) return;
    List->erase(std::remove(List->begin(), List->end(), Command), List->end());
    if (List->empty()) List.reset();
}

void TrpPage::AddDrawCommand(TrpDrawCommand* Command) {
    if (Command == nullptr) return;
    if (Command->IsOutline() && GetOutlineDrawCommand() != nullptr && GetOutlineDrawCommand() != Command)
        throw EOutlineError("TrpPage.AddDrawCommand: Cannot add more than one draw outline command per page.");
    // A command stands on one page only, whichever way it is added.
    if (Command->page_ != nullptr && Command->page_ != this) Command->page_->RemoveDrawCommand(Command);
    AddChild(Command);
    if (Command->IsDeferred()) ListAdd(deferred_, Command);
    if (Command->Clickable()) ListAdd(clickable_, Command);
    if (Command->Owner() != this) {
        if (Command->Owner() != nullptr) Command->Owner()->RemoveComponent(Command);
        InsertComponent(Command);
    }
    Command->page_ = this;
}

void TrpPage::RemoveDrawCommand(TrpDrawCommand* Command) {
    if (Command == nullptr) return;
    RemoveChild(Command);
    // Whatever its flags say now: a command must never stay listed on a page
    // it left, nor believe it still stands there.
    ListRemove(clickable_, Command);
    ListRemove(deferred_, Command);
    if (Command->page_ == this) Command->page_ = nullptr;
    if (!destroying_ && Command->Owner() == this) RemoveComponent(Command);
}

void TrpPage::RefileDrawCommand(TrpDrawCommand* Command) {
    if (Command == nullptr || IndexOfChild(Command) < 0) return;
    if (Command->IsDeferred())
        ListAdd(deferred_, Command);
    else
        ListRemove(deferred_, Command);
    if (Command->Clickable())
        ListAdd(clickable_, Command);
    else
        ListRemove(clickable_, Command);
}

TrpDrawCommand* TrpPage::DrawCommands(int Index) const { return static_cast<TrpDrawCommand*>(Children(Index)); }

TrpDrawCommand* TrpPage::ClickableDrawCommands(int Index) const {
    if (!clickable_ || Index < 0 || Index >= static_cast<int>(clickable_->size())) return nullptr;
    return (*clickable_)[static_cast<std::size_t>(Index)];
}

int TrpPage::ClickableDrawCommandCount() const { return clickable_ ? static_cast<int>(clickable_->size()) : 0; }

int TrpPage::DeferredDrawCommandCount() const { return deferred_ ? static_cast<int>(deferred_->size()) : 0; }

void TrpPage::FreeDrawCommands() {
    FreeChildren();
    clickable_.reset();
    deferred_.reset();
}

void TrpPage::RecalculateDrawCommands(TrpDevice* Device) {
    if (!deferred_) return;
    // A redraw may move commands; walk a snapshot.
    const std::vector<TrpDrawCommand*> snapshot = *deferred_;
    for (TrpDrawCommand* c : snapshot) {
        if (!deferred_ || std::find(deferred_->begin(), deferred_->end(), c) == deferred_->end()) continue;
        if (c->Recalculate() && Device != nullptr) Device->Redraw(c);
    }
}

TrpDrawCommand* TrpPage::FindDrawCommand(TClass Class) const {
    if (Class == nullptr) return nullptr;
    for (int i = 0; i < DrawCommandCount(); ++i) {
        TrpDrawCommand* c = DrawCommands(i);
        if (c->ClassType()->InheritsFrom(Class)) return c;
    }
    return nullptr;
}

TrpDrawCommand* TrpPage::GetOutlineDrawCommand() const {
    for (int i = 0; i < DrawCommandCount(); ++i)
        if (DrawCommands(i)->IsOutline()) return DrawCommands(i);
    return nullptr;
}

std::string TrpPage::GetPageNoText() const { return rpLanguageText(18) + " " + std::to_string(absolutePageNo_); }

std::string TrpPage::GetPageDescription() const {
    return GetPageNoText() + " " + rpLanguageText(16) + " " + std::to_string(absolutePageCount_);
}

void TrpPage::InsertChild(int Index, TrpRelative* Child) {
    if (Child == nullptr || !Child->IsDrawCommand()) return;
    TrpRelative::InsertChild(Index, Child);
}

void TrpPage::Notification(TComponent* AComponent, TOperation Operation) {
    if (AComponent != nullptr && AComponent->Owner() == this) {
        if (Operation == opRemove) RemoveFreeNotification(AComponent);
        return;
    }
    TrpRelative::Notification(AComponent, Operation);
}

void TrpPage::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent*) {
    for (int i = 0; i < DrawCommandCount(); ++i) Proc(DrawCommands(i));
}

// ---------------------------------------------------------------------------
// TrpDrawCommand

TClass TrpDrawCommand::StaticClassType() {
    using D = TrpDrawCommand;
    static const TClassInfo info =
        TClassBuilder<D>("TrpDrawCommand", TrpRelative::StaticClassType())
            .Object("Border", TrpBorder::StaticClassType(), &D::Border, &D::SetBorder)
            .Stored([](const D* d) { return d->BorderStored(); })
            .Boolean("Clickable", &D::Clickable, &D::SetClickable, 0)
            .Enum("DataType", rpTypeInfo<TrpDataType>(), &D::DataType, &D::SetDataType, dtString)
            .Integer("Left", &D::Left, &D::SetLeft)
            .Integer("Height", &D::Height, &D::SetHeight)
            .Integer("Top", &D::Top, &D::SetTop)
            .Integer("Width", &D::Width, &D::SetWidth)
            .Build();
    return &info;
}

namespace {

// A kept block is poisoned until it is handed out again, so that the
// address checker still reports a command used after its page freed it.
#if defined(__SANITIZE_ADDRESS__)
void Poison(void* Block, std::size_t Size) { ASAN_POISON_MEMORY_REGION(Block, Size); }
void Unpoison(void* Block, std::size_t Size) { ASAN_UNPOISON_MEMORY_REGION(Block, Size); }
#else
void Poison(void*, std::size_t) {}
void Unpoison(void*, std::size_t) {}
#endif

// Freed commands' blocks by size, 16 bytes apart, per thread: a block freed
// on another thread than its own is simply kept there. Bounded so that a
// page of very many commands does not hold its memory for ever.
class CommandBlocks {
public:
    static constexpr std::size_t kStep = 16;
    static constexpr std::size_t kSizes = 64;   // up to 1 KiB
    static constexpr std::size_t kKept = 4096;  // blocks kept per size

    ~CommandBlocks() {
        for (std::size_t c = 0; c <= kSizes; ++c)
            for (void* block : free_[c]) {
                Unpoison(block, c * kStep);
                ::operator delete(block);
            }
    }
    static std::size_t SizeClass(std::size_t Size) { return (Size + kStep - 1) / kStep; }
    void* Take(std::size_t Class) {
        auto& list = free_[Class];
        if (list.empty()) return ::operator new(Class * kStep);
        void* block = list.back();
        list.pop_back();
        Unpoison(block, Class * kStep);
        return block;
    }
    void Give(void* Block, std::size_t Class) {
        auto& list = free_[Class];
        try {
            if (list.size() < kKept) {
                list.push_back(Block);
                Poison(Block, Class * kStep);
                return;
            }
        } catch (const std::bad_alloc&) {
            // No room to remember it: it goes back to the heap.
        }
        ::operator delete(Block);
    }

private:
    std::vector<void*> free_[kSizes + 1];
};

// Plain pointers, alive for the whole thread: a command freed by a static
// object's destructor, after the blocks went, goes straight to the heap.
thread_local CommandBlocks* threadBlocks = nullptr;
thread_local bool threadBlocksGone = false;

struct CommandBlocksOwner {
    ~CommandBlocksOwner() {
        delete threadBlocks;
        threadBlocks = nullptr;
        threadBlocksGone = true;
    }
};

CommandBlocks* ThreadCommandBlocks() {
    if (threadBlocks == nullptr && !threadBlocksGone) {
        thread_local CommandBlocksOwner owner;
        threadBlocks = new CommandBlocks;
    }
    return threadBlocks;
}

}  // namespace

void* TrpDrawCommand::operator new(std::size_t Size) {
    const std::size_t c = CommandBlocks::SizeClass(Size);
    CommandBlocks* blocks = c <= CommandBlocks::kSizes ? ThreadCommandBlocks() : nullptr;
    // Made at its size class, so that any thread may keep it once freed.
    return blocks != nullptr ? blocks->Take(c) : ::operator new(c <= CommandBlocks::kSizes ? c * CommandBlocks::kStep : Size);
}

void TrpDrawCommand::operator delete(void* Memory, std::size_t Size) noexcept {
    if (Memory == nullptr) return;
    const std::size_t c = CommandBlocks::SizeClass(Size);
    CommandBlocks* blocks = c <= CommandBlocks::kSizes ? ThreadCommandBlocks() : nullptr;
    if (blocks != nullptr)
        blocks->Give(Memory, c);
    else
        ::operator delete(Memory);
}

TrpDrawCommand::TrpDrawCommand(TComponent* AOwner)
    : TrpRelative(AOwner) {}

TrpDrawCommand::~TrpDrawCommand() { SetPage(nullptr); }

bool TrpDrawCommand::BorderStored() const {
    return border_ && !IsDefault(*border_);
}

TrpBorder* TrpDrawCommand::Border() const {
    if (!border_) border_ = std::make_unique<TrpBorder>(const_cast<TrpDrawCommand*>(this));
    return border_.get();
}

bool TrpDrawCommand::IsDefault(const TrpBorder& b) {
    return !(b.Visible() || b.BorderPositions().Bits() != 0 || b.Color() != clBlack || b.Style() != psSolid ||
           b.Weight() != 1.0f);
}

void TrpDrawCommand::SetBorder(TrpBorder* Value) {
    if (Value == nullptr || (!border_ && IsDefault(*Value))) return;
    Border()->Assign(Value);
}

void TrpDrawCommand::SetClickable(bool Value) {
    if (Value == clickable_) return;
    clickable_ = Value;
    if (page_ != nullptr) page_->RefileDrawCommand(this);
}

void TrpDrawCommand::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TrpDrawCommand*>(Source);
    if (other == nullptr) {
        TrpRelative::Assign(Source);
        return;
    }
    if (other == this) return;
    ReportComponent = other->ReportComponent;
    SetClickable(other->clickable_);
    dataType_ = other->dataType_;
    DrawLeft = other->DrawLeft;
    DrawTop = other->DrawTop;
    DrawRight = other->DrawRight;
    DrawBottom = other->DrawBottom;
    TagString = other->TagString;
    left_ = other->left_;
    height_ = other->height_;
    OnClick = other->OnClick;
    SetTag(other->Tag());
    top_ = other->top_;
    width_ = other->width_;
    if (other->border_) {
        Border()->Assign(other->border_.get());
    } else if (border_) {
        TrpBorder none;
        border_->Assign(&none);
    }
}

void TrpDrawCommand::SetPage(TrpPage* Value) {
    if (Value == page_) return;
    if (page_ != nullptr) page_->RemoveDrawCommand(this);
    if (Value != nullptr) Value->AddDrawCommand(this);
}

bool TrpDrawCommand::Draw(TrpDevice* Device) { return Device != nullptr && Device->Draw(this); }

bool TrpDrawCommand::IsEqual(TrpDrawCommand* Other) {
    return Other != nullptr && left_ == Other->left_ && height_ == Other->height_ && top_ == Other->top_ &&
           width_ == Other->width_;
}

void TrpDrawCommand::DoClick() {
    if (OnClick) OnClick(this);
}

void TrpDrawCommand::SetParentComponent(TComponent* Value) {
    if (auto* page = dynamic_cast<TrpPage*>(Value))
        SetPage(page);
    else
        TrpRelative::SetParentComponent(Value);
}

void TrpDrawCommand::Loaded() {
    TrpRelative::Loaded();
    // Read after it joined its page: the flags that decide its lists are
    // known only now.
    if (page_ != nullptr) page_->RefileDrawCommand(this);
}

// ---------------------------------------------------------------------------
// TrpPageRequest

TClass TrpPageRequest::StaticClassType() {
    using R = TrpPageRequest;
    static const TClassInfo info =
        TClassBuilder<R>("TrpPageRequest", TPersistent::StaticClassType())
            .Object("PageList", TStrings::StaticClassType(), &R::PageList, &R::SetPageList)
            .Integer("PageRequested", &R::PageRequested, &R::SetPageRequested)
            .Enum("PageSetting", rpTypeInfo<TrpPageSettingType>(), &R::PageSetting, &R::SetPageSetting)
            .Enum("PageRange", rpTypeInfo<TrpPageRangeType>(), &R::PageRange, &R::SetPageRange)
            .Build();
    return &info;
}

TrpPageRequest::TrpPageRequest() : pageList_(std::make_unique<TStringList>()) {}

void TrpPageRequest::Reset() {
    pageList_->Clear();
    pageRequested_ = 1;
    pageSetting_ = psAll;
    pageRange_ = prAll;
}

void TrpPageRequest::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TrpPageRequest*>(Source);
    if (other == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    if (other == this) return;
    pageList_->Assign(*other->pageList_);
    pageRequested_ = other->pageRequested_;
    pageSetting_ = other->pageSetting_;
    pageRange_ = other->pageRange_;
}

void TrpPageRequest::SetPageList(TStrings* Value) {
    if (Value == nullptr) {
        pageList_->Clear();
        return;
    }
    if (Value != pageList_.get()) pageList_->Assign(*Value);
}

bool TrpPageRequest::IsRequested(TrpPage* Page) {
    if (Page == nullptr) return false;
    bool result = false;
    switch (pageSetting_) {
        case psAll: result = true; break;
        case psPageList: result = pageList_->IndexOf(std::to_string(Page->AbsolutePageNo())) >= 0; break;
        case psSinglePage:
            if (Page->LastPage() && Page->AbsolutePageCount() < pageRequested_)
                pageRequested_ = Page->AbsolutePageCount();
            else if (pageRequested_ < 1 && Page->AbsolutePageNo() == 1)
                pageRequested_ = 1;
            result = Page->AbsolutePageNo() == pageRequested_;
            break;
        case psFirstPage: result = Page->FirstPage(); break;
        case psLastPage: result = Page->LastPage(); break;
        case psPageRange: result = false; break;
    }
    if (result && pageRange_ == prOddPages) result = Page->AbsolutePageNo() % 2 != 0;
    if (result && pageRange_ == prEvenPages) result = Page->AbsolutePageNo() % 2 == 0;
    return result;
}

bool TrpPageRequest::IsComplete(TrpPage* Page) const {
    if (Page == nullptr) return false;
    switch (pageSetting_) {
        case psAll:
        case psLastPage: return Page->LastPage();
        case psPageList:
            return pageList_->Count() > 0 &&
                   (*pageList_)[pageList_->Count() - 1] == std::to_string(Page->AbsolutePageNo());
        case psSinglePage: return Page->AbsolutePageNo() == pageRequested_;
        case psFirstPage: return Page->FirstPage();
        case psPageRange: return false;
    }
    return false;
}

void TrpPageRequest::Merge(TrpPageRequest* Other) {
    if (Other == nullptr || Other == this) return;
    const TrpPageSettingType theirs = Other->pageSetting_;
    if (theirs != psSinglePage && theirs != psFirstPage) {
        pageSetting_ = psAll;
        return;
    }
    const int wanted = Other->pageRequested_;
    if ((pageSetting_ == psSinglePage && pageRequested_ != wanted) || (pageSetting_ == psFirstPage && wanted != 1)) {
        pageSetting_ = psPageList;
        pageList_->Clear();
        pageList_->Add(std::to_string(pageRequested_));
        pageList_->Add(std::to_string(wanted));
    } else if (pageSetting_ == psPageList) {
        const std::string text = std::to_string(wanted);
        if (pageList_->IndexOf(text) < 0) pageList_->Add(text);
    }
}

// ---------------------------------------------------------------------------

std::string TrpDeviceSubstitutions::SubstituteFont(const std::string& Name) {
    if (Name == "Courier" || Name == "MS Serif") return "Courier New";
    static const char* const toArial[] = {"Fixedsys", "Modern", "MS Sans Serif", "Small Fonts", "System", "Terminal"};
    for (const char* f : toArial)
        if (Name == f) return "Arial";
    return Name;
}

namespace report {

namespace {
std::atomic<int> pageUses{0};
}

void RegisterPageClasses() {
    if (pageUses++ > 0) return;
    RegisterPrinterSetupClasses();
    RegisterClass(TrpPage::StaticClassType());
    RegisterClass(TrpDrawCommand::StaticClassType());
    RegisterDrawCommandClasses();
    RegisterDeviceClasses();
    RegisterPageAdapters();
}

void UnregisterPageClasses() {
    if (pageUses.load() <= 0 || --pageUses > 0) return;
    UnregisterPageAdapters();
    UnregisterDeviceClasses();
    UnregisterDrawCommandClasses();
    UnRegisterClass(TrpDrawCommand::StaticClassType());
    UnRegisterClass(TrpPage::StaticClassType());
    UnregisterPrinterSetupClasses();
}

}  // namespace report
