// The progress bar keeps its position within its range, and shows it.
#include <QProgressBar>

#include "platform/ui/ComCtrls.h"
#include "tests/platform/ui/UiTestSupport.h"

TEST(ProgressBar, ThePositionStaysWithinTheRangeAndTheBarShowsIt) {
    ui::EnsureQtApplication();
    TForm form(nullptr);
    auto* bar = new TProgressBar(&form);
    bar->SetParent(&form);
    auto* widget = static_cast<QProgressBar*>(bar->Widget());
    bar->SetMax(3);
    bar->StepBy(2);
    EXPECT_EQ(bar->Position(), 2);
    EXPECT_EQ(widget->value(), 2);
    EXPECT_EQ(widget->maximum(), 3);
    bar->StepBy(5);
    EXPECT_EQ(bar->Position(), 3);
    bar->SetMax(1);
    EXPECT_EQ(bar->Position(), 1) << "a smaller range takes the position along";
    bar->SetPosition(-4);
    EXPECT_EQ(bar->Position(), 0);
    bar->SetMin(5);
    EXPECT_EQ(bar->Max(), 5);
    EXPECT_EQ(bar->Position(), 5);
    EXPECT_EQ(widget->minimum(), 5);
}
