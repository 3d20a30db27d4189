#pragma once
// Text search in the preview. The report settings carry only
// TextSearchSettings.Enabled; nothing searches yet. An engine that finds a
// text on a page registers here, and the preview window asks for it when
// the report enables searching: this is the seam, with no engine behind it.
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Graphics.h"

class TrpPage;

struct TrpFoundText {
    int PageNo = 0;
    // Thousandths of a millimetre on the page.
    TRect Bounds;
    std::string Text;
};

class TrpTextSearchEngine {
public:
    virtual ~TrpTextSearchEngine() = default;
    // Every occurrence of Text on Page.
    virtual std::vector<TrpFoundText> FindText(TrpPage* Page, const std::string& Text, bool MatchCase) = 0;
};

// Installs the engine (not owned; nullptr: none) and returns the previous.
TrpTextSearchEngine* rpSetTextSearchEngine(TrpTextSearchEngine* Engine);
// nullptr while none is installed.
TrpTextSearchEngine* rpTextSearchEngine();
