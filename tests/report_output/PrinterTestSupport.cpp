#include "tests/report_output/PrinterTestSupport.h"

#include <fstream>

namespace printertest {

int FakeBackend::SubmitFile(const std::string& Destination, const std::string& FileName, const TrpBackendJob& J,
                            std::string& Error) {
    if (!Refusal.empty()) {
        Error = Refusal;
        return 0;
    }
    std::ifstream in(FileName, std::ios::binary);
    std::string head(8, '\0');
    in.read(head.data(), 8);
    head.resize(static_cast<std::size_t>(in.gcount()));
    Jobs.push_back({Destination, J, head});
    return static_cast<int>(Jobs.size());
}

std::string FakeBackend::Option(const std::string& Name) const {
    if (Jobs.empty()) return "";
    for (const auto& [k, v] : Jobs.back().Options.Options)
        if (k == Name) return v;
    return "";
}

void AddStandardQueues(FakeBackend& B) {
    B.Queues = {{"Laser", "", true, "ipp://10.0.0.5/ipp/print"}, {"Etiquetas", "", false, "usb://Zebra/LP2844"}};
    TrpBackendCapabilities laser;
    laser.Media = {{"iso_a4_210x297mm", 21000, 29700, 420, 420, 420, 420},
                   {"na_letter_8.5x11in", 21590, 27940, 635, 635, 635, 635},
                   {"jpn_hagaki_100x148mm", 10000, 14800, 300, 300, 300, 300},
                   {"om_small-photo_100x150mm", 10000, 15000, 0, 0, 0, 0}};
    laser.DefaultMedia = "iso_a4_210x297mm";
    laser.MediaSources = {"auto", "tray-1", "tray-2", "envelope"};
    laser.DefaultMediaSource = "tray-1";
    laser.Sides = {"one-sided", "two-sided-long-edge", "two-sided-short-edge"};
    laser.ColorModes = {"monochrome"};
    laser.CopiesMax = 999;
    laser.ResolutionX = laser.ResolutionY = 600;
    B.Caps["Laser"] = laser;
    B.Caps["Etiquetas"] = TrpBackendCapabilities{};
}

InstalledList::InstalledList(TrpPrinterBackend* Backend)
    : previousBackend_(rpSetPrinterBackend(Backend)),
      list_(std::make_unique<TrpPrinterList>(Backend)),
      previousList_(rpSetPrinterList(list_.get())) {}

InstalledList::~InstalledList() {
    rpSetPrinterList(previousList_);
    rpSetPrinterBackend(previousBackend_);
}

QPainter* ImageSink::BeginPage(const TrpPageFormat& F) {
    if (!Paint) {
        Pages->push_back({F, nullptr});
        return nullptr;
    }
    const int w = static_cast<int>(F.WidthTenths / 254.0 * F.PixelsPerInchX + 0.5);
    const int h = static_cast<int>(F.HeightTenths / 254.0 * F.PixelsPerInchY + 0.5);
    auto image = std::make_shared<QImage>(w, h, QImage::Format_RGB32);
    image->fill(Qt::white);
    Pages->push_back({F, image});
    painter_.begin(image.get());
    painter_.translate(F.OffsetX, F.OffsetY);
    return &painter_;
}

}  // namespace printertest
