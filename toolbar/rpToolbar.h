#pragma once
// The toolbar pieces the preview and e-mail windows are built from: their
// toolbar, their sub-menu items, and the one image list of tool pictures
// they share. The pictures are PNG files in the program's resources
// (":/toolbar/images/<NAME>.png"), looked up by their resource name.
#include <map>
#include <string>
#include <vector>

#include <QIcon>

#include "toolbar/rpTBItems.h"

// The shared list of tool pictures; an index stays valid for the process.
class TrpToolImageList {
public:
    // The index of the picture NAME; a name without a picture gets a blank
    // one (so that the button keeps its place).
    int GetImageIndex(const std::string& Name);
    // The same, but -1 when there is no such picture.
    int GetImageIndexNoDefault(const std::string& Name);
    int Count() const { return static_cast<int>(icons_.size()); }
    // An empty icon outside the list.
    QIcon Icon(int Index) const;

private:
    int Load(const std::string& Name, bool Default);
    std::vector<QIcon> icons_;
    std::map<std::string, int> names_;
};

// Made on first use, freed with the process.
TrpToolImageList* GetToolImageList();

class TrpSubMenuItem;

// The toolbar of the preview and e-mail windows.
class TrpToolbar : public TrpTBTToolbar {
public:
    FAT_CLASS_NAME(TrpToolbar)
    using TrpTBTToolbar::TrpTBTToolbar;
    // A new button appended to the items.
    TrpTBTCustomItem* AddButton();
    TrpSubMenuItem* AddSubMenu();
    void AddSeparator();
};

// A menu entry that opens its children.
class TrpSubMenuItem : public TrpTBTCustomItem {
public:
    FAT_CLASS_NAME(TrpSubMenuItem)
    using TrpTBTCustomItem::TrpTBTCustomItem;
    bool IsSubMenu() const override { return true; }
    // A new item appended to the children.
    TrpTBTCustomItem* AddItem();
    TrpSubMenuItem* AddSubMenu();
    void AddSeparator();
};
