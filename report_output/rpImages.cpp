#include "report_output/rpImages.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "platform/rtl/Strings.h"
#include "report/rpBand.h"
#include "report/rpDBPipeline.h"
#include "report/rpDrawCommand.h"
#include "report/rpEngine.h"
#include "report/rpExcept.h"
#include "report/rpLanguage.h"
#include "report/rpPipeline.h"
#include "report/rpRTTI.h"
#include "report/rpReport.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"
#include "report_output/rpGraphics.h"

namespace {

constexpr int kImageSidePixels = 50;
// Before this version a stored metafile was always drawn directly.
constexpr int kDirectDrawVersion = 4201;
constexpr int kBrokenPictureText = 290;

int32_t PixelsToMM(int Pixels, int Axis) { return rpToMMThousandths(utScreenPixels, Axis, nullptr, static_cast<float>(Pixels)); }

// ---------------------------------------------------------------------------
// Graphic class registry

struct NameLess {
    bool operator()(const std::string& A, const std::string& B) const { return CompareText(A, B) < 0; }
};
using GraphicClassMap = std::map<std::string, TGraphicClass, NameLess>;

std::unique_ptr<GraphicClassMap>& RegistrySlot() {
    static std::unique_ptr<GraphicClassMap> registry;
    return registry;
}

GraphicClassMap& Registry() {
    auto& slot = RegistrySlot();
    if (!slot) {
        slot = std::make_unique<GraphicClassMap>();
        (*slot)["Bitmap"] = TBitmap::StaticClassType();
        (*slot)["MetaFile"] = TMetafile::StaticClassType();
        (*slot)["Icon"] = TIcon::StaticClassType();
        // GIF and JPEG only when the program registered those formats.
        auto optional = [&](const char* Name, const char* ClassName) {
            TClass cls = GetClass(ClassName);
            if (cls != nullptr && cls->InheritsFrom(TGraphic::StaticClassType())) (*slot)[Name] = cls;
        };
        optional("GIF", "TGIFImage");
        optional("JPEG", "TJPEGImage");
    }
    return *slot;
}

const TTypeInfo* GetPictureEventTypeInfo() {
    static const TTypeInfo info = MakeMethodTypeInfo("TrpGetPictureEvent");
    return &info;
}

TrpCustomReport* ReportOf(const TrpComponent* Component) {
    return Component->Band() != nullptr ? Component->Band()->Report() : nullptr;
}

}  // namespace

void rpRegisterGraphicClass(const std::string& Name, TGraphicClass Class) {
    if (Name.empty() || Class == nullptr) return;
    Registry()[Name] = Class;
}

TGraphicClass rpGraphicClassByName(const std::string& Name) {
    const auto& registry = Registry();
    auto it = registry.find(Name);
    return it == registry.end() ? nullptr : it->second;
}

std::vector<std::string> rpGraphicClassNames() {
    std::vector<std::string> names;
    for (const auto& [name, cls] : Registry()) names.push_back(name);
    return names;
}

void rpFreeGraphicClassRegistry() { RegistrySlot().reset(); }

// ---------------------------------------------------------------------------
// Metadata

TClass TrpCustomImage::StaticClassType() {
    using C = TrpCustomImage;
    static const TClassInfo info = rpPublishLengths(TClassBuilder<C>("TrpCustomImage", TrpCustomComponent::StaticClassType())
                                       .Boolean("AutoSize", &C::AutoSize, &C::SetAutoSize, 0)
                                       .Boolean("Center", &C::Center, &C::SetCenter, 1)
                                       .Boolean("DirectDraw", &C::DirectDraw, &C::SetDirectDraw, 0)
                                       .Boolean("MaintainAspectRatio", &C::MaintainAspectRatio,
                                                &C::SetMaintainAspectRatio, 0)
                                       .Boolean("ReprintOnOverFlow", &C::ReprintOnOverFlow, &C::SetReprintOnOverFlow, 0)
                                       .Boolean("Stretch", &C::Stretch, &C::SetStretch, 0)
                                       .Boolean("Transparent", &C::Transparent, &C::SetTransparent, 0)
                                       .Boolean("Visible", &C::Visible, &C::SetVisible, 1))
                                       .Build();
    return &info;
}

TClass TrpImage::StaticClassType() {
    using C = TrpImage;
    static const TClassInfo info =
        TClassBuilder<C>("TrpImage", TrpCustomImage::StaticClassType())
            .Set("Anchors", rpAnchorsTypeInfo(), &C::Anchors, &C::SetAnchors, 3)
            .Object("Border", TrpBorder::StaticClassType(), &C::Border, &C::SetBorder)
            .Object("Picture", TPicture::StaticClassType(), &C::StoredPicture, &C::SetPicture)
            .Event("OnDrawCommandClick", static_cast<TrpDrawCommandEvent C::*>(&TrpPrintable::OnDrawCommandClick),
                   rpDrawCommandEventTypeInfo())
            .Event("OnDrawCommandCreate", static_cast<TrpDrawCommandEvent C::*>(&TrpPrintable::OnDrawCommandCreate),
                   rpDrawCommandEventTypeInfo())
            .Build();
    return &info;
}

TClass TrpDBImage::StaticClassType() {
    using C = TrpDBImage;
    static const TClassInfo info =
        rpPublishDataPipeline(TClassBuilder<C>("TrpDBImage", TrpCustomImage::StaticClassType())
            .Set("Anchors", rpAnchorsTypeInfo(), &C::Anchors, &C::SetAnchors, 3)
            .Object("Border", TrpBorder::StaticClassType(), &C::Border, &C::SetBorder)
            .String("DataField", &C::DataField, &C::SetDataField)
            .Boolean("ParentDataPipeline", &C::ParentDataPipeline, &C::SetParentDataPipeline, 1)
            .Boolean("AutoDisplay", &C::AutoDisplay, &C::SetAutoDisplay, 1)
            .String("GraphicType", &C::GraphicType, &C::SetGraphicType)
            .Event("OnGetPicture", &C::OnGetPicture, GetPictureEventTypeInfo())
            .Event("OnDrawCommandClick", static_cast<TrpDrawCommandEvent C::*>(&TrpPrintable::OnDrawCommandClick),
                   rpDrawCommandEventTypeInfo())
            .Event("OnDrawCommandCreate", static_cast<TrpDrawCommandEvent C::*>(&TrpPrintable::OnDrawCommandCreate),
                   rpDrawCommandEventTypeInfo()))
            .Build();
    return &info;
}

// ---------------------------------------------------------------------------
// Image

TrpCustomImage::TrpCustomImage(TComponent* AOwner) : TrpCustomComponent(AOwner), picture_(std::make_unique<TPicture>()) {
    StoremmBounds(mmLeft(), mmTop(), PixelsToMM(kImageSidePixels, 0), PixelsToMM(kImageSidePixels, 1));
    TrpCustomComponent::SetTransparent(false);
    SetDrawCommandClass(TrpDrawImage::StaticClassType());
    picture_->OnChange = [this](TObject*) { PictureChanged(); };
}

TrpCustomImage::~TrpCustomImage() { picture_->OnChange = nullptr; }

void TrpCustomImage::SetCenter(bool Value) {
    if (Value == center_) return;
    if (!Loading()) BeforePropertyChange("Center");
    center_ = Value;
    PictureChanged();
    PropertyChange();
}

void TrpCustomImage::SetMaintainAspectRatio(bool Value) {
    if (Value == maintainAspectRatio_) return;
    if (!Loading()) BeforePropertyChange("MaintainAspectRatio");
    maintainAspectRatio_ = Value;
    PictureChanged();
    PropertyChange();
}

void TrpCustomImage::SetStretch(bool Value) {
    if (!Loading()) BeforePropertyChange("Stretch");
    stretch_ = Value;
    PictureChanged();
    PropertyChange();
}

void TrpCustomImage::SetDirectDraw(bool Value) {
    directDraw_ = Value;
    PictureChanged();
    PropertyChange();
}

void TrpCustomImage::SetPicture(TPicture* Value) {
    if (!Loading()) BeforePropertyChange("Picture");
    // The copy's own change notice would run PictureChanged a second time.
    auto notice = std::move(picture_->OnChange);
    picture_->Assign(Value);
    picture_->OnChange = std::move(notice);
    PictureChanged();
    PropertyChange();
}

void TrpCustomImage::SetAutoSize(bool Value) {
    TrpCustomComponent::SetAutoSize(Value);
    PictureChanged();
}

void TrpCustomImage::SetTransparent(bool Value) {
    TrpCustomComponent::SetTransparent(Value);
    PictureChanged();
    PropertyChange();
}

void TrpCustomImage::PictureChanged() {
    if (Loading()) return;
    if (AutoSize() && picture_->Width() > 0 && picture_->Height() > 0)
        SetspBounds(spLeft(), spTop(), picture_->Width(), picture_->Height());
    Invalidate();
    PropertyChange();
    // A picture that may differ from the one devices already hold gets a
    // new key.
    if (TrpCustomReport* report = ReportOf(this); report != nullptr && report->Engine() != nullptr) {
        const TrpCustomEngine* engine = report->Engine();
        if (engine->Generating() || engine->RunState().Contains(TrpEngineState::SecondPass)) ++pictureCounter_;
    }
}

std::string TrpCustomImage::GetCaption() const {
    if (IsDataAware() && !DataField().empty()) {
        if (TrpDataPipeline* pipeline = DataPipeline()) return pipeline->GetFieldDisplayName(DataField());
        return DataField();
    }
    return GetUserName();
}

void TrpCustomImage::DoOnPrint() {
    TrpCustomComponent::DoOnPrint();
    if (Visible()) GetPicture();
}

void TrpCustomImage::Convert(int Version) {
    TrpCustomComponent::Convert(Version);
    if (Version < kDirectDrawVersion && picture_->Graphic() != nullptr && !picture_->Graphic()->Empty())
        directDraw_ = dynamic_cast<TMetafile*>(picture_->Graphic()) != nullptr;
}

std::string TrpCustomImage::PictureKeySuffix() const { return std::to_string(pictureCounter_); }

void TrpCustomImage::PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) {
    TrpCustomComponent::PropertiesToDrawCommand(DrawCommand);
    auto* command = dynamic_cast<TrpDrawImage*>(DrawCommand);
    if (command == nullptr) return;
    const TRect rect = PrintRect();
    command->SetLeft(rect.Left);
    command->SetTop(rect.Top);
    command->SetHeight(rect.Bottom - rect.Top);
    command->SetWidth(rect.Right - rect.Left);
    command->SetStretch(stretch_);
    command->SetCenter(center_);
    command->SetMaintainAspectRatio(maintainAspectRatio_);
    command->SetDirectDraw(directDraw_);
    command->SetTransparent(Transparent());
    command->SetPicture(picture_.get());
    if (Name().empty()) {
        if (TrpCommunicator* report = ReportOf(this))
            SetName(report->GetUniqueName(this));
        else
            SetName(GetUniqueName(this));
    }
    command->SetImageName(Name() + PictureKeySuffix());
}

// ---------------------------------------------------------------------------
// Database image

TrpDBImage::TrpDBImage(TComponent* AOwner) : TrpCustomImage(AOwner) {}

void TrpDBImage::SetAutoDisplay(bool Value) {
    autoDisplay_ = Value;
    if (Value) LoadPicture();
}

void TrpDBImage::SetGraphicType(const std::string& Value) {
    if (rpGraphicClassByName(Value) == nullptr || Value == graphicType_) return;
    if (!Loading()) BeforePropertyChange("GraphicType");
    graphicType_ = Value;
    if (Loading()) return;
    SetDirectDraw(graphicType_ == "MetaFile");
    PropertyChange();
    UpdateBand();
}

void TrpDBImage::SetDataField(const std::string& Value) {
    TrpCustomImage::SetDataField(Value);
    LoadPicture();
    PropertyChange();
}

TPicture* TrpDBImage::GetPicture() {
    LoadPicture();
    return StoredPicture();
}

void TrpDBImage::Notify(TrpCommunicator* Communicator, int Operation) {
    TrpCustomImage::Notify(Communicator, Operation);
    if (ComponentState().Contains(csDestroying)) return;
    // The designer shows the record the pipeline stands on.
    if (Communicator != nullptr && Communicator == DataPipeline() && (Operation == rpopFreeing || Operation == 2) &&
        Designing() && !GetPrinting())
        LoadPicture();
}

std::string TrpDBImage::GetDescription() const {
    if (DataField().empty()) return GetUserName();
    return GetUserName() + ": " + DataField();
}

std::string TrpDBImage::PictureKeySuffix() const {
    TrpDataPipeline* pipeline = DataPipeline();
    if (pipeline == nullptr) return TrpCustomImage::PictureKeySuffix();
    return pipeline->Name() + DataField() + std::to_string(pipeline->RecordIndex());
}

void TrpDBImage::LoadPicture() {
    TPicture* picture = StoredPicture();
    auto notice = std::move(picture->OnChange);
    picture->Assign(nullptr);
    picture->OnChange = std::move(notice);
    const bool scripted = HasListenerFor(rpevGetPicture);
    if (!autoDisplay_ && !OnGetPicture && !scripted) return;
    if (OnGetPicture || scripted) {
        if (OnGetPicture) OnGetPicture(this, picture);
        TrsParamList params;
        params.AddParam("aPicture", rsClass, false, false, "", TPicture::StaticClassType());
        TObject* asObject = picture;
        params.BindParam(0, &asObject);
        SendEventNotify(this, rpevGetPicture, &params);
        return;
    }
    if (DataAvailable()) {
        try {
            LoadFromField();
        } catch (const std::exception& error) {
            TrpCustomReport* report = ReportOf(this);
            if (report != nullptr && report->Engine() != nullptr && report->Engine()->Generating()) {
                // The run stops here: a picture silently left out of a
                // printed document would pass unnoticed.
                report->HandlePrintError(EPrintError(rpLanguageText(kBrokenPictureText)));
            } else {
                picture->OnChange = nullptr;
                picture->Assign(nullptr);
                picture->OnChange = [this](TObject*) { PictureChanged(); };
            }
        }
    }
    Invalidate();
}

void TrpDBImage::LoadFromField() {
    TrpDataPipeline* pipeline = DataPipeline();
    TPicture* picture = StoredPicture();
    TrpDataType type = dtNotKnown;
    try {
        type = pipeline->GetFieldDataType(DataField());
    } catch (const std::exception&) {
        type = dtNotKnown;
    }
    if (type == dtBLOB || type == dtMemo || type == dtGraphic) {
        TMemoryStream stream;
        if (auto* db = dynamic_cast<TrpDBPipeline*>(pipeline))
            db->SaveFieldToStream(DataField(), &stream);
        else
            stream.WriteBytes(pipeline->GetFieldAsString(DataField()));
        if (stream.Size() == 0) return;
        stream.SetPosition(0);
        std::unique_ptr<TGraphic> graphic = gfx::NewGraphic(rpGraphicClassByName(graphicType_));
        if (!graphic) return;
        graphic->LoadFromStream(stream);
        picture->SetGraphic(graphic.get());
    } else if (type == dtString) {
        const Variant value = pipeline->GetFieldValue(DataField());
        if (value.IsNull()) return;
        const std::string fileName = value.AsString();
        std::error_code error;
        if (!fileName.empty() && std::filesystem::is_regular_file(fileName, error)) picture->LoadFromFile(fileName);
    }
}

namespace report_output {

void RegisterImageClasses() {
    gfx::RegisterPictureFormats();
    // Made again on first use, with the formats registered now.
    rpFreeGraphicClassRegistry();
    RegisterClass(TrpCustomImage::StaticClassType());
    RegisterClass(TrpImage::StaticClassType());
    RegisterClass(TrpDBImage::StaticClassType());
}

void UnregisterImageClasses() {
    UnRegisterClass(TrpDBImage::StaticClassType());
    UnRegisterClass(TrpImage::StaticClassType());
    UnRegisterClass(TrpCustomImage::StaticClassType());
    rpFreeGraphicClassRegistry();
}

}  // namespace report_output
