#include "report_output/rpCupsBackend.h"

#include <cups/cups.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// One connection per call: libcups connections are not shared between
// threads, and a private server is reached by address.
class Connection {
public:
    explicit Connection(const std::string& Server) {
        if (Server.empty()) return;
        std::string host = Server;
        int port = 631;
        const std::size_t colon = Server.rfind(':');
        if (colon != std::string::npos) {
            host = Server.substr(0, colon);
            port = std::atoi(Server.c_str() + colon + 1);
        }
        http_ = httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
        failed_ = http_ == nullptr;
    }
    ~Connection() {
        if (http_ != nullptr) httpClose(http_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    // CUPS_HTTP_DEFAULT (nullptr) for the system's server.
    http_t* Http() const { return http_; }
    bool Failed() const { return failed_; }

private:
    http_t* http_ = nullptr;
    bool failed_ = false;
};

struct Dests {
    int count = 0;
    cups_dest_t* dests = nullptr;
    ~Dests() {
        if (dests != nullptr) cupsFreeDests(count, dests);
    }
};

void SplitDestination(const std::string& Destination, std::string& Name, std::string& Instance) {
    const std::size_t slash = Destination.find('/');
    Name = Destination.substr(0, slash);
    Instance = slash == std::string::npos ? "" : Destination.substr(slash + 1);
}

std::vector<std::string> Keywords(ipp_attribute_t* Attr) {
    std::vector<std::string> out;
    if (Attr == nullptr) return out;
    for (int i = 0; i < ippGetCount(Attr); ++i)
        if (const char* s = ippGetString(Attr, i, nullptr)) out.emplace_back(s);
    return out;
}

std::string Option(const cups_dest_t* Dest, const char* Name) {
    const char* v = cupsGetOption(Name, Dest->num_options, Dest->options);
    return v != nullptr ? v : "";
}

}  // namespace

TrpCupsBackend::TrpCupsBackend(std::string Server) : server_(std::move(Server)) {}

std::vector<TrpBackendDestination> TrpCupsBackend::Destinations() {
    std::vector<TrpBackendDestination> out;
    Connection c(server_);
    if (c.Failed()) return out;
    Dests d;
    d.count = cupsGetDests2(c.Http(), &d.dests);
    for (int i = 0; i < d.count; ++i) {
        const cups_dest_t& dest = d.dests[i];
        TrpBackendDestination t;
        t.Name = dest.name != nullptr ? dest.name : "";
        t.Instance = dest.instance != nullptr ? dest.instance : "";
        t.IsDefault = dest.is_default != 0;
        t.DeviceUri = Option(&dest, "device-uri");
        if (!t.Name.empty()) out.push_back(std::move(t));
    }
    return out;
}

bool TrpCupsBackend::Capabilities(const std::string& Destination, TrpBackendCapabilities& Caps) {
    Caps = TrpBackendCapabilities{};
    Connection c(server_);
    if (c.Failed()) return false;
    Dests d;
    d.count = cupsGetDests2(c.Http(), &d.dests);
    std::string name, instance;
    SplitDestination(Destination, name, instance);
    cups_dest_t* dest = cupsGetDest(name.c_str(), instance.empty() ? nullptr : instance.c_str(), d.count, d.dests);
    if (dest == nullptr) return false;
    cups_dinfo_t* info = cupsCopyDestInfo(c.Http(), dest);
    if (info == nullptr) return false;

    const int media = cupsGetDestMediaCount(c.Http(), dest, info, CUPS_MEDIA_FLAGS_DEFAULT);
    for (int i = 0; i < media; ++i) {
        cups_size_t size{};
        if (!cupsGetDestMediaByIndex(c.Http(), dest, info, i, CUPS_MEDIA_FLAGS_DEFAULT, &size)) continue;
        Caps.Media.push_back({size.media, size.width, size.length, size.left, size.top, size.right, size.bottom});
    }
    cups_size_t def{};
    if (cupsGetDestMediaDefault(c.Http(), dest, info, CUPS_MEDIA_FLAGS_DEFAULT, &def)) Caps.DefaultMedia = def.media;

    Caps.MediaSources = Keywords(cupsFindDestSupported(c.Http(), dest, info, "media-source"));
    if (ipp_attribute_t* a = cupsFindDestDefault(c.Http(), dest, info, "media-source"))
        if (const char* s = ippGetString(a, 0, nullptr)) Caps.DefaultMediaSource = s;
    Caps.Sides = Keywords(cupsFindDestSupported(c.Http(), dest, info, "sides"));
    Caps.ColorModes = Keywords(cupsFindDestSupported(c.Http(), dest, info, "print-color-mode"));
    if (ipp_attribute_t* a = cupsFindDestSupported(c.Http(), dest, info, "copies")) {
        int upper = 1;
        if (ippGetValueTag(a) == IPP_TAG_RANGE)
            ippGetRange(a, 0, &upper);
        else
            upper = ippGetInteger(a, 0);
        Caps.CopiesMax = upper;
    }
    ipp_attribute_t* res = cupsFindDestDefault(c.Http(), dest, info, "printer-resolution");
    if (res == nullptr) res = cupsFindDestSupported(c.Http(), dest, info, "printer-resolution");
    if (res != nullptr && ippGetValueTag(res) == IPP_TAG_RESOLUTION) {
        int y = 0;
        ipp_res_t units = IPP_RES_PER_INCH;
        int x = ippGetResolution(res, 0, &y, &units);
        if (units == IPP_RES_PER_CM) {
            x = static_cast<int>(x * 2.54 + 0.5);
            y = static_cast<int>(y * 2.54 + 0.5);
        }
        Caps.ResolutionX = x;
        Caps.ResolutionY = y;
    }
    cupsFreeDestInfo(info);
    return true;
}

int TrpCupsBackend::SubmitFile(const std::string& Destination, const std::string& FileName, const TrpBackendJob& Job,
                               std::string& Error) {
    Error.clear();
    Connection c(server_);
    if (c.Failed()) {
        Error = "Não foi possível conectar ao serviço de impressão em " + server_ + ".";
        return 0;
    }
    std::string name, instance;
    SplitDestination(Destination, name, instance);
    Dests d;
    d.count = cupsGetDests2(c.Http(), &d.dests);
    cups_dest_t* dest = cupsGetDest(name.c_str(), instance.empty() ? nullptr : instance.c_str(), d.count, d.dests);

    int count = 0;
    cups_option_t* options = nullptr;
    if (dest != nullptr) {
        // A queue that is stopped would hold the job silently: the user
        // must hear of it now.
        if (Option(dest, "printer-state") == "5") {
            const std::string message = Option(dest, "printer-state-message");
            Error = "A impressora \"" + Destination + "\" está parada" + (message.empty() ? "." : ": " + message);
            return 0;
        }
        // An instance's saved options come first; the job's own win.
        if (!instance.empty())
            for (int i = 0; i < dest->num_options; ++i) {
                const std::string o = dest->options[i].name;
                if (o.rfind("printer-", 0) == 0 || o.rfind("marker-", 0) == 0 || o == "device-uri") continue;
                count = cupsAddOption(dest->options[i].name, dest->options[i].value, count, &options);
            }
    }
    for (const auto& [key, value] : Job.Options) count = cupsAddOption(key.c_str(), value.c_str(), count, &options);
    const int id = cupsPrintFile2(c.Http(), name.c_str(), FileName.c_str(), Job.Title.c_str(), count, options);
    cupsFreeOptions(count, options);
    if (id <= 0) {
        const char* message = cupsLastErrorString();
        Error = message != nullptr && *message != '\0' ? message : "O trabalho não foi aceito pela impressora.";
        return 0;
    }
    return id;
}
