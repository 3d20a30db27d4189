#pragma once
// Band engines: the loop that prints one band on the engine's current page.
// It sorts the band's objects into four levels, measures the room between
// the print position and the page bottom, prints the band as often as its
// kind and the room allow, generates the objects level by level, draws
// them in band order and moves the engine's print position on. The band's
// generation state lives in the band; the detail engine adds the record
// step and the prints per record.
#include <vector>

#include "report/rpBands.h"
#include "report/rpComm.h"

class TrpEngine;
class TrpPageBreak;

class TrpBandEngine : public TrpCommunicator {
public:
    explicit TrpBandEngine(TrpCustomBand* Band);
    ~TrpBandEngine() override;
    FAT_CLASS(TrpBandEngine)

    TrpCustomBand* Band() const { return band_; }
    virtual void SetBand(TrpCustomBand* Value);
    TrpEngine* Engine() const;

    // Once per run: levels, the calculated objects and the carried state.
    virtual void InitObjects();
    // Prints the band on the current page; a band that runs out of room ends
    // the call and is generated again on the next page.
    void Generate();
    // The page of the band's last print (0 before the first), moved on by
    // the pages since on which the band was not due.
    int LastPrintedPage() const { return lastPrintedPage_; }
    // A page made again counts the pages without room from itself.
    void ForgetLastPrint() { lastPrintedPage_ = lastCalledPage_ = 0; }

    void Notify(TrpCommunicator* Communicator, int Operation) override;

protected:
    // Per Generate call.
    virtual void StartGeneration();
    virtual void CheckPrintPosition();
    virtual void PrepareObjects();
    virtual void CalcSpaceAvailable();
    virtual void BeforePrint();
    virtual void AfterGenerate();
    virtual void UpdatePrintPosition();
    // After the print: the objects' after-band step and the band's event.
    virtual void FinishPrint();
    virtual void AfterObjectsGenerated() {}
    bool Static() const { return band_->PrintHeight() == phStatic; }
    // Something of the band went onto the page in the print (cycle) that
    // just ended.
    bool PrintedThisCycle() const { return printedThisCycle_; }
    // The band's rectangle is set: its objects are measured from its top.
    void StartMeasure();
    // The group bands' rules: when a header starts its group, reprints or
    // sends its group to a new page; when a footer prints and ends it.
    void StartGroupHeader(TrpGroupHeaderBand& Header);
    void StartGroupFooter(TrpGroupFooterBand& Footer);
    void FinishGroupBand();

    TrpCustomBand* band_;

public:
    // Whether Object stands at or below the page break due in this print,
    // and so prints after it, on the next page (a component shifted below
    // another asks through the one it shifts below).
    bool BelowPendingBreak(const TrpComponent* Object) const;
    const TrpComponent* PendingBreak() const;

private:
    bool Done() const;
    void GenerateObjects();
    void GenerateLevel(const std::vector<TrpComponent*>& Level, int From);
    void GenerateObject(TrpComponent* Object);
    // The first cut-off object of a print decides where the next page
    // resumes and whether the band overflows; every one lowers the room
    // the rest moves up by.
    void NoteCutOff(const TrpComponent* Object, int Index, bool Stretching);
    // A page break ends its page only after the objects above it printed,
    // and holds those at or below it for the next page.
    void FindPendingBreak();
    void GeneratePendingBreak();
    void DrawObjects();
    void CheckStaticRoom(bool Printed);

    // What the band is, found once when it is set: the loop asks at every
    // print, and a band never changes its class.
    struct BandKinds {
        TrpPageBand* page = nullptr;
        TrpTitleBand* title = nullptr;
        TrpPageStyle* style = nullptr;
        TrpGroupBand* group = nullptr;
        TrpGroupHeaderBand* groupHeader = nullptr;
        TrpGroupFooterBand* groupFooter = nullptr;
        TrpSummaryBand* summary = nullptr;
        bool footerLike = false;
        bool columnFooter = false;
    };
    static BandKinds KindsOf(TrpCustomBand* Band);

    BandKinds kinds_;
    std::vector<TrpComponent*> drawList_;
    int lastPrintedPage_ = 0;
    // The page of the band's last Generate call.
    int lastCalledPage_ = 0;
    int32_t partialSpace_ = 0;
    int32_t lowestStretchable_ = 0;
    bool cutOffSeen_ = false;
    bool levelSeen_ = false;
    bool overflowFromStretch_ = false;
    bool printedThisCall_ = false;
    bool printedThisCycle_ = false;
    bool groupBandDue_ = false;
    // A group header repeated on a later page or column (not the group's
    // start): its page breaks do not break again; and whether this print
    // started the group's instance, withdrawn if nothing of it printed.
    bool repeatedHeader_ = false;
    bool groupStartedHere_ = false;
    // The page break due in this print and where it stands among the
    // levels; whether an object not held for it was cut off.
    TrpPageBreak* pendingBreak_ = nullptr;
    int breakLevel_ = 0;
    int breakIndex_ = 0;
    bool cutOffNotHeld_ = false;
};

// The detail band's engine: the record step after each print and the
// band's prints per record.
class TrpDetailBandEngine : public TrpBandEngine {
public:
    explicit TrpDetailBandEngine(TrpCustomBand* Band);
    FAT_CLASS(TrpDetailBandEngine)

    void SetBand(TrpCustomBand* Value) override;
    TrpDetailBand* DetailBand() const { return static_cast<TrpDetailBand*>(band_); }
    // Prints of the current record so far (from 1).
    int BandsPerRecordCount() const { return recordCount_; }
    void SetBandsPerRecordCount(int Value) { recordCount_ = Value < 1 ? 1 : Value; }
    // The record prints again from its first band (a group moved whole).
    void RestartRecord() { recordCount_ = 1; }
    void InitObjects() override;
    // The detail band's generation state, read and written through the band.
    TrpBandGenerationState& State() { return state_; }

protected:
    void CheckPrintPosition() override;
    void PrepareObjects() override;
    void BeforePrint() override;
    void AfterGenerate() override;
    void FinishPrint() override;

private:
    int recordCount_ = 1;
    TrpBandGenerationState state_;
};

// Columns filled top to bottom: the print position moves as for any band.
class TrpVerticalBandEngine : public TrpDetailBandEngine {
public:
    using TrpDetailBandEngine::TrpDetailBandEngine;
    FAT_CLASS(TrpVerticalBandEngine)
};

// Columns filled left to right: each print takes the next column of the
// row; after the last column the next row starts Height and the bottom
// offset below the row's top. The first row of a page leaves room above
// it for the column headers, each printed when its column is first used.
// The bands after the detail go on below the last row.
class TrpHorizontalBandEngine : public TrpDetailBandEngine {
public:
    using TrpDetailBandEngine::TrpDetailBandEngine;
    FAT_CLASS(TrpHorizontalBandEngine)

protected:
    void PrepareObjects() override;
    void CalcSpaceAvailable() override;
    void UpdatePrintPosition() override;

private:
    int32_t headerTop_ = 0;
    int32_t rowTop_ = 0;
    int32_t rowBottom_ = -1;
};
