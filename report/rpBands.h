#pragma once
// The concrete bands of a report. They differ in their kind, where they sort
// in the report (rank), which engine sections keep them generating (type
// flags), their default caption and the few settings of their own; how
// each one generates belongs to the generation code.
#include <memory>

#include "platform/rtl/Lists.h"
#include "report/rpBand.h"

class TrpGroup;

RP_ENUM(TrpColumnTraversalType, ctTopToBottom, ctLeftToRight)

class TrpBasicBand : public TrpCustomBand {
public:
    using TrpCustomBand::TrpCustomBand;
    FAT_CLASS(TrpBasicBand)
    std::string GetDescription() const override;
    std::string GetDefaultUserName() override;

protected:
    // The language text that names the kind (its caption and description).
    virtual int CaptionTextNumber() const = 0;
    virtual std::string KindUserName() const = 0;
};

class TrpPageBand : public TrpBasicBand {
public:
    using TrpBasicBand::TrpBasicBand;
    FAT_CLASS(TrpPageBand)
    bool PrintOnFirstPage() const { return printOnFirstPage_; }
    void SetPrintOnFirstPage(bool Value);
    bool PrintOnLastPage() const { return printOnLastPage_; }
    void SetPrintOnLastPage(bool Value);

private:
    bool printOnFirstPage_ = true;
    bool printOnLastPage_ = true;
};

class TrpHeaderBand : public TrpPageBand {
public:
    explicit TrpHeaderBand(TComponent* AOwner) : TrpPageBand(AOwner) {}
    FAT_CLASS(TrpHeaderBand)
    TrpBandType Kind() const override { return btHeader; }
    std::string GetRank() const override { return rpRankText(TrpBandRank::Header); }
    TrpBandTypeFlags GetBandTypeFlags() const override { return {TrpBandTypeFlag::PageHeader}; }
    bool IsHeaderBand() const override { return true; }

protected:
    int CaptionTextNumber() const override { return 193; }
    std::string KindUserName() const override { return "Header"; }
};

class TrpFooterBand : public TrpPageBand {
public:
    explicit TrpFooterBand(TComponent* AOwner) : TrpPageBand(AOwner) {}
    FAT_CLASS(TrpFooterBand)
    TrpBandType Kind() const override { return btFooter; }
    std::string GetRank() const override { return rpRankText(TrpBandRank::Footer); }
    TrpBandTypeFlags GetBandTypeFlags() const override { return {TrpBandTypeFlag::PageFooter}; }
    // Its space is measured up from the page's bottom margin: always static.
    void SetPrintHeight(TrpPrintHeightType) override {}

protected:
    int CaptionTextNumber() const override { return 190; }
    std::string KindUserName() const override { return "Footer"; }
};

class TrpReportBand : public TrpBasicBand {
public:
    using TrpBasicBand::TrpBasicBand;
    FAT_CLASS(TrpReportBand)
    bool NewPage() const { return newPage_; }
    void SetNewPage(bool Value);
    bool FirstPrinted() const { return firstPrinted_; }
    void SetFirstPrinted(bool Value) { firstPrinted_ = Value; }

protected:
    bool FirstPrintFlag() const override { return firstPrinted_; }
    void SetFirstPrintFlag(bool Value) override { firstPrinted_ = Value; }

private:
    bool newPage_ = false;
    bool firstPrinted_ = false;
};

class TrpTitleBand : public TrpReportBand {
public:
    explicit TrpTitleBand(TComponent* AOwner) : TrpReportBand(AOwner) {}
    FAT_CLASS(TrpTitleBand)
    TrpBandType Kind() const override { return btTitle; }
    std::string GetRank() const override { return rpRankText(TrpBandRank::Title); }
    TrpBandTypeFlags GetBandTypeFlags() const override { return {TrpBandTypeFlag::Title}; }
    bool IsHeaderBand() const override { return true; }

protected:
    int CaptionTextNumber() const override { return 195; }
    std::string KindUserName() const override { return "Title"; }
};

class TrpSummaryBand : public TrpReportBand {
public:
    explicit TrpSummaryBand(TComponent* AOwner) : TrpReportBand(AOwner) {}
    FAT_CLASS(TrpSummaryBand)
    TrpBandType Kind() const override { return btSummary; }
    std::string GetRank() const override { return rpRankText(TrpBandRank::Summary); }
    TrpBandTypeFlags GetBandTypeFlags() const override { return {TrpBandTypeFlag::Summary}; }

protected:
    int CaptionTextNumber() const override { return 194; }
    std::string KindUserName() const override { return "Summary"; }
};

class TrpColumnHeaderBand : public TrpBasicBand {
public:
    explicit TrpColumnHeaderBand(TComponent* AOwner) : TrpBasicBand(AOwner) {}
    FAT_CLASS(TrpColumnHeaderBand)
    TrpBandType Kind() const override { return btColumnHeader; }
    std::string GetRank() const override { return rpRankText(TrpBandRank::ColumnHeader); }
    TrpBandTypeFlags GetBandTypeFlags() const override { return {TrpBandTypeFlag::ColumnHeader}; }
    bool IsHeaderBand() const override { return true; }

protected:
    int CaptionTextNumber() const override { return 188; }
    std::string KindUserName() const override { return "ColumnHeader"; }
};

class TrpColumnFooterBand : public TrpBasicBand {
public:
    explicit TrpColumnFooterBand(TComponent* AOwner) : TrpBasicBand(AOwner) {}
    FAT_CLASS(TrpColumnFooterBand)
    TrpBandType Kind() const override { return btColumnFooter; }
    std::string GetRank() const override { return rpRankText(TrpBandRank::ColumnFooter); }
    TrpBandTypeFlags GetBandTypeFlags() const override { return {TrpBandTypeFlag::ColumnFooter}; }
    void SetPrintHeight(TrpPrintHeightType) override {}

protected:
    int CaptionTextNumber() const override { return 187; }
    std::string KindUserName() const override { return "ColumnFooter"; }
};

class TrpDetailBand : public TrpBasicBand {
public:
    explicit TrpDetailBand(TComponent* AOwner);
    ~TrpDetailBand() override;
    FAT_CLASS(TrpDetailBand)
    TrpBandType Kind() const override { return btDetail; }
    TrpBandPrintKind GetDefaultKind() const override { return TrpBandPrintKind::Records; }
    std::string GetRank() const override { return rpRankText(TrpBandRank::Detail); }
    TrpBandTypeFlags GetBandTypeFlags() const override { return {TrpBandTypeFlag::Detail}; }
    bool IsRecordBand() const override { return true; }

    int BandsPerRecord() const { return bandsPerRecord_; }
    void SetBandsPerRecord(int Value);
    TrpColumnTraversalType ColumnTraversal() const { return columnTraversal_; }
    void SetColumnTraversal(TrpColumnTraversalType Value);
    // Dynamic height is refused while the columns are filled left to right.
    void SetPrintHeight(TrpPrintHeightType Value) override;
    // Its own pipeline, else the report's.
    TrpDataPipeline* GetDataPipeline() const override;
    TrpDataPipeline* OwnDataPipeline() const { return dataPipeline_; }
    void SetDataPipeline(TrpDataPipeline* Value);
    void Notify(TrpCommunicator* Communicator, int Operation) override;
    void ResolveDataPipelineName(TComponent* Owner) override;
    void DefineProperties(TFiler* Filer) override;

protected:
    int CaptionTextNumber() const override { return 189; }
    std::string KindUserName() const override { return "Detail"; }
    // The detail band's generation state lives in its band engine.
    TrpBandGenerationState& GenerationState() override;
    std::unique_ptr<TrpBandEngine> CreateBandEngine() override;

public:
    // At run start: across the columns of a report of several the band
    // prints through the horizontal engine, else through the vertical one.
    void UpdateBandEngine();

private:
    bool FillsColumnsAcross() const;
    int bandsPerRecord_ = 1;
    TrpColumnTraversalType columnTraversal_ = ctTopToBottom;
    TrpDataPipeline* dataPipeline_ = nullptr;
    std::string dataPipelineName_;
};

// A band tied to a group: its header or footer.
class TrpGroupBand : public TrpCustomBand {
public:
    explicit TrpGroupBand(TComponent* AOwner) : TrpCustomBand(AOwner) {}
    // The group forgets a band freed before it (by their common owner).
    ~TrpGroupBand() override;
    FAT_CLASS(TrpGroupBand)
    TrpGroup* Group() const { return group_; }
    virtual void SetGroup(TrpGroup* Value) { group_ = Value; }
    // The caption carries the group's index: refreshed when groups move.
    virtual void UpdateCaption() { SetCaption(GetDescription()); }
    std::string GetDescription() const override;
    int GroupIndex() const;
    // Marked to print (start of a run, a group break).
    bool Generation() const { return generation_; }
    void SetGeneration(bool Value) { generation_ = Value; }
    bool SaveGeneration() const { return saveGeneration_; }
    void SetSaveGeneration(bool Value) { saveGeneration_ = Value; }
    // Streamed as a child of its group.
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* Value) override;

protected:
    virtual int CaptionTextNumber() const = 0;
    // Whether the band is marked to print goes with the page's state.
    bool FirstPrintFlag() const override { return generation_; }
    void SetFirstPrintFlag(bool Value) override { generation_ = Value; }

private:
    TrpGroup* group_ = nullptr;
    bool generation_ = false;
    bool saveGeneration_ = false;
};

class TrpGroupHeaderBand : public TrpGroupBand {
public:
    explicit TrpGroupHeaderBand(TComponent* AOwner);
    FAT_CLASS(TrpGroupHeaderBand)
    static constexpr int kCacheRecordSize = 24;
    TrpBandType Kind() const override { return btGroupHeader; }
    // A group band without a group sorts first.
    std::string GetRank() const override;
    TrpBandTypeFlags GetBandTypeFlags() const override;
    bool IsHeaderBand() const override { return true; }
    bool AlreadyPageBreak() const { return alreadyPageBreak_; }
    void SetAlreadyPageBreak(bool Value) { alreadyPageBreak_ = Value; }
    bool AlreadyColumnBreak() const { return alreadyColumnBreak_; }
    void SetAlreadyColumnBreak(bool Value) { alreadyColumnBreak_ = Value; }
    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;

protected:
    int CaptionTextNumber() const override { return 192; }

private:
    bool alreadyPageBreak_ = false;
    bool alreadyColumnBreak_ = false;
};

class TrpGroupFooterBand : public TrpGroupBand {
public:
    explicit TrpGroupFooterBand(TComponent* AOwner) : TrpGroupBand(AOwner) {}
    FAT_CLASS(TrpGroupFooterBand)
    TrpBandType Kind() const override { return btGroupFooter; }
    std::string GetRank() const override;
    TrpBandTypeFlags GetBandTypeFlags() const override { return {TrpBandTypeFlag::GroupFooter}; }

protected:
    int CaptionTextNumber() const override { return 191; }
};

// The background band of every page.
class TrpPageStyle : public TrpBasicBand {
public:
    explicit TrpPageStyle(TComponent* AOwner);
    FAT_CLASS(TrpPageStyle)
    TrpBandType Kind() const override { return btPageStyle; }
    // First while the report prints, last otherwise.
    std::string GetRank() const override;
    TrpBandTypeFlags GetBandTypeFlags() const override { return {TrpBandTypeFlag::PageHeader}; }
    bool IsHeaderBand() const override { return true; }
    bool IsRecordBand() const override { return true; }
    bool IsColumnLevelBand() const override { return false; }

    TrpPageSettingType PageSetting() const { return pageSetting_; }
    void SetPageSetting(TrpPageSettingType Value);
    TStrings* PageList() const { return pageList_.get(); }
    void SetPageList(TStrings* Value);
    int SinglePage() const { return singlePage_; }
    void SetSinglePage(int Value);
    int StartPage() const { return startPage_; }
    void SetStartPage(int Value);
    int EndPage() const { return endPage_; }
    void SetEndPage(int Value);
    // Parses a page list ("1,3,5-7") into PageList and selects it.
    std::string ValidPages() const { return validPages_; }
    void SetValidPages(const std::string& Value);
    // Whether the page style prints on page PageNo (PageCount 0: not known yet).
    bool PrintsOnPage(int PageNo, int PageCount) const;

protected:
    int CaptionTextNumber() const override { return 691; }
    std::string KindUserName() const override { return "PageStyle"; }

private:
    bool Changeable();

    TrpPageSettingType pageSetting_ = psAll;
    std::unique_ptr<TStringList> pageList_;
    int singlePage_ = 1;
    int startPage_ = 1;
    int endPage_ = 1;
    std::string validPages_;
};

namespace report {
// Creates a band of the given kind (not group bands), owned by Owner.
TrpBand* CreateBandOfKind(TrpBandType Kind, TComponent* Owner);
}  // namespace report
