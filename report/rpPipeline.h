#pragma once
// TrpDataPipeline: the data a report walks record by record. This is the
// side the printables, bands, groups, variables and the engine talk to: a
// cursor with a record range (where to begin, where to end, which way),
// master/detail linking to another pipeline and a fixed set of traversal
// events. The data itself is reached through the "data access" virtuals,
// which a concrete pipeline supplies (the dataset pipeline follows a
// TDataSet); a bare pipeline is closed, has no fields and answers every
// question with "no data".
//
// State kept between passes and what a reader must keep in mind:
// - the state set (FirstRecord, LastRecord, NoRecords) is recomputed from
//   Bof()/Eof() after every step; NoRecords makes First and Last do nothing;
// - the record index counts records from the range start in the MoveBy
//   direction (a linked detail counts from its data's first record, since
//   PrepareTraversal); it is what the link comparison cache and the link
//   range index are keyed on, so every move of the data goes through
//   MoveDataBy;
// - bookmarks are integer handles (0 is "none") that the concrete pipeline
//   maps to its data's own; whoever takes one frees it. A run that fails
//   puts the pipelines back through TrpPipelinePositions, which also frees
//   what it took.
// - a linked detail finds its rows by stepping from where it stands, so
//   its rows must come in the link's order; rows out of order are reported
//   in debug builds (rpSetLinkOrderReporter) because they would be lost.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/rtl/Lists.h"
#include "platform/rtl/Variant.h"
#include "report/rpRelatv.h"
#include "report/rpTypes.h"

// Notify operations a pipeline sends to its links.
enum : int {
    rpopDataDefinitionChanged = 1,
    rpopPipelineChanged = 2,
};

// Events a pipeline broadcasts.
enum : int {
    rpevDataDefinitionChange = 36,
    rpevRecordPositionChange = 37,
    rpevMasterRecordPositionChange = 38,
    rpevTraversal = 39,
    rpevGotoBookmark = 40,
    rpevDataChange = 41,
    rpevFirst = 42,
    rpevNext = 43,
    rpevPrior = 44,
    rpevLast = 45,
    rpevBeforeOpen = 130,
    rpevAfterOpen = 131,
    rpevBeforeClose = 132,
    rpevAfterClose = 133,
    // The report drops its cached pages when its pipeline is about to close.
    rpevDataChanged = rpevBeforeClose,
};

// The pipeline's state set.
enum : std::uint8_t {
    rppsFirstRecord = 1,
    rppsLastRecord = 2,
    rppsNoRecords = 4,
};

// First and last detail record index per master record index. -1: not
// known yet; a master record known to have no detail answers NoDetail.
class TrpLinkRangeIndex {
public:
    // -1 unless known (and 0 or more).
    int FirstIndex(int MasterIndex) const;
    int LastIndex(int MasterIndex) const;
    bool NoDetail(int MasterIndex) const;
    // Ignored for master indexes below 0.
    void SetFirst(int MasterIndex, int DetailIndex);
    void SetLast(int MasterIndex, int DetailIndex);
    void SetNoDetail(int MasterIndex);
    int Count() const { return static_cast<int>(ranges_.size()); }

private:
    struct Range {
        int first = -1;
        int last = -1;
    };
    static constexpr int kNoDetail = -99;
    // Keyed lookups: a list searched per master record would make a
    // master/detail run quadratic.
    std::unordered_map<int, Range> ranges_;
};

// Called with the pipeline and a description when a linked detail meets its
// rows out of the link's order.
using TrpLinkOrderReporter = std::function<void(class TrpDataPipeline* Pipeline, const std::string& Message)>;
// Installs the reporter (nullptr: the default, which writes to standard
// error); returns the previous one. Only debug builds report.
TrpLinkOrderReporter rpSetLinkOrderReporter(TrpLinkOrderReporter Reporter);

class TrpDataPipeline : public TrpRelative {
public:
    explicit TrpDataPipeline(TComponent* AOwner);
    ~TrpDataPipeline() override;
    FAT_CLASS(TrpDataPipeline)

    // --- Asked by printables, groups and bands
    // Open: the data can be walked.
    virtual bool Active() const { return false; }
    // Open and standing on a record (not empty).
    virtual bool HasRecord() const;
    // Before the range's first / after its last record; both at once when
    // the range is empty.
    virtual bool Bof() const;
    virtual bool Eof() const;
    virtual bool FieldExists(const std::string& /*FieldName*/) const { return false; }
    // The current record's value of a field named FieldName; null without one.
    virtual Variant GetFieldValue(const std::string& /*FieldName*/) { return Variant(); }
    virtual std::string GetFieldAsString(const std::string& FieldName);
    // The name a user reads for a field; the field name when none is set.
    virtual std::string GetFieldDisplayName(const std::string& FieldName) const { return FieldName; }

    // --- Traversal
    void Open();
    void Close();
    virtual void First();
    virtual void Next();
    virtual void Prior();
    virtual void Last();
    virtual void GotoBookmark(int Bookmark);
    // A handle for the current record; 0 when there is none.
    virtual int GetBookmark() { return 0; }
    virtual void FreeBookmark(int /*Bookmark*/) {}
    // -1, 0, 1.
    virtual int CompareBookmarks(int A, int B);
    virtual bool BookmarkValid(int Bookmark) const { return Bookmark != 0; }
    // Handles taken and not freed yet.
    virtual int BookmarkCount() const { return 0; }
    // Frees every handle still taken (a failed run's leftovers) and forgets
    // the range bookmark and bookmark list, which named some of them.
    virtual void FreeAllBookmarks();
    void DataChange();
    // Before a report run: resets the link state and collects, among
    // Pipelines, the details whose master this pipeline is.
    virtual void PrepareTraversal(const std::vector<TrpDataPipeline*>& Pipelines);
    void RecordPositionChange();
    void MasterRecordPositionChange();
    // The engine uses the current record.
    virtual void Traversal();

    // --- Data access a concrete pipeline supplies
    virtual void OpenData() {}
    virtual void CloseData() {}
    virtual void DataFirst() {}
    virtual void DataLast() {}
    // Records moved (negative backwards).
    virtual int DataMoveBy(int /*N*/) { return 0; }
    virtual bool DataBof() const { return true; }
    virtual bool DataEof() const { return true; }
    virtual void DataGotoBookmark(int /*Bookmark*/) {}
    virtual TrpDataType GetFieldDataType(const std::string& /*FieldName*/) { return dtNotKnown; }
    // The field name behind an alias; the alias itself here.
    virtual std::string GetFieldName(const std::string& FieldAlias) const { return FieldAlias; }
    virtual void GetFieldNames(TStrings* /*List*/) {}
    virtual bool IsSupportedDataType(TrpDataType) const { return true; }
    virtual bool IsLinked() const { return false; }

    // --- Properties
    TrpDataPipeline* MasterDataPipeline() const { return master_; }
    // Refused when it would make a cycle; a different master drops the links.
    virtual void SetMasterDataPipeline(TrpDataPipeline* Value);
    const std::string& MasterFieldLinks() const { return masterFieldLinks_; }
    void SetMasterFieldLinks(const std::string& Value) { masterFieldLinks_ = Value; }
    int MoveBy() const { return moveBy_; }
    // 0 is refused: a pipeline that never moves would never end.
    void SetMoveBy(int Value);
    TrpRangeBeginType RangeBegin() const { return rangeBegin_; }
    void SetRangeBegin(TrpRangeBeginType Value);
    TrpRangeEndType RangeEnd() const { return rangeEnd_; }
    void SetRangeEnd(TrpRangeEndType Value);
    int RangeEndCount() const { return rangeEndCount_; }
    // Negative counts are refused.
    void SetRangeEndCount(int Value);
    bool SkipWhenNoRecords() const { return skipWhenNoRecords_; }
    void SetSkipWhenNoRecords(bool Value);
    bool Visible() const { return visible_; }
    void SetVisible(bool Value) { visible_ = Value; }

    // --- Run-time state
    std::uint8_t States() const { return states_; }
    bool DataTraversed() const { return dataTraversed_; }
    int TraversalCount() const { return traversalCount_; }
    int RecordIndex() const { return recordIndex_; }
    int LearnedRecordCount() const { return learnedCount_; }
    // Filled by the engine before a traversal; the pipeline only reads them.
    int RangeBookmark() const { return rangeBookmark_; }
    void SetRangeBookmark(int Value) { rangeBookmark_ = Value; }
    std::vector<int>& BookmarkList() { return bookmarkList_; }
    const std::vector<TrpDataPipeline*>& DetailPipelines() const { return details_; }
    bool HasDetails() const { return hasDetails_; }
    bool NoMatch() const { return noMatch_; }
    const TrpLinkRangeIndex* LinkRangeIndex() const { return linkRanges_.get(); }
    // The detail record against the master's current one: <0 before, 0 on
    // a match, >0 after (in the link's order); cached per record index pair.
    int LinkComparison();
    bool DetailsPresent();

    // --- Positions kept between pages
    // Where the pipeline stands and how far its traversal went. The
    // bookmark in it is taken for the holder, who frees it.
    struct Position {
        std::uint8_t States = 0;
        bool HasBookmark = false;
        bool DataTraversed = false;
        bool NoMatch = false;
        int Bookmark = 0;
        int TraversalCount = 0;
        int RecordIndex = 0;
    };
    Position SavePosition();
    // Back to P without events; the bookmark stays the holder's.
    void RestorePosition(const Position& P);

    // --- Events
    TNotifyEvent AfterClose, AfterOpen, BeforeClose, BeforeOpen, OnDataChange, OnFirst, OnGotoBookmark, OnLast,
        OnMasterRecordPositionChange, OnNext, OnPrior, OnRecordPositionChange, OnTraversal;

    void Notify(TrpCommunicator* Communicator, int Operation) override;
    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override;
    void DefineProperties(TFiler* Filer) override;
    void ReadState(TReader* Reader) override;
    void Loaded() override;
    // A pending master name read from a stream, resolved through Owner.
    void ResolveMasterName(TComponent* Owner);

protected:
    friend class TrpPipelinePositions;
    bool IsLoadingOrReading() const;
    bool Destroying() const { return destroying_; }
    void SetDestroying() { destroying_ = true; }
    // Recomputes the state set from Bof()/Eof().
    void UpdateStates();
    // Moves the data by N, keeping the record index; the only way the
    // traversal moves the data.
    void MoveDataBy(int N);
    // Reads the key values and compares them (TrpCustomDataPipeline).
    virtual int CompareWithMaster() { return 0; }
    // A master field's value read with the master's state set cleared, so
    // that a master standing on "no records" still answers.
    Variant ReadMasterValue(const std::string& FieldName);
    // Drops the link state: cache, keys, link range index; MakeIndex makes
    // a fresh index.
    virtual void ResetLinkState(bool MakeIndex);
    // Called when the link list changes (links freed or added).
    virtual void FreeLinks() {}
    // Set while the field list is built: holds DataChange back.
    bool buildingFields_ = false;
    bool moving_ = false;

private:
    // Whether First and Last have nothing to walk.
    bool NoRecordsToWalk();
    bool ComputeBof();
    bool ComputeEof();
    bool LinkedBof();
    bool LinkedEof();
    void LinkedFirst();
    void LinkedLast();
    void LinkedEdge(bool ToLast);
    // The data's start (Direction < 0) or end.
    bool DataAtEnd(int Direction) const;
    void LinkedMoveBy(int N);
    void StepForward();
    void StepBackward();
    void SkipForward();
    void SkipBackward();
    void GoFirstOfData();
    void GoLastOfData();
    // Compares the current bookmark with the range bookmark.
    int CompareWithRangeBookmark();
    void CheckLinkOrder(int Before, int After, bool Forward);
    bool WouldCycle(TrpDataPipeline* Master) const;
    void RangeChanged();
    void Fire(const TNotifyEvent& Handler, int EventNumber);

    TrpDataPipeline* master_ = nullptr;
    std::string masterFieldLinks_;
    std::string pendingMasterName_;
    int moveBy_ = 1;
    TrpRangeBeginType rangeBegin_ = rbFirstRecord;
    TrpRangeEndType rangeEnd_ = reLastRecord;
    int rangeEndCount_ = 0;
    bool skipWhenNoRecords_ = true;
    bool visible_ = true;

    std::uint8_t states_ = 0;
    bool dataTraversed_ = false;
    int traversalCount_ = 0;
    int recordIndex_ = -1;
    int learnedCount_ = -1;
    int rangeBookmark_ = 0;
    std::vector<int> bookmarkList_;
    std::vector<TrpDataPipeline*> details_;
    bool hasDetails_ = false;
    bool noMatch_ = false;
    bool linkReady_ = true;
    bool closing_ = false;
    bool destroying_ = false;
    // Link comparison cache: the indexes last compared (-1: none).
    int comparedDetailIndex_ = -1;
    int comparedMasterIndex_ = -1;
    int comparison_ = 0;
    std::unique_ptr<TrpLinkRangeIndex> linkRanges_;
};

// The data pipelines a component can reach, under their user names, with
// the pipelines as objects: those its owner owns (a report form's
// pipelines), each once, visible ones only.
class TrpDataPipelineList : public TStringList {
public:
    FAT_CLASS_NAME(TrpDataPipelineList)
    explicit TrpDataPipelineList(TComponent* Component);
    TrpDataPipeline* Pipelines(int Index) const;
    // By component name, compared case-insensitively; nullptr when absent.
    TrpDataPipeline* FindPipeline(const std::string& ComponentName) const;
};

// The pipelines' positions at one moment: a bookmark of each open pipeline
// and its traversal state. Restore puts them back (masters before their
// details, without events, so nothing re-runs); the destructor frees the
// bookmarks taken. An engine takes one before a page loop and restores it
// when the loop fails.
class TrpPipelinePositions {
public:
    explicit TrpPipelinePositions(const std::vector<TrpDataPipeline*>& Pipelines);
    ~TrpPipelinePositions();
    TrpPipelinePositions(const TrpPipelinePositions&) = delete;
    TrpPipelinePositions& operator=(const TrpPipelinePositions&) = delete;
    void Restore();
    // Frees the bookmarks now (the destructor then has nothing to do).
    void Release();

private:
    struct Saved {
        TrpDataPipeline* pipeline;
        int bookmark;
        std::uint8_t states;
        bool dataTraversed;
        int traversalCount;
        int recordIndex;
        bool noMatch;
        int depth;
    };
    std::vector<Saved> saved_;
};
