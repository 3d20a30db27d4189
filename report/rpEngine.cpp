#include "report/rpEngine.h"

#include "report/rpPage.h"

TrpEngineSection rpSectionOf(TrpBandTypeFlag Flag) {
    switch (Flag) {
        case TrpBandTypeFlag::Title: return TrpEngineSection::Title;
        case TrpBandTypeFlag::Summary: return TrpEngineSection::Summary;
        case TrpBandTypeFlag::PageHeader: return TrpEngineSection::PageHeader;
        case TrpBandTypeFlag::PageFooter: return TrpEngineSection::PageFooter;
        case TrpBandTypeFlag::ColumnHeader: return TrpEngineSection::ColumnHeader;
        case TrpBandTypeFlag::ColumnFooter: return TrpEngineSection::ColumnFooter;
        case TrpBandTypeFlag::GroupHeader: return TrpEngineSection::GroupHeader;
        case TrpBandTypeFlag::GroupFooter: return TrpEngineSection::GroupFooter;
        case TrpBandTypeFlag::Detail: return TrpEngineSection::Detail;
    }
    return TrpEngineSection::Detail;
}

bool rpBandGeneratesIn(TrpBandTypeFlags Flags, TrpEngineSections Sections) {
    for (int f = static_cast<int>(TrpBandTypeFlag::Title); f <= static_cast<int>(TrpBandTypeFlag::Detail); ++f) {
        const auto flag = static_cast<TrpBandTypeFlag>(f);
        if (Flags.Contains(flag) && Sections.Contains(rpSectionOf(flag))) return true;
    }
    return false;
}

TClass TrpCustomEngine::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpCustomEngine>("TrpCustomEngine", TrpCacheable::StaticClassType()).Build();
    return &info;
}

TrpCustomEngine::TrpCustomEngine(TrpCustomReport* Report)
    : TrpCacheable(nullptr), page_(std::make_unique<TrpPage>(nullptr)), report_(Report) {}

TrpCustomEngine::~TrpCustomEngine() = default;

void TrpCustomEngine::SetGenerating(bool Value) {
    const bool ended = generating_ && !Value;
    generating_ = Value;
    if (!ended || !OnGenerationEnded) return;
    // The hook may free the report and this engine with it: it runs from a copy.
    const std::function<void()> hook = OnGenerationEnded;
    hook();
}

void TrpCustomEngine::Reset() {
    absolutePageNo_ = 0;
    absolutePageCount_ = 0;
    state_ = {};
    printState_ = {};
    bandState_ = {};
    stop_ = false;
    pageLimitReached_ = false;
    cancelled_ = false;
}

void TrpCustomEngine::SetPageDef(int32_t Width, int32_t Height, int32_t PrintableWidth, int32_t PrintableHeight) {
    pageDef_[0] = Width;
    pageDef_[1] = Height;
    pageDef_[2] = PrintableWidth;
    pageDef_[3] = PrintableHeight;
}
