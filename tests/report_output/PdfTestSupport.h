#pragma once
// Running the outside programs the file tests compare with (python3, qpdf,
// the poppler tools, fpc) and building pages by hand.
#include <cstdio>
#include <string>

#include "report/rpDrawCommand.h"
#include "report/rpPage.h"

namespace filetest {

struct RunResult {
    int Status = -1;
    std::string Output;
};

// Runs a shell command, capturing standard output and error together.
inline RunResult Shell(const std::string& Command) {
    RunResult r;
    FILE* p = popen((Command + " 2>&1").c_str(), "r");
    if (p == nullptr) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.Output.append(buf, n);
    r.Status = pclose(p);
    return r;
}

// A final page of the given size in thousandths of a millimetre.
inline TrpPage* NewPage(int AbsolutePageNo, bool Last, int Width = 210000, int Height = 297000) {
    auto* page = new TrpPage(nullptr);
    page->PageDef()->SetmmWidth(Width);
    page->PageDef()->SetmmHeight(Height);
    page->SetAbsolutePageNo(AbsolutePageNo);
    page->SetPageNo(AbsolutePageNo);
    page->SetFinal(true);
    page->SetLastPage(Last);
    return page;
}

inline TrpDrawText* AddText(TrpPage* Page, const std::string& Text, int Left, int Top, int Width = 40000,
                            int Height = 5000) {
    auto* t = new TrpDrawText(nullptr);
    t->SetText(Text);
    t->SetLeft(Left);
    t->SetTop(Top);
    t->SetWidth(Width);
    t->SetHeight(Height);
    t->SetTransparent(true);
    Page->AddDrawCommand(t);
    return t;
}

}  // namespace filetest
