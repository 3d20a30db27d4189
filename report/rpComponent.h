#pragma once
// TrpComponent: the printable that lives on a band. It knows its band and
// the kind of that band, the group whose header or footer holds it, whether
// it takes its data pipeline from the band, the group that resets its
// calculations, and how it follows its band when the band changes size
// (Anchors). Every report control derives from it.
#include "report/rpPrintable.h"

class TrpBand;
class TrpGroup;
class TrpStretchable;

using TrpAnchors = TSet<TrpAnchorType>;
// The set type controls publish Anchors with (default [atLeft, atTop]).
const TTypeInfo* rpAnchorsTypeInfo();

// Events a component sends.
enum : int {
    rpevAfterGroupBreak = 27,
    rpevBroughtToFront = 115,
    rpevSentToBack = 116,
    rpevParentWidthChanged = 117,
    rpevParentHeightChanged = 118,
};

class TrpComponent : public TrpPrintable {
public:
    explicit TrpComponent(TComponent* AOwner);
    ~TrpComponent() override;
    FAT_CLASS(TrpComponent)

    TrpBand* Band() const { return band_; }
    virtual void SetBand(TrpBand* Value);
    // The stretchable this is, or nullptr: the band loop asks of every
    // object at every print, cheaper than a cast.
    virtual TrpStretchable* AsStretchable() { return nullptr; }
    TrpBandType BandType() const { return bandType_; }
    int GroupNo() const { return groupNo_; }
    // Index in the band's object order; -1 without a band.
    int IndexInBand() const;
    virtual TrpComponent* GetNextSibling() const;

    TrpAnchors Anchors() const { return anchors_; }
    // A value holding both atTop and atBottom, or atLeft and atRight, is ignored.
    virtual void SetAnchors(TrpAnchors Value);
    bool GetShiftWithParent() const override { return anchors_.Contains(atBottom); }
    void SetShiftWithParent(bool Value) override;
    // Moves and sizes the object after its band changed size (not while loading).
    void ApplyAnchors();

    bool ParentDataPipeline() const { return parentDataPipeline_; }
    virtual void SetParentDataPipeline(bool Value);
    void SetDataPipeline(TrpDataPipeline* Value) override;
    TrpGroup* ResetGroup() const { return resetGroup_; }
    virtual void SetResetGroup(TrpGroup* Value);

    // Thousandths of a millimetre: the band's area, or the object itself
    // without a band.
    virtual TRect GetContainerRect() const;
    // The band's extent as recorded at its last reset (left, top, width, height).
    virtual TRect GetContainerClientRect() const;

    virtual void BringToFront();
    virtual void SendToBack();
    virtual bool IsDBCalc() const { return false; }
    // A component whose text can be a group's break value.
    virtual bool IsTextComponent() const { return false; }
    // A stretching object makes its band's height follow its content.
    virtual bool Stretches() const { return false; }
    // Once placed on the page: a control that leaves its value out sets its
    // space used to 0 (and is not drawn).
    virtual void CheckSuppress() {}

    void SetmmLeft(int32_t Value) override;
    void SetmmTop(int32_t Value) override;
    void SetmmWidth(int32_t Value) override;
    void SetmmHeight(int32_t Value) override;
    void SetBounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) override;
    void SetParentWidth(bool Value) override;
    void SetParentHeight(bool Value) override;
    void NotifyBoundsChange() override;
    void UpdateBand() override;
    bool GetPrinting() const override;
    TObject* GetPrinter() const override;
    void Notify(TrpCommunicator* Communicator, int Operation) override;

    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* Value) override;
    void DefineProperties(TFiler* Filer) override;
    void Loaded() override;
    // Streams older than 3000 kept the position and size as numbers in the
    // report's units ("Left = 1.25" in inches); they become mm values here,
    // when the report's units are known.
    void Convert(int Version) override;

    // Called by the band as the object joins or leaves it.
    void BandGone() { band_ = nullptr; }
    // The region that prints this object (the band leaves it to the region).
    TrpComponent* ParentRegion() const { return parentRegion_; }
    void SetParentRegion(TrpComponent* Value) { parentRegion_ = Value; }


protected:
    bool AcceptsParent() const override { return false; }
    std::string StoredRegionName() const override;
    void SetStoredRegionName(const std::string& Value) override { storedRegionName_ = Value; }
    bool Designing() const;

private:
    TrpBand* band_ = nullptr;
    TrpBandType bandType_ = btDetail;
    int groupNo_ = -1;
    TrpAnchors anchors_{atLeft, atTop};
    bool parentDataPipeline_ = true;
    TrpGroup* resetGroup_ = nullptr;
    TrpComponent* parentRegion_ = nullptr;
    std::string storedRegionName_;
    // Left, top, width and height as an old stream gave them, and which it gave.
    float legacyBounds_[4] = {0, 0, 0, 0};
    unsigned legacyBoundsRead_ = 0;
};
