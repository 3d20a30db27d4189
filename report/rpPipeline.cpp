#include "report/rpPipeline.h"

TClass TrpDataPipeline::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpDataPipeline>("TrpDataPipeline", TrpRelative::StaticClassType()).Build();
    return &info;
}

TrpDataPipeline::TrpDataPipeline(TComponent* AOwner) : TrpRelative(AOwner) {}
