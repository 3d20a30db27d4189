#pragma once
// The picture controls of a band. TrpCustomImage prints a picture inside
// its rectangle (stretched, centred, keeping its proportions or not);
// TrpImage prints the picture stored in the report, TrpDBImage the picture
// of the current record of its data pipeline's field.
//
// A database image reads its field whenever its print position is worked
// out, so every record prints its own picture. The field's bytes are read
// by the graphic class its GraphicType names in the graphic class registry
// ("Bitmap", "JPEG", ...). A field that does not decode is an error of the
// run: it stops the print (language text 290); at design time the image is
// simply left empty.
//
// The picture key of a draw command tells devices whether they already
// emitted the picture: the component name and a counter that moves on when
// the picture may have changed (a new page, the second pass); a database
// image adds its pipeline, field and record.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Pictures.h"
#include "report_output/rpTextControls.h"

class TrpCustomImage : public TrpCustomComponent {
public:
    explicit TrpCustomImage(TComponent* AOwner);
    ~TrpCustomImage() override;
    FAT_CLASS(TrpCustomImage)

    bool Center() const { return center_; }
    void SetCenter(bool Value);
    bool MaintainAspectRatio() const { return maintainAspectRatio_; }
    void SetMaintainAspectRatio(bool Value);
    bool Stretch() const { return stretch_; }
    void SetStretch(bool Value);
    bool DirectDraw() const { return directDraw_; }
    void SetDirectDraw(bool Value);
    TPicture* Picture() { return GetPicture(); }
    // The picture as it stands, without loading anything.
    TPicture* StoredPicture() const { return picture_.get(); }
    int PictureCounter() const { return pictureCounter_; }

    virtual void PictureChanged();
    // A database image loads its record's picture first.
    virtual TPicture* GetPicture() { return picture_.get(); }
    virtual void SetPicture(TPicture* Value);

    void SetAutoSize(bool Value) override;
    void SetTransparent(bool Value) override;
    bool HasColor() const override { return false; }
    bool HasFont() const override { return false; }
    std::string GetCaption() const override;
    // Where the picture is worked out before the band places the control.
    void DoOnPrint() override;
    void Convert(int Version) override;
    void PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) override;

protected:
    bool Loading() const { return IsReading(); }
    // The part of the picture key after the component name.
    virtual std::string PictureKeySuffix() const;

private:
    bool center_ = true;
    bool maintainAspectRatio_ = false;
    std::unique_ptr<TPicture> picture_;
    bool stretch_ = false;
    bool directDraw_ = false;
    int pictureCounter_ = 0;
};

class TrpImage : public TrpCustomImage {
public:
    explicit TrpImage(TComponent* AOwner) : TrpCustomImage(AOwner) {}
    FAT_CLASS(TrpImage)
};

using TrpGetPictureEvent = std::function<void(TObject* Sender, TPicture* aPicture)>;

// Scripted listeners hear it when a database image asks for its picture.
enum : int {
    rpevGetPicture = 69,
};

class TrpDBImage : public TrpCustomImage {
public:
    explicit TrpDBImage(TComponent* AOwner);
    FAT_CLASS(TrpDBImage)

    bool AutoDisplay() const { return autoDisplay_; }
    void SetAutoDisplay(bool Value);
    const std::string& GraphicType() const { return graphicType_; }
    // Only a name of the graphic class registry is taken.
    void SetGraphicType(const std::string& Value);
    // Empties the picture, then fills it from OnGetPicture or the field.
    virtual void LoadPicture();

    TPicture* GetPicture() override;
    void SetDataField(const std::string& Value) override;
    bool IsDataAware() const override { return true; }
    void Notify(TrpCommunicator* Communicator, int Operation) override;
    std::string GetDescription() const override;

    TrpGetPictureEvent OnGetPicture;

protected:
    std::string PictureKeySuffix() const override;

private:
    void LoadFromField();

    bool autoDisplay_ = true;
    std::string graphicType_ = "Bitmap";
};

// The graphic classes a database image reads its field with, by name
// ("Bitmap", "MetaFile", "Icon", and "GIF" and "JPEG" when those classes
// are registered). Made on first use; names compare without regard to case;
// registering a name again replaces its class.
void rpRegisterGraphicClass(const std::string& Name, TGraphicClass Class);
// nullptr for a name not in the registry.
TGraphicClass rpGraphicClassByName(const std::string& Name);
// The names, sorted.
std::vector<std::string> rpGraphicClassNames();
// Forgets the registry; the next use makes it afresh.
void rpFreeGraphicClassRegistry();

namespace report_output {
void RegisterImageClasses();
void UnregisterImageClasses();
}  // namespace report_output
