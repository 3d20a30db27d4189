#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/rtl/Collection.h"

namespace {

class TColumn : public TCollectionItem {
public:
    explicit TColumn(TCollection* Collection) : TCollectionItem(Collection) {}
    FAT_CLASS(TColumn)
    std::string Title;
    int Width = 0;
    void Assign(TPersistent* Source) override {
        if (auto* c = dynamic_cast<TColumn*>(Source)) {
            Title = c->Title;
            Width = c->Width;
            Changed(false);
            return;
        }
        TCollectionItem::Assign(Source);
    }
};

TClass TColumn::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TColumn>("TColumn", TCollectionItem::StaticClassType())
                                       .String("Title", &TColumn::Title, &TColumn::Title)
                                       .Integer("Width", &TColumn::Width, &TColumn::Width, 0)
                                       .Build();
    return &info;
}

// A class that only names itself shares its parent's metadata.
class TWideColumn : public TColumn {
public:
    using TColumn::TColumn;
    FAT_CLASS_NAME(TWideColumn)
};

class TGrid : public TComponent {
public:
    explicit TGrid(TComponent* AOwner) : TComponent(AOwner) { Columns.SetPropName("Columns"); }
    FAT_CLASS_NAME(TGrid)
    TCollection Columns{TColumn::StaticClassType(), this};
};

TEST(ComponentCollection, ItemsAddMoveDeleteAndFreeWithTheCollection) {
    auto columns = std::make_unique<TCollection>(TColumn::StaticClassType());
    auto* a = static_cast<TColumn*>(columns->Add());
    auto* b = static_cast<TColumn*>(columns->Add());
    auto* c = static_cast<TColumn*>(columns->Insert(0));
    EXPECT_EQ(columns->Count(), 3);
    EXPECT_EQ(c->Index(), 0);
    EXPECT_EQ(a->Index(), 1);
    EXPECT_EQ(b->ID(), 1);
    EXPECT_EQ(columns->FindItemID(1), b);
    b->SetIndex(0);
    EXPECT_EQ(columns->Items(0), b);
    delete a;  // an item freed on its own leaves the collection
    EXPECT_EQ(columns->Count(), 2);
    columns->Delete(0);
    EXPECT_EQ(columns->Items(0), c);
    EXPECT_THROW(columns->Items(5), EListError);
    EXPECT_THROW(columns->Delete(-1), EListError);
    c->SetCollection(nullptr);  // leaves, unowned
    EXPECT_EQ(columns->Count(), 0);
    delete c;
    columns->Add();
    columns.reset();  // frees the remaining item (ASan would report a leak)
}

TEST(ComponentCollection, AssignCopiesItemsAndChangeEventsAreBatched) {
    TCollection source(TColumn::StaticClassType());
    for (int i = 0; i < 3; ++i) {
        auto* col = static_cast<TColumn*>(source.Add());
        col->Title = "C" + std::to_string(i);
        col->Width = 10 * i;
    }
    TCollection target(TColumn::StaticClassType());
    target.Add();
    int changes = 0;
    target.OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, &target);
        ++changes;
    };
    target.Assign(&source);
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(target.Count(), 3);
    EXPECT_EQ(static_cast<TColumn*>(target.Items(2))->Title, "C2");
    EXPECT_EQ(static_cast<TColumn*>(target.Items(2))->Width, 20);
    TPersistent other;
    EXPECT_THROW(target.Assign(&other), EConvertError);
}

TEST(ComponentCollection, NamePathsAndInheritedMetadata) {
    TGrid grid(nullptr);
    grid.SetName("Grid1");
    TCollectionItem* item = grid.Columns.Add();
    grid.Columns.Add();
    EXPECT_EQ(grid.Columns.GetNamePath(), "Grid1.Columns");
    EXPECT_EQ(grid.Columns.Items(1)->GetNamePath(), "Grid1.Columns[1]");
    EXPECT_EQ(item->GetNamePath(), "Grid1.Columns[0]");

    TWideColumn wide(nullptr);
    EXPECT_EQ(wide.ClassName(), "TWideColumn");
    EXPECT_EQ(wide.ClassType(), TColumn::StaticClassType());
    EXPECT_NE(GetPropInfo(&wide, "Width"), nullptr);
    EXPECT_TRUE(wide.InheritsFrom(TCollectionItem::StaticClassType()));
    auto props = GetPropList(TColumn::StaticClassType());
    ASSERT_EQ(props.size(), 2u);
    EXPECT_EQ(props[0]->Name, "Title");
}

}  // namespace
