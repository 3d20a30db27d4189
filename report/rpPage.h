#pragma once
// A generated report is a sequence of pages; a page is a list of draw
// commands, each saying what to draw where, in thousandths of a millimetre.
// The engine fills pages with the commands its components make and hands
// them to the publisher, which caches them and passes them on to the output
// devices; a device draws each command through a double dispatch
// (TrpDrawCommand::Draw calls TrpDevice::Draw). Pages are streamed as
// components (archives keep them), so their published properties are a
// storage format. A TrpPageRequest says which pages a device wants.
//
// Invariants: a draw command stands on at most one page, in its child list,
// owned by it as a component; the page's clickable and deferred lists hold
// exactly its commands that are clickable and deferred, and exist only
// while not empty.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Lists.h"
#include "report/rpBorder.h"
#include "report/rpPrinterSetup.h"
#include "report/rpRelatv.h"
#include "report/rpTypes.h"

class TrpDevice;
class TrpDrawCommand;
class TrpDrawLine;
class TrpDrawShape;
class TrpDrawText;
class TrpPage;
namespace report {
class PageStore;
}

class TrpPage : public TrpRelative {
public:
    explicit TrpPage(TComponent* AOwner);
    ~TrpPage() override;
    FAT_CLASS(TrpPage)

    // A deep copy of another page: every value, the printer setup, and a new
    // command of the same class for each of the source's commands.
    void Assign(TPersistent* Source) override;
    // The page's own values and printer setup, leaving the commands as they are.
    void AssignValues(TrpPage* Source);
    // Frees the commands and zeroes the numbering (the setup stays).
    void Clear();

    // Raises EOutlineError for a second outline command.
    void AddDrawCommand(TrpDrawCommand* Command);
    void RemoveDrawCommand(TrpDrawCommand* Command);
    TrpDrawCommand* DrawCommands(int Index) const;
    int DrawCommandCount() const { return ChildCount(); }
    TrpDrawCommand* ClickableDrawCommands(int Index) const;
    int ClickableDrawCommandCount() const;
    void FreeDrawCommands();
    bool HasDeferredDrawCommands() const { return deferred_ != nullptr; }
    int DeferredDrawCommandCount() const;
    // Recalculates each deferred command; a device given redraws those whose
    // value changed.
    void RecalculateDrawCommands(TrpDevice* Device);
    // The first command of the class or a subclass; nullptr when none.
    TrpDrawCommand* FindDrawCommand(TClass Class) const;
    TrpDrawCommand* GetOutlineDrawCommand() const;
    // "Página 3"; "Página 3 de 7".
    std::string GetPageNoText() const;
    std::string GetPageDescription() const;
    // Files a command anew in the clickable and deferred lists (after its
    // flags changed, or once it was read from a stream).
    void RefileDrawCommand(TrpDrawCommand* Command);

    int AbsolutePageNo() const { return absolutePageNo_; }
    void SetAbsolutePageNo(int Value) { absolutePageNo_ = Value; }
    int AbsolutePageCount() const { return absolutePageCount_; }
    void SetAbsolutePageCount(int Value) { absolutePageCount_ = Value; }
    bool Calculation() const { return calculation_; }
    void SetCalculation(bool Value) { calculation_ = Value; }
    TColor Color() const { return color_; }
    void SetColor(TColor Value) { color_ = Value; }
    int ControlGroupBreakNo() const { return controlGroupBreakNo_; }
    void SetControlGroupBreakNo(int Value) { controlGroupBreakNo_ = Value; }
    const std::string& DocumentName() const { return documentName_; }
    void SetDocumentName(const std::string& Value) { documentName_ = Value; }
    bool FirstPage() const { return firstPage_; }
    void SetFirstPage(bool Value) { firstPage_ = Value; }
    bool Final() const { return final_; }
    void SetFinal(bool Value) { final_ = Value; }
    int LanguageIndex() const { return languageIndex_; }
    void SetLanguageIndex(int Value) { languageIndex_ = Value; }
    bool LastPage() const { return lastPage_; }
    void SetLastPage(bool Value) { lastPage_ = Value; }
    TrpPageDef* PageDef() const { return printerSetup_->PageDef(); }
    int PageNo() const { return pageNo_; }
    void SetPageNo(int Value) { pageNo_ = Value; }
    int PageCount() const { return pageCount_; }
    void SetPageCount(int Value) { pageCount_ = Value; }
    TrpPassSettingType PassSetting() const { return passSetting_; }
    void SetPassSetting(TrpPassSettingType Value) { passSetting_ = Value; }
    TDateTime PrintDateTime() const { return printDateTime_; }
    void SetPrintDateTime(TDateTime Value) { printDateTime_ = Value; }
    TrpPrinterSetup* PrinterSetup() const { return printerSetup_.get(); }
    // Copies into the page's own setup; nullptr is ignored.
    void SetPrinterSetup(TrpPrinterSetup* Value);

    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;
    TComponent* GetChildOwner() override { return this; }
    // Only draw commands stand on a page (a damaged archive may name others).
    void InsertChild(int Index, TrpRelative* Child) override;

protected:
    // A page stands alone: it takes no parent.
    bool AcceptsParent() const override { return false; }
    // The page's own commands coming and going are not told to the other
    // commands: none of them holds a sibling, and a page of a thousand
    // commands made every insertion and removal walk them all.
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    void ListRemove(std::unique_ptr<std::vector<TrpDrawCommand*>>& List, TrpDrawCommand* Command);

    int absolutePageNo_ = 0;
    int absolutePageCount_ = 0;
    bool calculation_ = false;
    TColor color_ = clWhite;
    int controlGroupBreakNo_ = 0;
    std::string documentName_;
    bool firstPage_ = false;
    bool final_ = false;
    int languageIndex_ = 0;
    bool lastPage_ = false;
    int pageNo_ = 0;
    int pageCount_ = 0;
    TrpPassSettingType passSetting_ = psOnePass;
    TDateTime printDateTime_ = 0;
    std::unique_ptr<TrpPrinterSetup> printerSetup_;
    std::unique_ptr<std::vector<TrpDrawCommand*>> clickable_;
    std::unique_ptr<std::vector<TrpDrawCommand*>> deferred_;
    bool destroying_ = false;
};

class TrpDrawCommand : public TrpRelative {
public:
    explicit TrpDrawCommand(TComponent* AOwner);
    ~TrpDrawCommand() override;
    FAT_CLASS(TrpDrawCommand)

    // A page makes and frees a thousand commands: their memory is kept for
    // the next page's rather than given back to the heap each time.
    static void* operator new(std::size_t Size);
    static void operator delete(void* Memory, std::size_t Size) noexcept;

    // From another draw command: place, flags, handler, tags and border;
    // never the page.
    void Assign(TPersistent* Source) override;

    // Double dispatch: asks Device to draw this command.
    virtual bool Draw(TrpDevice* Device);
    // Same place and size; subclasses compare their own values too.
    virtual bool IsEqual(TrpDrawCommand* Other);
    // Deferred commands hold values completed from later pages.
    virtual bool IsDeferred() { return false; }
    // Refreshes a deferred value; true when the text changed or was set.
    virtual bool Recalculate() { return false; }
    bool IsDrawCommand() const final { return true; }
    // The command as one of the common kinds, or nullptr: what the
    // component filling it asks, cheaper than a cast.
    virtual TrpDrawText* AsDrawText() { return nullptr; }
    virtual TrpDrawShape* AsDrawShape() { return nullptr; }
    virtual TrpDrawLine* AsDrawLine() { return nullptr; }
    // The command that carries a page's outline (at most one a page).
    virtual bool IsOutline() const { return false; }
    void DoClick();

    TrpPage* Page() const { return page_; }
    // Leaves the old page and joins the new one (which may raise for a
    // second outline command).
    void SetPage(TrpPage* Value);

    // Made when first asked for or given a visible value: most commands
    // have none.
    TrpBorder* Border() const;
    void SetBorder(TrpBorder* Value);
    bool Clickable() const { return clickable_; }
    void SetClickable(bool Value);
    TrpDataType DataType() const { return dataType_; }
    void SetDataType(TrpDataType Value) { dataType_ = Value; }
    int32_t Left() const { return left_; }
    void SetLeft(int32_t Value) { left_ = Value; }
    int32_t Height() const { return height_; }
    void SetHeight(int32_t Value) { height_ = Value; }
    int32_t Top() const { return top_; }
    void SetTop(int32_t Value) { top_ = Value; }
    int32_t Width() const { return width_; }
    void SetWidth(int32_t Value) { width_ = Value; }

    // Device pixels of the rectangle last drawn (for hit tests).
    int DrawLeft = 0;
    int DrawTop = 0;
    int DrawRight = 0;
    int DrawBottom = 0;
    TRect DrawRect() const { return TRect{DrawLeft, DrawTop, DrawRight, DrawBottom}; }
    bool RedrawPage = false;
    // The report component that made the command (not owned).
    TComponent* ReportComponent = nullptr;
    std::string TagString;
    TNotifyEvent OnClick;

    void SetParentComponent(TComponent* Value) override;
    void Loaded() override;

protected:
    // Stored only when the border says so.
    bool BorderStored() const;

private:
    friend class TrpPage;
    friend class report::PageStore;
    TrpPage* page_ = nullptr;
    static bool IsDefault(const TrpBorder& Border);
    mutable std::unique_ptr<TrpBorder> border_;
    bool clickable_ = false;
    TrpDataType dataType_ = dtString;
    int32_t left_ = 0;
    int32_t height_ = 0;
    int32_t top_ = 0;
    int32_t width_ = 0;
};

using TrpDrawCommandClass = TClass;

class TrpPageRequest : public TPersistent {
public:
    FAT_CLASS(TrpPageRequest)
    TrpPageRequest();
    TrpPageRequest(const TrpPageRequest&) = delete;
    TrpPageRequest& operator=(const TrpPageRequest&) = delete;

    void Assign(TPersistent* Source) override;
    void Reset();
    // Whether the page is wanted (a single-page request beyond the end is
    // lowered to the last page as a side effect).
    bool IsRequested(TrpPage* Page);
    // Whether the page finishes the request.
    bool IsComplete(TrpPage* Page) const;
    // Widens this request by Other.
    void Merge(TrpPageRequest* Other);

    TStrings* PageList() const { return pageList_.get(); }
    void SetPageList(TStrings* Value);
    int PageRequested() const { return pageRequested_; }
    void SetPageRequested(int Value) { pageRequested_ = Value; }
    TrpPageSettingType PageSetting() const { return pageSetting_; }
    void SetPageSetting(TrpPageSettingType Value) { pageSetting_ = Value; }
    TrpPageRangeType PageRange() const { return pageRange_; }
    void SetPageRange(TrpPageRangeType Value) { pageRange_ = Value; }

private:
    std::unique_ptr<TStringList> pageList_;
    int pageRequested_ = 1;
    TrpPageSettingType pageSetting_ = psAll;
    TrpPageRangeType pageRange_ = prAll;
};

// Screen-only raster fonts mapped to fonts every device has.
class TrpDeviceSubstitutions {
public:
    static std::string SubstituteFont(const std::string& Name);
};

namespace report {
void RegisterPageClasses();
void UnregisterPageClasses();
}  // namespace report
