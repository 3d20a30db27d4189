#pragma once
// TrpCustomRegion: a box on a band that holds some of the band's
// components. It draws as a shape, prints its components itself (the band
// leaves them to it), grows with them when it stretches, and with
// KeepTogether moves to the next page whole rather than split. The band
// still lists the components; the region only holds them in its own order.
//
// Between pages it keeps which group and component come next, whether it
// is continuing and how far up its components move there (the smallest
// top offset of those left); that goes into its 20-byte page record. For
// KeepTogether it keeps a cache manager of its own over its components,
// to put them back as they were when the region gives the page up.
//
// A region is never added to itself, nor to a region it holds.
#include <memory>
#include <vector>

#include "platform/gfx/Graphics.h"
#include "report/rpStretchable.h"

class TrpCacheManager;

class TrpCustomRegion : public TrpStretchable {
public:
    explicit TrpCustomRegion(TComponent* AOwner);
    ~TrpCustomRegion() override;
    FAT_CLASS(TrpCustomRegion)

    static constexpr int kRegionRecordSize = 20;

    TBrush* Brush() const { return brush_.get(); }
    void SetBrush(TBrush* Value);
    TPen* Pen() const { return pen_.get(); }
    void SetPen(TPen* Value);
    TShapeType ShapeType() const { return shapeType_; }
    void SetShapeType(TShapeType Value);

    // --- Components held ---
    // Only report components; a region is refused when it is this one or
    // holds this one. False when refused.
    bool AddObject(TrpComponent* Component);
    void RemoveObject(TrpComponent* Component);
    int ObjectCount() const { return static_cast<int>(objects_.size()); }
    TrpComponent* Objects(int Index) const;
    int IndexOfObject(const TrpComponent* Component) const;
    // Whether Component is held here or in a region held here.
    bool Holds(const TrpComponent* Component) const;
    TrpComponent* GetNextSibling() const override;
    // The held components keep their place right after the region.
    void BringToFront() override;
    void SendToBack() override;
    // The held components follow the region into the band.
    void SetBand(TrpBand* Value) override;

    // --- Generation state seen by the components ---
    bool Continuing() const { return continuing_; }
    int32_t SmallestTopOffset() const { return smallestTop_; }
    bool MoreToPrint() const { return moreToPrint_; }
    // The held stretchable that reached lowest in the last cycle.
    TrpStretchable* MaxStretchable() const { return maxStretchable_; }
    // The object groups as of Init (1..4), in region order.
    const std::vector<TrpComponent*>& Group(int Number) const;

    void SetTransparent(bool Value) override;
    void SetFillColor(TColor AColor, bool ATransparent) override;
    void SetLineColor(TColor AColor, bool ATransparent);
    void SetLineWidth(int Value);
    bool HasFont() const override { return false; }
    bool HasColor() const override { return true; }

    void Init() override;
    void InitGeneration() override;
    void PrepareReprint() override;
    void ResetCache(int Page) override;
    void SaveToCache(int Page) override;
    void RestoreFromCache(int Page) override;
    void Draw(TrpPage* Page) override;
    void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) override;
    void Notify(TrpCommunicator* Communicator, int Operation) override;
    // While designing, the held components move with the region.
    void BoundsChange() override;
    void Loaded() override;
    // Streamed inside the region: its components, in region order.
    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;

protected:
    void GenerateContent() override;

private:
    void BuildGroups();
    void GenerateGroups();
    void GeneratePlain(TrpComponent* Component);
    std::vector<TrpCacheable*> CacheableObjects() const;

    std::unique_ptr<TBrush> brush_;
    std::unique_ptr<TPen> pen_;
    TShapeType shapeType_ = stRectangle;
    std::vector<TrpComponent*> objects_;
    std::vector<TrpComponent*> groups_[4];
    std::vector<TrpComponent*> drawList_;
    std::unique_ptr<TrpCacheManager> cacheManager_;

    int currentGroup_ = 0;
    int currentObject_ = 0;
    int32_t smallestTop_ = 0;
    int32_t largestBottom_ = 0;
    bool moreToPrint_ = false;
    bool continuing_ = false;
    TrpStretchable* maxStretchable_ = nullptr;
    // The design bounds the components were last moved for.
    int32_t designLeft_ = 0;
    int32_t designTop_ = 0;
};

class TrpRegion : public TrpCustomRegion {
public:
    explicit TrpRegion(TComponent* AOwner);
    FAT_CLASS(TrpRegion)
};

namespace report {
void RegisterRegionClasses();
void UnregisterRegionClasses();
}  // namespace report
