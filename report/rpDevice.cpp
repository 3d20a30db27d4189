#include "report/rpDevice.h"

#include <algorithm>
#include <mutex>

#include "platform/rtl/Strings.h"
#include "report/rpPublisher.h"
#include "report/rpRTTI.h"

TClass TrpDevice::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpDevice>("TrpDevice", TrpCommunicator::StaticClassType()).Build();
    return &info;
}

TClass TrpRasterDevice::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpRasterDevice>("TrpRasterDevice", TrpDevice::StaticClassType()).Build();
    return &info;
}

TrpDevice::TrpDevice(TComponent* AOwner) : TrpCommunicator(AOwner), pageRequest_(std::make_unique<TrpPageRequest>()) {}

TrpDevice::~TrpDevice() {
    // The publisher keeps plain references: it must forget this device now,
    // whatever the freeing notices do later.
    if (publisher_ != nullptr) publisher_->RemoveDevice(this);
    publisher_ = nullptr;
}

std::string TrpDevice::DeviceName() const { return ClassName(); }

void TrpDevice::SetExclusive(bool Value) {
    if (publisher_ == nullptr && !busy_) exclusive_ = Value;
}

void TrpDevice::SetExclusiveGroup(const std::string& Value) {
    if (publisher_ == nullptr && !busy_) exclusiveGroup_ = Value;
}

void TrpDevice::SetStatus(const std::string& Value) { status_ = Value; }

void TrpDevice::SetActive(bool Value) {
    TrpPublisher* p = publisher_;
    if (p != nullptr && p->JobRunning()) return;
    active_ = Value;
}

void TrpDevice::SetPageRequest(TrpPageRequest* Value) {
    if (Value != nullptr) pageRequest_->Assign(Value);
}

void TrpDevice::SetPublisher(TrpPublisher* Value) {
    if (Value == publisher_) return;
    if (publisher_ != nullptr) publisher_->RemoveDevice(this);
    publisher_ = Value;
    if (publisher_ != nullptr) publisher_->AddDevice(this);
    if (OnPublisherChange) OnPublisherChange(this);
}

void TrpDevice::Notify(TrpCommunicator* Communicator, int Operation) {
    TrpCommunicator::Notify(Communicator, Operation);
    if (Operation == rpopFreeing && Communicator != nullptr && Communicator == publisher_) {
        publisher_ = nullptr;
        if (OnPublisherChange) OnPublisherChange(this);
    }
}

void TrpDevice::StartJob() {
    if (busy_) return;
    busy_ = true;
    cancelled_ = false;
    if (OnStartJob) OnStartJob(this);
}

void TrpDevice::EndJob() {
    if (!busy_) return;
    busy_ = false;
    waiting_ = true;
    if (OnEndJob) OnEndJob(this);
}

void TrpDevice::CancelJob() {
    busy_ = false;
    cancelled_ = true;
    if (OnCancelJob) OnCancelJob(this);
}

void TrpDevice::Reset() {
    pageRequest_->Reset();
    cancelled_ = false;
    waiting_ = true;
}

bool TrpDevice::Draw(TrpDrawCommand*) { return false; }

bool TrpDevice::Redraw(TrpDrawCommand*) { return false; }

void TrpDevice::ReceivePage(TrpPage* Page) {
    if (Page == nullptr) return;
    skipOutput_ = false;
    pageRequested_ = pageRequest_->IsRequested(Page);
    if (Page->Calculation()) skipOutput_ = true;
    if (!Page->Final() && FinalPagesOnly()) skipOutput_ = true;
    if (OnPageReceive) OnPageReceive(this, Page);
    {
        TObject* page = Page;
        TrsParamList params;
        params.AddParam("Page", rsClass, false, true, "", TrpPage::StaticClassType());
        params.BindConstParam(0, &page);
        SendEventNotify(this, rpevDevicePageReceived, &params);
    }
    if (waiting_ && Page->Final() && !Page->Calculation()) waiting_ = !pageRequest_->IsComplete(Page);
}

void TrpDevice::DrawPage(TrpPage* Page) {
    if (Page == nullptr) return;
    const TrpPageDef* def = Page->PageDef();
    for (int i = 0; i < Page->DrawCommandCount(); ++i) {
        TrpDrawCommand* c = Page->DrawCommands(i);
        if (def->mmWidth() >= c->Left() && def->mmHeight() >= c->Top()) c->Draw(this);
    }
}

void TrpDevice::RequestPage() {
    TrpPublisher* p = publisher_;
    if (p == nullptr) return;
    waiting_ = true;
    p->StartJob();
    const std::weak_ptr<char> alive = p->LifeToken();
    p->RequestPages();
    // Generation may have freed the report, and its publisher with it.
    if (alive.expired()) return;
    if (!waiting_) p->EndJob();
}

// ---------------------------------------------------------------------------
// Registry

namespace {

struct DeviceClassEntry {
    TrpDeviceClass Class;
    std::string Name;
};

std::mutex& RegistryLock() {
    static std::mutex m;
    return m;
}

std::vector<DeviceClassEntry>& Registry() {
    static std::vector<DeviceClassEntry> list;
    return list;
}

}  // namespace

void RegisterDeviceClass(TrpDeviceClass Class, const std::string& DeviceName) {
    if (Class == nullptr) return;
    std::lock_guard<std::mutex> g(RegistryLock());
    auto& list = Registry();
    for (const auto& e : list)
        if (e.Class == Class) return;
    RegisterClass(Class);
    list.push_back({Class, DeviceName.empty() ? Class->Name : DeviceName});
}

void UnregisterDeviceClass(TrpDeviceClass Class) {
    if (Class == nullptr) return;
    std::lock_guard<std::mutex> g(RegistryLock());
    auto& list = Registry();
    auto it = std::find_if(list.begin(), list.end(), [Class](const DeviceClassEntry& e) { return e.Class == Class; });
    if (it == list.end()) return;
    UnRegisterClass(Class);
    list.erase(it);
}

void GetDeviceClasses(TStrings* List) {
    if (List == nullptr) return;
    std::lock_guard<std::mutex> g(RegistryLock());
    for (const auto& e : Registry())
        List->AddObject(e.Name, reinterpret_cast<TObject*>(const_cast<TClassInfo*>(e.Class)));
}

TrpDeviceClass DeviceClassOf(const TStrings* List, int Index) {
    if (List == nullptr || Index < 0 || Index >= List->Count()) return nullptr;
    return reinterpret_cast<TrpDeviceClass>(List->Objects(Index));
}

TrpDeviceClass GetDeviceClassForName(const std::string& Name) {
    std::lock_guard<std::mutex> g(RegistryLock());
    for (const auto& e : Registry())
        if (AnsiSameText(e.Name, Name)) return e.Class;
    return nullptr;
}

namespace report {

void RegisterDeviceClasses() {
    RegisterClass(TrpDevice::StaticClassType());
    RegisterClass(TrpRasterDevice::StaticClassType());
    RegisterClass(TrpFileDevice::StaticClassType());
    RegisterClass(TrpTextFileDevice::StaticClassType());
    RegisterClass(TrpStreamDevice::StaticClassType());
    RegisterClass(TrpArchiveDevice::StaticClassType());
    RegisterClass(TrpReportTextFileDevice::StaticClassType());
    RegisterClass(TrpPublisher::StaticClassType());
}

void UnregisterDeviceClasses() {
    UnRegisterClass(TrpPublisher::StaticClassType());
    UnRegisterClass(TrpReportTextFileDevice::StaticClassType());
    UnRegisterClass(TrpArchiveDevice::StaticClassType());
    UnRegisterClass(TrpStreamDevice::StaticClassType());
    UnRegisterClass(TrpTextFileDevice::StaticClassType());
    UnRegisterClass(TrpFileDevice::StaticClassType());
    UnRegisterClass(TrpRasterDevice::StaticClassType());
    UnRegisterClass(TrpDevice::StaticClassType());
}

}  // namespace report
