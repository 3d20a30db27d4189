#include "toolbar/rpToolbar.h"

#include <memory>

#include <QFile>
#include <QPixmap>

#include "platform/ui/Controls.h"

int TrpToolImageList::Load(const std::string& Name, bool Default) {
    auto it = names_.find(Name);
    if (it != names_.end()) return it->second;
    const QString path = QStringLiteral(":/toolbar/images/") + ui::ToQt(Name) + QStringLiteral(".png");
    QIcon icon;
    if (QFile::exists(path)) {
        icon = QIcon(path);
    } else {
        if (!Default) return -1;
        QPixmap blank(16, 16);
        blank.fill(Qt::transparent);
        icon = QIcon(blank);
    }
    icons_.push_back(icon);
    const int index = static_cast<int>(icons_.size()) - 1;
    names_[Name] = index;
    return index;
}

int TrpToolImageList::GetImageIndex(const std::string& Name) { return Load(Name, true); }

int TrpToolImageList::GetImageIndexNoDefault(const std::string& Name) { return Load(Name, false); }

QIcon TrpToolImageList::Icon(int Index) const {
    if (Index < 0 || Index >= Count()) return {};
    return icons_[static_cast<std::size_t>(Index)];
}

// The resource's registration function, named after toolimages.qrc.
int qInitResources_toolimages();

TrpToolImageList* GetToolImageList() {
    static const int registered = qInitResources_toolimages();
    (void)registered;
    static TrpToolImageList list;
    return &list;
}

TrpTBTCustomItem* TrpToolbar::AddButton() {
    auto* item = new TrpTBTCustomItem(nullptr);
    Items()->Add(item);
    return item;
}

TrpSubMenuItem* TrpToolbar::AddSubMenu() {
    auto* item = new TrpSubMenuItem(nullptr);
    Items()->Add(item);
    return item;
}

void TrpToolbar::AddSeparator() { Items()->Add(new TrpTBSeparatorItem(nullptr)); }

TrpTBTCustomItem* TrpSubMenuItem::AddItem() {
    auto* item = new TrpTBTCustomItem(nullptr);
    Add(item);
    return item;
}

TrpSubMenuItem* TrpSubMenuItem::AddSubMenu() {
    auto* item = new TrpSubMenuItem(nullptr);
    Add(item);
    return item;
}

void TrpSubMenuItem::AddSeparator() { Add(new TrpTBSeparatorItem(nullptr)); }
